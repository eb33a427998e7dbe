#include <cstdio>

#include "commands.h"
#include "input_file.h"
#include "options.h"
#include "suggest_settings.h"
#include "wave_excerpts.h"
#include "wave_job.h"

int RunSuggest(const std::vector<std::string>& args) {
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error = ParseOptions(args, {}, nullptr, flags, {}, files)) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    if (files.size() != 1) {
        PrintUsageError(files.empty() ? "suggest needs INPUT" : "suggest takes exactly INPUT");
        return kExitUsage;
    }
    // Any audio file: what is no 16-bit stereo WAV is decoded first.
    ConsoleWindow window;
    const std::optional<EngineInput> input = PrepareCliInput(files[0], window);
    if (!input) {
        return kExitFailed;
    }
    const WaveExcerpts excerpts =
        ReadWaveExcerpts(input->EnginePath(), SuggestExcerptStarts, kSuggestExcerptFrames);
    if (excerpts.status != ExcerptStatus::Ok) {
        std::fputs(ExcerptMessage(excerpts.status), stderr);
        return kExitFailed;
    }
    const std::vector<StereoFrames> spans(excerpts.frames.begin(), excerpts.frames.end());
    const TrackbarPositions p = SuggestSettings(spans);
    std::printf("pan %d\nlow %d\nhigh %d\nleft %d\nright %d\n", p.pan, p.low, p.high, p.left,
                p.right);
    std::printf("zerbex2-cli render %s INPUT OUTPUT\n", RenderOptionsFor(p).c_str());
    return kExitOk;
}

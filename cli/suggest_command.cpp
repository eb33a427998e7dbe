#include <cstdio>

#include "commands.h"
#include "options.h"
#include "suggest_settings.h"
#include "wave_excerpts.h"
#include "wave_job.h"

namespace {

const char* MessageFor(ExcerptStatus status) {
    switch (status) {
        case ExcerptStatus::NotStereo:
            return kMsgNotStereo;
        case ExcerptStatus::Not16Bit:
            return kMsgNot16Bit;
        default:
            return kMsgReadError;
    }
}

}  // namespace

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
    const WaveExcerpts excerpts =
        ReadWaveExcerpts(files[0].c_str(), SuggestExcerptStarts, kSuggestExcerptFrames);
    if (excerpts.status != ExcerptStatus::Ok) {
        std::fputs(MessageFor(excerpts.status), stderr);
        return kExitFailed;
    }
    const std::vector<StereoFrames> spans(excerpts.frames.begin(), excerpts.frames.end());
    const TrackbarPositions p = SuggestSettings(spans);
    std::printf("pan %d\nlow %d\nhigh %d\nleft %d\nright %d\n", p.pan, p.low, p.high, p.left,
                p.right);
    std::printf("zerbex2-cli render %s INPUT OUTPUT\n", RenderOptionsFor(p).c_str());
    return kExitOk;
}

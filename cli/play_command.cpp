#include <limits>

#include "commands.h"
#include "console.h"
#include "input_file.h"
#include "job_runner.h"
#include "options.h"
#include "portaudio_out.h"
#include "preset_option.h"
#include "presets.h"
#include "stop_on_signals.h"

namespace {

struct PlayOptions {
    RenderOptions render;
    int loopStart = RowOf(Knob::LoopStart).start;
    int loopEnd = RowOf(Knob::LoopEnd).start;
    bool once = false;
};

std::vector<IntOption> PlayIntOptions(PlayOptions& options) {
    std::vector<IntOption> all = RenderIntOptions(options.render);
    all.push_back(KnobOption(Knob::LoopStart, options.loopStart));
    all.push_back(KnobOption(Knob::LoopEnd, options.loopEnd));
    return all;
}

void SetUpControls(const PlayOptions& options, PlayControls& controls) {
    ApplyRenderOptions(options.render, controls.params);
    controls.key = options.render.positions.key;
    controls.tempo = options.render.positions.tempo;
    controls.loopStart = options.loopStart;
    controls.loopEnd = options.loopEnd;
    if (options.once && options.loopEnd == RowOf(Knob::LoopEnd).max) {
        // The trackbar's end stands for 100/110 of the data, where the window loops back;
        // played once, the rightmost position means the end of the data, so the position
        // counter is given a loop end it never reaches.
        controls.loopEnd = std::numeric_limits<int>::max();
    }
}

// Plays the file until it is stopped, starting it again whenever a job ends at the end of
// the data, as the window does.
JobResult PlayUntilStopped(JobRunner& runner, const std::filesystem::path& wav,
                           PlayControls& controls, AudioOut& out, Console& console, bool once) {
    for (;;) {
        const PlayResult played = runner.Play(wav, controls, out, console, once);
        // A file without sample data would otherwise start again without end.
        if (played.result != JobResult::Done || once || controls.stop || played.bytesPlayed == 0) {
            return played.result == JobResult::Stopped ? JobResult::Done : played.result;
        }
    }
}

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
    PlayOptions options;
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error =
            ParseOptions(args, PlayIntOptions(options), &options.render.mode, flags, {"--once"},
                         files, {PresetOption(options.render, DefaultPresetsPath())})) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    if (files.size() != 1) {
        PrintUsageError(files.empty() ? "play needs INPUT" : "play takes exactly one INPUT");
        return kExitUsage;
    }
    options.once = !flags.empty();

    PlayControls controls;
    SetUpControls(options, controls);
    Console console;
    console.SetInput(files[0]);
    StopOnSignals signals(controls.stop);
    PortAudioSystem sound;
    PortAudioOut out(sound);
    if (StderrIsTerminal()) {
        console.SetStatus(Console::Status::Progress);
        console.SetStep("decoding ");
    }
    JobRunner runner;
    const InputFile input = PrepareInput(files[0], &controls.stop, runner.Disk(), console);
    console.FinishStatus();
    JobResult result = JobResult::Failed;
    if (const std::optional<JobMessage> refusal = input.Refusal()) {
        console.Message(*refusal);
    } else if (input.Status() == InputStatus::Ready) {
        if (input.Warning()) {
            console.Message(*input.Warning());
        }
        if (StderrIsTerminal()) {
            console.SetLength(ProbeWaveLength(input.Reads()));
            console.SetStatus(Console::Status::PlayPosition);
        }
        result = PlayUntilStopped(runner, input.Reads(), controls, out, console, options.once);
    }
    console.FinishStatus();
    return result == JobResult::Done ? kExitOk : kExitFailed;
}

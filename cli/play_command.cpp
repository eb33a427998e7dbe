#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/stop_on_signals.h"
#include "jobs/device_choice.h"
#include "jobs/input_file.h"
#include "jobs/job_runner.h"
#include "jobs/sound.h"
#include "settings/job_messages.h"

namespace {

struct PlayOptions {
    RenderOptions render;
    int loopStart = RowOf(Knob::LoopStart).start;
    int loopEnd = RowOf(Knob::LoopEnd).start;
    // Given as times: the loop plays to the frame.
    std::optional<std::int64_t> loopStartMicros;
    std::optional<std::int64_t> loopEndMicros;
    bool once = false;
    std::string device;  // empty: the system's default
};

// The input's length as soon as its rate is known: at once for a WAV, once its decoder has
// started for any other input.
WaveLength KnownLength(const InputFile& input, const std::stop_source& stop) {
    constexpr auto kPoll = std::chrono::milliseconds(5);
    while (input.Length().byteRate == 0 && input.Decoding() && !stop.stop_requested()) {
        std::this_thread::sleep_for(kPoll);
    }
    return input.Length();
}

// Loop times become frames at the input's rate; the end given in steps beside a time stands
// for the frame of its step (played once, the highest step for the end of the data).
void SetLoopFrames(const PlayOptions& options, const WaveLength& length, PlayControls& controls) {
    if ((!options.loopStartMicros && !options.loopEndMicros) || length.byteRate == 0) {
        return;
    }
    const std::uint32_t rate = length.byteRate / 4;
    const std::uint64_t step = length.dataBytes / kPositionSteps;
    const auto frameOf = [&](const std::optional<std::int64_t>& micros, int steps, bool end) {
        if (micros) {  // the frame nearest the time
            return (*micros * static_cast<std::int64_t>(rate) + 500000) / 1000000;
        }
        if (end && options.once && steps == RowOf(Knob::LoopEnd).max) {
            return static_cast<std::int64_t>(length.dataBytes / 4);
        }
        return PositionBytes(steps, step) / 4;
    };
    controls.play.Change([&](PlaySettings& play) {
        play.loopStartFrame = frameOf(options.loopStartMicros, options.loopStart, false);
        play.loopEndFrame = frameOf(options.loopEndMicros, options.loopEnd, true);
    });
}

void SetUpControls(const PlayOptions& options, PlayControls& controls) {
    controls.settings.Change(
        [&](ProcessingParameters& params) { ApplyRenderOptions(options.render, params); });
    controls.play.Change([&](PlaySettings& play) {
        play.key = options.render.positions.key;
        play.tempo = options.render.positions.tempo;
        play.loopStart = options.loopStart;
        play.loopEnd = options.loopEnd;
        play.matchLoudness = options.render.loudness.kind == Loudness::Kind::Match;
        if (options.once && options.loopEnd == RowOf(Knob::LoopEnd).max) {
            // The trackbar's end stands for 100/110 of the data, where the window loops back;
            // played once, the rightmost position means the end of the data, so the position
            // counter is given a loop end it never reaches.
            play.loopEnd = std::numeric_limits<int>::max();
        }
    });
    if (options.render.loudness.kind == Loudness::Kind::Target) {
        controls.loudnessTarget = options.render.loudness.lufs;
    }
}

// Plays the file until it is stopped, starting it again whenever a job ends at the end of
// the data, as the window does.
JobResult PlayUntilStopped(JobRunner& runner, const InputFile& input, PlayControls& controls,
                           AudioOut& out, JobObserver& observer, bool once) {
    for (;;) {
        const JobResult played = runner.Play(input, controls, out, observer, once);
        // A file without sample data would otherwise start again without end.
        if (played != JobResult::Done || once || controls.stop.stop_requested() ||
            played.bytesPlayed == 0) {
            return played == JobResult::Stopped ? JobResult::Done : played.kind;
        }
    }
}

// A chosen device that is not there, with where to find those that are.
class DeviceLine : public JobObserver {
  public:
    void Message(const JobMessage& message) override {
        PrintError(MessageText(message) + " (see zerbex2-cli devices)");
    }
};

}  // namespace

int RunDevices(const std::vector<std::string>& args) {
    if (!args.empty()) {
        return UsageError("devices takes no arguments");
    }
    const Sound sound;
    if (const std::string error = sound.system.InitError(); !error.empty()) {
        PrintError("no sound system: " + error);
        return kExitFailed;
    }
    const std::vector<AudioDevice> devices = sound.system.Devices();
    if (devices.empty()) {
        PrintError("no sound output device found");
        return kExitFailed;
    }
    for (const AudioDevice& device : devices) {
        std::printf("%d\t%s\t%s%s\n", device.index, Printable(device.name).c_str(),
                    Printable(device.hostApi).c_str(), device.isDefault ? "\tdefault" : "");
    }
    return kExitOk;
}

int RunPlay(const std::vector<std::string>& args) {
    PlayOptions options;
    std::vector<std::string> flags;
    std::vector<std::string> files;
    std::vector<ValueOption> known = KnobOptions(options.render);
    known.insert(known.end(),
                 {ModeOption(options.render.mode),
                  PresetOption(options.render),
                  LoopOption(Knob::LoopStart, options.loopStart, options.loopStartMicros),
                  LoopOption(Knob::LoopEnd, options.loopEnd, options.loopEndMicros),
                  LoudnessOption(options.render.loudness),
                  {"--device", [&options](const std::string& device) {
                       options.device = device;
                       return device.empty()
                                  ? std::optional<std::string>("option --device needs a device")
                                  : std::nullopt;
                   }}});
    if (const auto error = ParseOptions(args, known, flags, {"--once"}, files)) {
        return UsageError(*error);
    }
    if (files.size() != 1) {
        return UsageError(files.empty() ? "play needs INPUT" : "play takes exactly one INPUT");
    }
    options.once = !flags.empty();

    PlayControls controls;
    SetUpControls(options, controls);
    Console console;
    console.SetInput(files[0]);
    StopOnSignals signals(controls.stop);
    JobRunner runner;
    // A decoded input plays while it is decoded, and its decoder starts while the sound
    // system starts; what the decoding finds is told when it ends.
    const InputFile input = StartInput(files[0], runner.Disk());
    Sound sound;
    AudioOut& out = sound.out;
    DeviceLine deviceLine;
    DeviceChoice(options.device).Apply(sound.system, out, deviceLine);
    JobResult result = JobResult::Failed;
    if (const std::optional<JobMessage> refusal = input.Refusal()) {
        console.Message(*refusal);
    } else {
        if (StderrIsTerminal()) {
            console.SetLength([&input] { return input.Length(); });
            console.SetStatus(Console::Status::PlayPosition);
        }
        SetLoopFrames(options, KnownLength(input, controls.stop), controls);
        WarnWhenDecoded observer(input, console);
        result = PlayUntilStopped(runner, input, controls, out, observer, options.once);
        observer.Check();
    }
    console.FinishStatus();
    return result == JobResult::Done ? kExitOk : kExitFailed;
}

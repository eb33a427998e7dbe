#include <atomic>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <thread>

#include "commands.h"
#include "console_window.h"
#include "input_file.h"
#include "options.h"
#include "portaudio_backend.h"
#include "stop_on_signals.h"
#include "wave_job.h"

namespace {

constexpr int kTrackbarEnd = 100;

struct PlayOptions {
    RenderOptions render;
    int loopStart = 0;
    int loopEnd = kTrackbarEnd;
    bool once = false;
};

// The terminal's window for a playback. With --once it turns the moment the position
// counter reaches the loop end into a stop request, where the window would loop back.
class PlayWindow : public ConsoleWindow {
  public:
    void StopAtLoopEnd(bool stop) { m_stopAtLoopEnd = stop; }

    void SetTrackbarPos(Trackbar trackbar, int pos) override {
        ConsoleWindow::SetTrackbarPos(trackbar, pos);
        if (m_stopAtLoopEnd && trackbar == Trackbar::PlayPos && pos >= State().m_nLoopEnd) {
            State().m_bStopRequest = 1;
        }
    }

  private:
    bool m_stopAtLoopEnd = false;
};

std::vector<IntOption> PlayIntOptions(PlayOptions& options) {
    std::vector<IntOption> all = RenderIntOptions(options.render);
    all.push_back({"--loop-start", 0, kTrackbarEnd, &options.loopStart});
    all.push_back({"--loop-end", 0, kTrackbarEnd, &options.loopEnd});
    return all;
}

void SetUpWindow(const PlayOptions& options, PlayWindow& window) {
    WindowState& state = window.State();
    ApplyRenderOptions(options.render, state);
    state.m_nLoopStart = options.loopStart;
    state.m_nLoopEnd = options.loopEnd;
    window.SetTrackbarPos(Trackbar::LoopStart, options.loopStart);
    window.SetTrackbarPos(Trackbar::LoopEnd, options.loopEnd);
    if (options.once) {
        if (options.loopEnd == kTrackbarEnd) {
            // The trackbar's end stands for 100/110 of the data, where the window loops
            // back; played once, the rightmost position means the end of the data, so the
            // position counter is given a loop end it never reaches.
            state.m_nLoopEnd = std::numeric_limits<int>::max();
        }
        window.StopAtLoopEnd(true);
    }
    if (StderrIsTerminal()) {
        window.SetStatus(ConsoleWindow::Status::PlayPosition);
    }
}

// Plays the file until it is stopped, starting it again whenever a job ends at the end of
// the data, as the window's end-of-playback routine does.
JobResult PlayUntilStopped(PlayWindow& window, WaveOutBackend& audio, const EngineInput& input,
                           bool once) {
    WindowState& state = window.State();
    JobContext context{window, &audio};
    for (;;) {
        context.dataBytesPlayed = 0;
        const JobResult result = PlayInputFile(context, input);
        // A file without sample data would otherwise start again without end.
        if (result != JobResult::Done || once || state.m_bStopRequest || state.m_bNoRestart ||
            context.dataBytesPlayed == 0) {
            return result;
        }
    }
}

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
    PlayOptions options;
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error = ParseOptions(args, PlayIntOptions(options), &options.render.mode, flags,
                                        {"--once"}, files)) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    if (files.size() != 1) {
        PrintUsageError(files.empty() ? "play needs INPUT" : "play takes exactly one INPUT");
        return kExitUsage;
    }
    options.once = !flags.empty();

    PlayWindow window;
    SetUpWindow(options, window);
    StopOnSignals signals(window.State());
    PortAudioBackend audio;
    const std::optional<EngineInput> input = PrepareCliInput(files[0], window);
    const JobResult result =
        input ? PlayUntilStopped(window, audio, *input, options.once) : JobResult::Failed;
    window.FinishStatus();
    return result == JobResult::Done ? kExitOk : kExitFailed;
}

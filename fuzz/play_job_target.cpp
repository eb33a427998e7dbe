#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_io.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch_dir.h"
#include "fuzz/walk_model.h"
#include "jobs/job_runner.h"
#include "render/render.h"
#include "settings/job_messages.h"
#include "tests/test_support/recording_observer.h"
#include "tests/test_support/test_audio_out.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kStopAfterBlocks = 4;

// The trailing bytes of an input, read as what the user did with the trackbars and buttons.
struct UserActions {
    int loopStart = RowOf(Knob::LoopStart).start;
    int loopEnd = RowOf(Knob::LoopEnd).start;
    int playPos = RowOf(Knob::PlayPos).start;
    bool seekAfterFirstBlock = false;
    bool switchMode = false;  // after the second block, to mode
    PlayMode mode = PlayMode::Mode2;
    bool moveLoopEnd = false;  // after the first block, to the play position
};

UserActions ActionsFrom(const std::uint8_t* data, std::size_t size) {
    UserActions actions;
    if (size >= 4) {
        const std::uint8_t* tail = data + size - 4;
        // Anything the 0..100 trackbars can hold, loop start after loop end included.
        actions.loopStart = tail[0] % 101;
        actions.loopEnd = tail[1] % 101;
        actions.playPos = tail[2] % 101;
        actions.seekAfterFirstBlock = (tail[3] & 1) != 0;
        actions.switchMode = (tail[3] & 2) != 0;
        actions.mode = static_cast<PlayMode>((tail[3] >> 2) % 7);
        actions.moveLoopEnd = (tail[3] & 0x20) != 0;
    }
    return actions;
}

bool InRange(int value, Knob knob) {
    return value >= RowOf(knob).min && value <= RowOf(knob).max;
}

// What the window shows stays on its trackbars and meter.
void CheckShown(const RecordingObserver& observer) {
    for (const int step : observer.Positions()) {
        FUZZ_CHECK(InRange(step, Knob::PlayPos));
    }
    for (const auto& [start, end] : observer.Loops()) {
        FUZZ_CHECK(InRange(start, Knob::LoopStart) && InRange(end, Knob::LoopEnd) && start < end);
    }
    for (const int level : observer.Levels()) {
        FUZZ_CHECK(level >= 0 && level <= kMeterSegments);
    }
}

}  // namespace

int FuzzPlayJob(const std::uint8_t* data, std::size_t size) {
    static const fs::path input = ScratchSubfolder("play") / "in.wav";
    WriteWhole(input, data, size);

    const UserActions actions = ActionsFrom(data, size);
    PlayControls controls;
    controls.play.Change([&](PlaySettings& play) {
        play.loopStart = actions.loopStart;
        play.loopEnd = actions.loopEnd;
        play.playPos = actions.playPos;
    });

    TestAudioOut out;
    out.onWrite = [&](std::size_t blockIndex) {
        if (blockIndex == 0 && actions.seekAfterFirstBlock) {
            controls.seek = 1;
        }
        if (blockIndex == 0 && actions.moveLoopEnd) {
            controls.play.Change([&](PlaySettings& play) { play.loopEnd = actions.playPos; });
        }
        if (blockIndex == 1 && actions.switchMode) {
            controls.settings.Change([&](ProcessingParameters& p) { p.mode = actions.mode; });
        }
        if (blockIndex + 1 >= kStopAfterBlocks) {
            controls.stop.request_stop();
        }
    };
    // A fresh job has no format from a job before.
    RecordingObserver observer;
    const JobResult played = JobRunner().Play(InputFile(input), controls, out, observer);

    FUZZ_CHECK(played != JobResult::Failed && played != JobResult::Busy);
    FUZZ_CHECK(out.Opens() == out.Closes());
    FUZZ_CHECK(out.MaxInFlight() <= static_cast<std::size_t>(AudioOut::kQueuedBlocks));
    const std::vector<std::size_t> blocks = out.BlockSizes();
    FUZZ_CHECK(blocks.size() <= kStopAfterBlocks);
    FUZZ_CHECK(out.Completions() == blocks.size());
    for (const std::size_t bytes : blocks) {
        FUZZ_CHECK(bytes > 0 && bytes <= kBlockBytes);
    }
    FUZZ_CHECK(played.bytesPlayed == out.Played().size());
    CheckShown(observer);

    const WalkPrediction prediction = PredictWriteJob(data, size, 0, 0);
    if (prediction.dataRanges.empty() && !prediction.refused) {
        // Nothing to play: the device is never opened.
        FUZZ_CHECK(played == JobResult::Done && out.Opens() == 0);
    }
    if (played == JobResult::Refused) {
        // The user is told why.
        const std::vector<std::string> messages = observer.Messages();
        FUZZ_CHECK(!messages.empty());
        FUZZ_CHECK(messages.back() == MessageText({JobError::NotStereo}) ||
                   messages.back() == MessageText({JobError::Not16Bit}));
    }
    return 0;
}

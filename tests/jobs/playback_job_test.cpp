// The pass loop of playback and write jobs, driven through a test output device that
// completes blocks on a thread of its own. Playback runs in the original mode, whose
// output is the attenuated input, so every played byte tells where it came from.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "job_runner.h"
#include "job_state.h"
#include "processing.h"
#include "stream_driver.h"
#include "test_audio_backend.h"
#include "window_state.h"

namespace {

using namespace std::chrono_literals;

struct PlaybackFixture {
    TempDir dir;
    std::filesystem::path input = dir / "in.wav";
    Bytes data;  // the data body
    FakeWindow window;
    TestAudioBackend audio;

    explicit PlaybackFixture(Bytes body) : data(std::move(body)) {
        WriteFile(input, Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", data)}));
        window.State().m_bPlayOriginal = 1;
    }

    JobResult Play() {
        JobContext context{window, &audio};
        return ProcessWaveFile(context, input.c_str(), "", 1);
    }

    // What the original mode plays for data[from, from + n).
    Bytes Attenuated(std::size_t from, std::size_t n) const {
        Bytes out;
        for (std::size_t i = from; i < from + n; i += 2) {
            const auto v = static_cast<std::int16_t>(data[i] | (data[i + 1] << 8));
            const auto a = static_cast<std::uint16_t>(Saturate16(v * kInputAttenuation));
            out.push_back(static_cast<std::uint8_t>(a));
            out.push_back(static_cast<std::uint8_t>(a >> 8));
        }
        return out;
    }

    // The played block with the given index, as attenuated data from `from`.
    bool BlockIs(std::size_t index, std::size_t from) const {
        const Bytes played = audio.Played();
        const std::vector<std::size_t> sizes = audio.BlockSizes();
        std::size_t start = 0;
        for (std::size_t i = 0; i < index; ++i) {
            start += sizes[i];
        }
        const Bytes expected = Attenuated(from, sizes[index]);
        return std::equal(expected.begin(), expected.end(),
                          played.begin() + static_cast<std::ptrdiff_t>(start));
    }

    void StopAfterBlocks(std::size_t count) {
        audio.onWrite = [this, count](std::size_t index) {
            if (index + 1 == count) {
                window.State().m_bStopRequest = 1;
            }
        };
    }
};

// Distinct, attenuation-safe sample values so that a misplaced block cannot pass.
Bytes RampData(std::size_t bytes) {
    Bytes out(bytes);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto v = static_cast<std::uint16_t>((i / 2) * 7 % 60000);
        out[i] = static_cast<std::uint8_t>(v);
        out[i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return out;
}

constexpr std::size_t kBlock = kBlockBytes;
// 110 steps of exactly two blocks: U = 88200.
constexpr std::size_t kTwoBlockSteps = 110 * 2 * kBlockBytes;

TEST(StreamDriver, PlaysTheLoopRegionOverAndOver) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    WindowState& s = f.window.State();
    s.m_nLoopStart = 5;
    s.m_nLoopEnd = 10;
    f.StopAfterBlocks(25);
    ASSERT_EQ(f.Play(), JobResult::Done);

    const std::size_t loopStart = TrackbarBytePos(5, 2 * kBlock);
    EXPECT_EQ(loopStart, 440992u) << "positions fall on 32-byte boundaries";
    ASSERT_EQ(f.audio.BlockSizes().size(), 25u);
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_TRUE(f.BlockIs(i, loopStart + (i % 10) * kBlock)) << "block " << i;
    }
    EXPECT_LE(f.audio.MaxInFlight(), 2u);
    EXPECT_EQ(f.audio.Completions(), 25u);
    EXPECT_EQ(f.audio.Closes(), 1);
    EXPECT_EQ(f.window.ResetCount(), 1) << "a stop with blocks queued resets the buttons";
    EXPECT_TRUE(f.window.Messages().empty());
}

TEST(StreamDriver, SeekInsideTheLoopJumpsToTheReleasedPosition) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    WindowState& s = f.window.State();
    f.audio.onWrite = [&](std::size_t index) {
        // After block 2 the position counter does not step, so the released value stands.
        if (index == 2) {
            s.m_nPlayPos = 50;
            s.m_bSeekRequest = 1;
        }
        if (index == 5) {
            s.m_bStopRequest = 1;
        }
    };
    f.Play();
    EXPECT_TRUE(f.BlockIs(2, 2 * kBlock));
    EXPECT_TRUE(f.BlockIs(3, TrackbarBytePos(50, 2 * kBlock)));
    EXPECT_TRUE(f.BlockIs(4, TrackbarBytePos(50, 2 * kBlock) + kBlock));
    EXPECT_EQ(s.m_bSeekRequest, 0);
}

TEST(StreamDriver, SeekOutsideTheLoopOrNearItsEndGoesToTheLoopStart) {
    for (int target : {10, 20, 69, 70}) {
        PlaybackFixture f(RampData(kTwoBlockSteps));
        WindowState& s = f.window.State();
        s.m_nLoopStart = 20;
        s.m_nLoopEnd = 70;
        f.audio.onWrite = [&](std::size_t index) {
            if (index == 0) {
                s.m_nPlayPos = target;
                s.m_bSeekRequest = 1;
            }
            if (index == 2) {
                s.m_bStopRequest = 1;
            }
        };
        f.Play();
        // Within one step of the loop end counts as at the end: 69 is.
        EXPECT_TRUE(f.BlockIs(1, TrackbarBytePos(20, 2 * kBlock))) << "seek to " << target;
    }
}

TEST(StreamDriver, SeekRequestedDuringABlockDropsIt) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    WindowState& s = f.window.State();
    int meters = 0;
    f.window.onMeter = [&](int) {
        // Block 0 refreshes the meter 24 times; the 30th refresh is inside block 1.
        if (++meters == 30) {
            s.m_nPlayPos = 80;
            s.m_bSeekRequest = 1;
        }
    };
    f.StopAfterBlocks(3);
    f.Play();
    ASSERT_EQ(f.audio.BlockSizes().size(), 3u);
    EXPECT_TRUE(f.BlockIs(0, 0));
    EXPECT_TRUE(f.BlockIs(1, TrackbarBytePos(80, 2 * kBlock)))
        << "the interrupted block is dropped";
    EXPECT_TRUE(f.BlockIs(2, TrackbarBytePos(80, 2 * kBlock) + kBlock));
}

TEST(StreamDriver, StopWithTwoBlocksQueuedWaitsForBothBeforeClosing) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    f.audio.holdCompletions = true;
    f.StopAfterBlocks(2);
    std::atomic<bool> finished{false};
    std::thread job([&] {
        f.Play();
        finished = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(finished) << "the job must wait for its queued blocks";
    EXPECT_EQ(f.audio.Closes(), 0);
    f.audio.ReleaseHeld();
    job.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(f.audio.Completions(), 2u);
    EXPECT_EQ(f.audio.Closes(), 1);
    EXPECT_EQ(f.window.ResetCount(), 1);
}

TEST(StreamDriver, LoopStartAfterLoopEndShowsError86AndPlaysFromTheBeginning) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    WindowState& s = f.window.State();
    s.m_nLoopStart = 40;
    s.m_nLoopEnd = 30;
    f.StopAfterBlocks(2);
    f.Play();
    ASSERT_EQ(f.window.Messages().size(), 1u);
    EXPECT_EQ(f.window.Messages()[0], "Error 86: Play start is after play end. Play starts at 0.");
    EXPECT_EQ(s.m_nLoopStart, 0);
    EXPECT_EQ(s.m_nLoopEnd, 100);
    EXPECT_EQ(f.window.GetTrackbarPos(Trackbar::LoopStart), 0);
    EXPECT_EQ(f.window.GetTrackbarPos(Trackbar::LoopEnd), 100);
    EXPECT_TRUE(f.BlockIs(0, 0));
}

TEST(StreamDriver, LoopMovedPastItsEndDuringPlaybackShowsError87AtTheNextLoopBack) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    WindowState& s = f.window.State();
    s.m_nLoopEnd = 3;
    f.audio.onWrite = [&](std::size_t index) {
        if (index == 1) {
            s.m_nLoopStart = 60;
        }
        if (index == 8) {
            s.m_bStopRequest = 1;
        }
    };
    f.Play();
    const auto messages = f.window.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error 87: Play start is after play end. Play starts at 0.");
    EXPECT_EQ(s.m_nLoopStart, 0);
    EXPECT_EQ(s.m_nLoopEnd, 100);
}

TEST(StreamDriver, LoweringTheLoopEndSendsPlaybackBackAfterTheCurrentBlock) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    WindowState& s = f.window.State();
    f.audio.onWrite = [&](std::size_t index) {
        if (index == 9) {
            s.m_nLoopEnd = 2;  // the position counter is already past it
        }
        if (index == 12) {
            s.m_bStopRequest = 1;
        }
    };
    f.Play();
    EXPECT_TRUE(f.BlockIs(9, 9 * kBlock));
    EXPECT_TRUE(f.BlockIs(10, 0));
}

TEST(StreamDriver, TinyChunkGivesZeroStepsAndTheLoopErrors) {
    {
        PlaybackFixture f(RampData(100));
        f.Play();
        const auto messages = f.window.Messages();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0], "Error 86: Play start is after play end. Play starts at 0.");
        EXPECT_EQ(messages[1], "Error 87: Play start is after play end. Play starts at 0.");
        EXPECT_TRUE(f.audio.Played() == f.Attenuated(0, 100));
    }
    FakeWindow window;
    const Bytes input = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", RampData(100))});
    const WriteOutcome o = RunWriteJob(input, window);
    ASSERT_EQ(o.messages.size(), 1u);
    EXPECT_EQ(o.messages[0], "Error 86: Play start is after play end. Play starts at 0.");
    EXPECT_TRUE(o.output == ExpectedWrite(input, window.State()));
}

// 31,752,000 bytes give U = 288,654: one step is 7 blocks, and with the loop at 0..100
// playback goes back to the beginning after 30,870,000 bytes.
TEST(StreamDriver, PositionCounterStepsEverySevenBlocksAndLoopsBackAt100) {
    PlaybackFixture f(RampData(31752000));
    f.StopAfterBlocks(702);
    std::vector<int> positions;
    f.window.onPlayPos = [&](int pos) { positions.push_back(pos); };
    f.Play();
    ASSERT_EQ(f.audio.BlockSizes().size(), 702u);
    EXPECT_TRUE(f.BlockIs(699, 699 * kBlock));
    EXPECT_TRUE(f.BlockIs(700, 0));
    EXPECT_TRUE(f.BlockIs(701, kBlock));
    // Start at 0, one step per 7 blocks up to 100, then back to the loop start.
    ASSERT_GE(positions.size(), 103u);
    for (int i = 0; i <= 100; ++i) {
        EXPECT_EQ(positions[static_cast<std::size_t>(i + 1)], i) << i;
    }
    EXPECT_EQ(positions[102], 0);
}

TEST(StreamDriver, SmallStepsAdvanceOncePerBlockAndLag) {
    // 2,000,000 bytes: U = 18,181, smaller than a block.
    PlaybackFixture f(RampData(2000000));
    std::vector<int> positions;
    f.window.onPlayPos = [&](int pos) { positions.push_back(pos); };
    f.StopAfterBlocks(10);
    f.Play();
    ASSERT_GE(positions.size(), 11u);
    for (std::size_t i = 2; i <= 11 && i < positions.size(); ++i) {
        EXPECT_EQ(positions[i], positions[i - 1] + 1);
    }
}

TEST(StreamDriver, WriteJobProcessesEverythingFromTheFirstByte) {
    FakeWindow window;
    WindowState& s = window.State();
    s.m_nLoopStart = 30;
    s.m_nLoopEnd = 40;
    s.m_nPlayPos = 50;
    s.m_bSeekRequest = 1;
    const Bytes input =
        Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", Samples(TestSignal(300000)))});
    const WriteOutcome o = RunWriteJob(input, window);
    EXPECT_EQ(o.result, JobResult::Done);
    EXPECT_TRUE(o.output == ExpectedWrite(input, s));
    EXPECT_EQ(s.m_bSeekRequest, 0);
    EXPECT_EQ(window.GetTrackbarPos(Trackbar::LoopStart), 0) << "the loop-start thumb goes to 0";
    EXPECT_EQ(s.m_nLoopStart, 30) << "the member keeps its value";
    EXPECT_TRUE(o.messages.empty());
}

TEST(StreamDriver, WriteJobWithLoopEndZeroShowsError86First) {
    FakeWindow window;
    window.State().m_nLoopEnd = 0;
    const Bytes input = SimpleWav(TestSignal(5000));
    const WriteOutcome o = RunWriteJob(input, window);
    ASSERT_EQ(o.messages.size(), 1u);
    EXPECT_EQ(o.messages[0], "Error 86: Play start is after play end. Play starts at 0.");
    EXPECT_TRUE(o.output == ExpectedWrite(input, window.State()));
}

TEST(StreamDriver, MeterIsRefreshedEvery2000BytesAndAfterEachBlock) {
    FakeWindow window;
    const Bytes input = SimpleWav(TestSignal(kBlockBytes / 4));  // exactly one block
    RunWriteJob(input, window);
    // Offsets 0, 2000, ..., 44000 and once after the block.
    EXPECT_EQ(window.Meters().size(), 23u + 1u);
}

TEST(StreamDriver, PlaybackEndsAtTheEndOfTheDataWithoutAStop) {
    PlaybackFixture f(RampData(3 * kBlock + 1000));
    f.window.State().m_nLoopEnd = 100;
    ASSERT_EQ(f.Play(), JobResult::Done);
    EXPECT_TRUE(f.audio.Played() == f.Attenuated(0, 3 * kBlock + 1000));
    EXPECT_EQ(f.window.ResetCount(), 0);
    EXPECT_EQ(f.window.State().m_bStopRequest, 0);
}

TEST(StreamDriver, RefusedPlaybackSetsTheNoRestartFlags) {
    {
        PlaybackFixture f(RampData(1000));
        f.audio.openResult = MMSYSERR_BADDEVICEID;
        EXPECT_EQ(f.Play(), JobResult::Refused);
        ASSERT_EQ(f.window.Messages().size(), 1u);
        EXPECT_EQ(f.window.Messages()[0],
                  "A sound device was not found!\nPlease install one and try again.");
        EXPECT_EQ(f.window.State().m_bStopRequest, 1);
        EXPECT_EQ(f.window.State().m_bNoRestart, 1);
    }
    {
        TempDir dir;
        const auto mono = dir / "mono.wav";
        WriteFile(mono, SimpleWav(std::vector<std::int16_t>(500, 3), 1));
        FakeWindow window;
        TestAudioBackend audio;
        JobContext context{window, &audio};
        EXPECT_EQ(ProcessWaveFile(context, mono.c_str(), "", 1), JobResult::Refused);
        EXPECT_EQ(audio.Opens(), 0) << "nothing is opened for a refused input";
        EXPECT_EQ(window.Messages().size(), 1u);
        EXPECT_EQ(window.State().m_bNoRestart, 1);
    }
    {
        FakeWindow window;
        TestAudioBackend audio;
        JobContext context{window, &audio};
        EXPECT_EQ(ProcessWaveFile(context, "/nonexistent/zerbex.wav", "", 1), JobResult::Failed);
        EXPECT_EQ(window.Messages().at(0), "Error reading input wave file...\n");
        EXPECT_EQ(window.State().m_bStopRequest, 1);
        EXPECT_EQ(window.State().m_bNoRestart, 1);
    }
}

TEST(StreamDriver, DeviceRefusingABlockEndsTheJobInsteadOfHanging) {
    PlaybackFixture f(RampData(10 * kBlock));
    f.audio.onWrite = [&](std::size_t index) {
        if (index == 1) {
            f.audio.writeResult = MMSYSERR_NOMEM;
        }
    };
    f.Play();
    EXPECT_EQ(f.audio.Completions(), 2u);
    ASSERT_EQ(f.window.Messages().size(), 1u);
    EXPECT_EQ(f.window.State().m_bNoRestart, 1);
}

}  // namespace

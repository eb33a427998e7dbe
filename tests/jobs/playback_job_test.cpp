// The pass loop of playback jobs (and what write jobs share with it), driven through a test
// sound output that plays blocks on a thread of its own. Playback runs in the original mode, whose
// output is the attenuated input, so every played byte tells where it came from.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>
#include <thread>
#include <tuple>

#include "jobs/job_runner.h"
#include "jobs/key_tempo_out.h"
#include "processing/fast_frames.h"
#include "processing/processing.h"
#include "processing/stereo_remover.h"
#include "render/render.h"
#include "tests/test_support/test_audio_out.h"
#include "tests/test_support/write_helpers.h"

namespace {

using namespace std::chrono_literals;

struct PlaybackFixture {
    TempDir dir;
    std::filesystem::path input = dir / "in.wav";
    Bytes data;  // the data body
    RecordingObserver observer;
    PlayControls controls;
    TestAudioOut audio;
    JobRunner runner;

    explicit PlaybackFixture(Bytes body, std::uint32_t rate = 44100) : data(std::move(body)) {
        WriteFile(input, Riff({Chunk("fmt ", FmtBody(2, rate)), Chunk("data", data)}));
        controls.settings.Change([&](ProcessingParameters& p) { p.mode = PlayMode::Original; });
    }

    JobResult Play() { return runner.Play(InputFile(input), controls, audio, observer); }

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
                controls.stop.request_stop();
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

TEST(PlaybackJob, PlaysTheLoopRegionOverAndOver) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    PlayControls& s = f.controls;
    s.play.Change([&](PlaySettings& p) { p.loopStart = 5; });
    s.play.Change([&](PlaySettings& p) { p.loopEnd = 10; });
    f.StopAfterBlocks(25);
    ASSERT_EQ(f.Play(), JobResult::Stopped);

    const std::size_t loopStart = PositionBytes(5, 2 * kBlock);
    EXPECT_EQ(loopStart, 440992u) << "positions fall on 32-byte boundaries";
    ASSERT_EQ(f.audio.BlockSizes().size(), 25u);
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_TRUE(f.BlockIs(i, loopStart + (i % 10) * kBlock)) << "block " << i;
    }
    EXPECT_LE(f.audio.MaxInFlight(), 2u);
    EXPECT_EQ(f.audio.Completions(), 25u);
    EXPECT_EQ(f.audio.Closes(), 1);
    EXPECT_EQ(f.observer.PlayedOutCount(), 1) << "a stop with blocks queued resets the buttons";
    EXPECT_TRUE(f.observer.Messages().empty());
}

// Match loudness, taken with the play settings when a playback starts, brings the sound the
// original mode attenuates back up toward the input's loudness.
TEST(PlaybackJob, MatchLoudnessTakenWhenAPlaybackStartsRaisesWhatItPlays) {
    const auto levelDb = [](bool match) {
        PlaybackFixture f(Samples(TestSignal(3 * 44100)));
        f.controls.play.Change([&](PlaySettings& p) {
            p.matchLoudness = match;
            p.loopEnd = std::numeric_limits<int>::max();
        });
        EXPECT_EQ(f.Play(), JobResult::Done);
        const Bytes played = f.audio.Played();
        double sum = 0.0;
        for (std::size_t i = 0; i + 1 < played.size(); i += 2) {
            const double v = static_cast<std::int16_t>(played[i] | (played[i + 1] << 8));
            sum += v * v;
        }
        return 10.0 * std::log10(2.0 * sum / static_cast<double>(played.size()) + 1e-12);
    };
    EXPECT_GT(levelDb(true), levelDb(false) + 3.0);
}

TEST(PlaybackJob, SeekInsideTheLoopJumpsToTheReleasedPosition) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    PlayControls& s = f.controls;
    f.audio.onWrite = [&](std::size_t index) {
        // After block 2 the position counter does not step, so the released value stands.
        if (index == 2) {
            s.play.Change([&](PlaySettings& p) { p.playPos = 50; });
            s.seek = 1;
        }
        if (index == 5) {
            s.stop.request_stop();
        }
    };
    f.Play();
    EXPECT_TRUE(f.BlockIs(2, 2 * kBlock));
    EXPECT_TRUE(f.BlockIs(3, PositionBytes(50, 2 * kBlock)));
    EXPECT_TRUE(f.BlockIs(4, PositionBytes(50, 2 * kBlock) + kBlock));
    EXPECT_EQ(s.seek, 0);
}

TEST(PlaybackJob, SeekOutsideTheLoopOrNearItsEndGoesToTheLoopStart) {
    for (int target : {10, 20, 69, 70}) {
        PlaybackFixture f(RampData(kTwoBlockSteps));
        PlayControls& s = f.controls;
        s.play.Change([&](PlaySettings& p) { p.loopStart = 20; });
        s.play.Change([&](PlaySettings& p) { p.loopEnd = 70; });
        f.audio.onWrite = [&](std::size_t index) {
            if (index == 0) {
                s.play.Change([&](PlaySettings& p) { p.playPos = target; });
                s.seek = 1;
            }
            if (index == 2) {
                s.stop.request_stop();
            }
        };
        f.Play();
        // Within one step of the loop end counts as at the end: 69 is.
        EXPECT_TRUE(f.BlockIs(1, PositionBytes(20, 2 * kBlock))) << "seek to " << target;
    }
}

TEST(PlaybackJob, SeekRequestedDuringABlockDropsIt) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    PlayControls& s = f.controls;
    int meters = 0;
    f.observer.onLevel = [&](int) {
        // Block 0 refreshes the meter 24 times; the 30th refresh is inside block 1.
        if (++meters == 30) {
            s.play.Change([&](PlaySettings& p) { p.playPos = 80; });
            s.seek = 1;
        }
    };
    f.StopAfterBlocks(3);
    f.Play();
    ASSERT_EQ(f.audio.BlockSizes().size(), 3u);
    EXPECT_TRUE(f.BlockIs(0, 0));
    EXPECT_TRUE(f.BlockIs(1, PositionBytes(80, 2 * kBlock))) << "the interrupted block is dropped";
    EXPECT_TRUE(f.BlockIs(2, PositionBytes(80, 2 * kBlock) + kBlock));
}

// A loop to the frame plays exactly its frames, end exclusive, and goes straight back at its
// end whatever the blocks; a move to a frame asked for lands on that frame when it lies
// inside the loop, at the loop start otherwise.
TEST(PlaybackJob, LoopsAndMovesToTheFrame) {
    struct Segment {
        std::size_t from;  // frames
        std::size_t to;
    };
    const struct {
        const char* name;
        std::int64_t start;
        std::int64_t end;
        std::int64_t seekFrame;  // asked for after the first block; negative: none
        bool once;
        std::vector<Segment> played;  // in order; the capture begins with them
    } cases[] = {
        {"once", 544635, 652680, -1, true, {{544635, 652680}}},
        {"round and round", 1000, 30001, -1, false, {{1000, 30001}, {1000, 30001}, {1000, 30001}}},
        {"shorter than a block", 7, 2007, -1, false, {{7, 2007}, {7, 2007}, {7, 2007}}},
        {"move inside", 0, 100000, 50001, false, {{0, 11025}, {50001, 100000}, {0, 11025}}},
        {"move past the end", 0, 100000, 100000, false, {{0, 11025}, {0, 100000}}},
        {"move before the start", 20000, 100000, 3, false, {{20000, 31025}, {20000, 100000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackFixture f(RampData(kTwoBlockSteps));
        PlayControls& s = f.controls;
        s.play.Change([&](PlaySettings& p) { p.loopStartFrame = c.start; });
        s.play.Change([&](PlaySettings& p) { p.loopEndFrame = c.end; });
        std::size_t frames = 0;
        Bytes expected;
        for (const Segment& segment : c.played) {
            const Bytes part = f.Attenuated(segment.from * 4, (segment.to - segment.from) * 4);
            expected.insert(expected.end(), part.begin(), part.end());
            frames += segment.to - segment.from;
        }
        f.audio.onWrite = [&](std::size_t index) {
            if (index == 0 && c.seekFrame >= 0) {
                s.seekFrame = c.seekFrame;
                s.seek = 1;
            }
            if (!c.once && f.audio.Played().size() >= frames * 4) {
                s.stop.request_stop();
            }
        };
        EXPECT_EQ(f.runner.Play(InputFile(f.input), s, f.audio, f.observer, c.once),
                  c.once ? JobResult::Done : JobResult::Stopped);
        const Bytes played = f.audio.Played();
        ASSERT_GE(played.size(), expected.size());
        EXPECT_EQ(std::mismatch(expected.begin(), expected.end(), played.begin()).first,
                  expected.end());
        EXPECT_TRUE(f.observer.Messages().empty());
    }
}

TEST(PlaybackJob, StopWithTwoBlocksQueuedWaitsForBothBeforeClosing) {
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
    EXPECT_EQ(f.observer.PlayedOutCount(), 1);
}

TEST(PlaybackJob, LoopStartAfterLoopEndShowsError86AndPlaysFromTheBeginning) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    PlayControls& s = f.controls;
    s.play.Change([&](PlaySettings& p) { p.loopStart = 40; });
    s.play.Change([&](PlaySettings& p) { p.loopEnd = 30; });
    f.StopAfterBlocks(2);
    f.Play();
    ASSERT_EQ(f.observer.Messages().size(), 1u);
    EXPECT_EQ(f.observer.Messages()[0],
              "Error 86: Play start is after play end. Play starts at 0.");
    EXPECT_EQ(f.observer.Loops(), (std::vector<std::pair<int, int>>{{0, 100}}));
    EXPECT_TRUE(f.BlockIs(0, 0));
}

TEST(PlaybackJob, LoopMovedPastItsEndDuringPlaybackShowsError87AtTheNextLoopBack) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    PlayControls& s = f.controls;
    s.play.Change([&](PlaySettings& p) { p.loopEnd = 3; });
    f.audio.onWrite = [&](std::size_t index) {
        if (index == 1) {
            s.play.Change([&](PlaySettings& p) { p.loopStart = 60; });
        }
        if (index == 8) {
            s.stop.request_stop();
        }
    };
    f.Play();
    const auto messages = f.observer.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error 87: Play start is after play end. Play starts at 0.");
    EXPECT_EQ(f.observer.Loops(), (std::vector<std::pair<int, int>>{{0, 100}}));
}

TEST(PlaybackJob, LoweringTheLoopEndSendsPlaybackBackAfterTheCurrentBlock) {
    PlaybackFixture f(RampData(kTwoBlockSteps));
    PlayControls& s = f.controls;
    f.audio.onWrite = [&](std::size_t index) {
        if (index == 9) {
            s.play.Change([&](PlaySettings& p) {
                p.loopEnd = 2;
            });  // the position counter is already past it
        }
        if (index == 12) {
            s.stop.request_stop();
        }
    };
    f.Play();
    EXPECT_TRUE(f.BlockIs(9, 9 * kBlock));
    EXPECT_TRUE(f.BlockIs(10, 0));
}

TEST(PlaybackJob, TinyChunkGivesZeroStepsAndTheLoopErrors) {
    {
        PlaybackFixture f(RampData(100));
        f.Play();
        const auto messages = f.observer.Messages();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0], "Error 86: Play start is after play end. Play starts at 0.");
        EXPECT_EQ(messages[1], "Error 87: Play start is after play end. Play starts at 0.");
        EXPECT_TRUE(f.audio.Played() == f.Attenuated(0, 100));
    }
    RecordingObserver observer;
    const ProcessingParameters params;
    const Bytes input = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", RampData(100))});
    const WriteOutcome o = RunWriteJob(input, params, observer);
    ASSERT_EQ(o.messages.size(), 1u);
    EXPECT_EQ(o.messages[0], "Error 86: Play start is after play end. Play starts at 0.");
    EXPECT_TRUE(o.output == ExpectedWrite(input, params));
}

// The position counter follows the bytes played: after each block it is the block's end
// divided by the step, and a loop goes back at the first block boundary at or after
// pos(loop end), whatever the length of the data (11 s, 30 s, 3 minutes of 44.1 kHz stereo).
TEST(PlaybackJob, PositionCounterAndLoopEndFollowTheBytesPlayed) {
    for (const std::size_t bytes : {1940400u, 5292000u, 31752000u}) {
        const Bytes data = RampData(bytes);
        for (const int loopEnd : {1, 20, 50, 80, 100}) {
            PlaybackFixture f(data);
            f.controls.play.Change([&](PlaySettings& p) { p.loopEnd = loopEnd; });
            std::vector<int> positions;
            f.observer.onPosition = [&](int pos) { positions.push_back(pos); };
            ASSERT_EQ(f.runner.Play(InputFile(f.input), f.controls, f.audio, f.observer, true),
                      JobResult::Done);
            const std::size_t step = bytes / kPositionSteps;
            const auto end = static_cast<std::size_t>(PositionBytes(loopEnd, step));
            const std::size_t blocks =
                std::min((end + kBlock - 1) / kBlock, (bytes + kBlock - 1) / kBlock);
            const std::size_t played = std::min(blocks * kBlock, bytes);
            EXPECT_EQ(f.audio.Played().size(), played) << bytes << " to " << loopEnd;
            EXPECT_TRUE(f.BlockIs(blocks - 1, (blocks - 1) * kBlock));
            ASSERT_FALSE(positions.empty());
            EXPECT_EQ(positions.front(), 0);
            EXPECT_EQ(positions.back(), static_cast<int>(played / step)) << bytes;
            EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        }
    }
}

// A write takes the whole data from its first byte whatever the loop says: its loop start
// shows 0, its position counter starts at 0; with a loop end at the first byte it says so
// first. Its meter is refreshed every 2000 bytes and after each block.
TEST(WriteJob, ProcessesEverythingFromTheFirstByteAndShowsWhereItIs) {
    const ProcessingParameters params;
    const Bytes input =
        Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", Samples(TestSignal(300000)))});
    for (const int loopEnd : {40, 0}) {
        RecordingObserver observer;
        JobRunner runner;
        const WriteOutcome o = RunWriteJob(input, params, observer, &runner, loopEnd);
        EXPECT_EQ(o.result, JobResult::Done);
        EXPECT_TRUE(o.output == ExpectedWrite(input, params));
        const std::vector<std::pair<int, int>> loops = observer.Loops();
        ASSERT_FALSE(loops.empty());
        EXPECT_EQ(loops.front(), std::make_pair(0, loopEnd)) << "the loop start shows 0";
        EXPECT_EQ(observer.Positions().front(), 0);
        if (loopEnd == 0) {
            EXPECT_EQ(o.messages, std::vector<std::string>{
                                      "Error 86: Play start is after play end. Play starts at 0."});
            EXPECT_EQ(loops.back(), std::make_pair(0, 100));
        } else {
            EXPECT_TRUE(o.messages.empty());
        }
    }
    RecordingObserver observer;
    RunWriteJob(SimpleWav(TestSignal(kBlockBytes / 4)), params, observer);  // exactly one block
    // Offsets 0, 2000, ..., 44000 and once after the block.
    EXPECT_EQ(observer.Levels().size(), 23u + 1u);
}

TEST(PlaybackJob, PlaybackEndsAtTheEndOfTheDataWithoutAStop) {
    PlaybackFixture f(RampData(3 * kBlock + 1000));
    f.controls.play.Change([&](PlaySettings& p) {
        p.loopEnd = std::numeric_limits<int>::max();
    });  // as `play --once` asks for the end
    ASSERT_EQ(f.Play(), JobResult::Done);
    EXPECT_TRUE(f.audio.Played() == f.Attenuated(0, 3 * kBlock + 1000));
    EXPECT_EQ(f.observer.PlayedOutCount(), 0);
}

// A playback that cannot play says why once and ends as refused or failed, which the
// window does not start again.
TEST(PlaybackJob, RefusedPlaybackSaysWhyAndEndsRefusedOrFailed) {
    {
        PlaybackFixture f(RampData(1000));
        f.audio.failOpen = true;
        EXPECT_EQ(f.Play(), JobResult::Refused);
        EXPECT_EQ(f.observer.Messages(),
                  std::vector<std::string>{
                      "A sound device was not found!\nPlease install one and try again."});
    }
    TempDir dir;
    const auto mono = dir / "mono.wav";
    WriteFile(mono, SimpleWav(std::vector<std::int16_t>(500, 3), 1));
    const struct {
        std::filesystem::path input;
        JobResult result;
        const char* message;
    } cases[] = {
        {mono, JobResult::Refused, "Error code 1101, Input not stereo! \n"},
        {"/nonexistent/zerbex.wav", JobResult::Failed, "Error reading input wave file...\n"},
    };
    for (const auto& c : cases) {
        RecordingObserver observer;
        PlayControls controls;
        TestAudioOut audio;
        EXPECT_EQ(JobRunner().Play(InputFile(c.input), controls, audio, observer), c.result);
        EXPECT_EQ(audio.Opens(), 0) << "nothing is opened for a refused input";
        EXPECT_EQ(observer.Messages(), std::vector<std::string>{c.message});
    }
}

TEST(PlaybackJob, DeviceRefusingABlockEndsTheJobInsteadOfHanging) {
    PlaybackFixture f(RampData(10 * kBlock));
    f.audio.onWrite = [&](std::size_t index) {
        if (index == 1) {
            f.audio.failWrites = true;
        }
    };
    EXPECT_EQ(f.Play(), JobResult::Refused);
    EXPECT_EQ(f.audio.Completions(), 2u);
    EXPECT_EQ(f.observer.Messages(), std::vector<std::string>{"The sound device stopped working."});
}

}  // namespace

// Played once to its loop end, a playback ends there: the walk does not read on from the
// middle of the sample data, where the bytes may look like a chunk.
TEST(PlaybackJob, PlayedOnceToTheLoopEndEndsTheFile) {
    TempDir dir;
    Bytes data = RampData(10 * kBlock);
    const Bytes lookalike = Chunk("data", Bytes(8, 1));
    std::copy(lookalike.begin(), lookalike.end(), data.begin() + 5 * kBlock);
    const auto input = dir / "in.wav";
    WriteFile(input, Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", data),
                           ListChunk("INFO", {Chunk("INAM", {'x', 0})})}));
    RecordingObserver observer;
    PlayControls controls;
    controls.play.Change([&](PlaySettings& p) {
        p.loopEnd = 55;
    });  // pos(55) = 220480, reached with the fifth block
    TestAudioOut audio;
    EXPECT_EQ(JobRunner().Play(InputFile(input), controls, audio, observer, true), JobResult::Done);
    EXPECT_EQ(audio.BlockSizes(), std::vector<std::size_t>(5, kBlock));
    EXPECT_EQ(audio.Opens(), 1);
}

// In another key or at another tempo, the device is handed what the tempo makes of the data,
// and the position counter follows the source bytes of what it was handed, within the stage's
// lag. Where the key may change while playing, the original key goes out in pieces after two
// whole blocks.
TEST(PlaybackJob, KeyAndTempoReachTheDeviceAndThePositionFollowsWhatItWasHanded) {
    const struct {
        int key;
        int tempo;
        bool live;
    } cases[] = {{30, 100, false}, {0, 80, false}, {-25, 140, true}, {0, 100, true}};
    constexpr std::size_t kFrames = 3 * 44100;
    constexpr double kLagBytes = 0.2 * 44100 * 4;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " " << c.tempo << " " << c.live);
        PlaybackFixture f(Samples(TestSignal(kFrames)));
        f.controls.play.Change([&](PlaySettings& p) { p.key = c.key; });
        f.controls.play.Change([&](PlaySettings& p) { p.tempo = c.tempo; });
        f.controls.keyTempoLive = c.live;
        f.controls.play.Change([&](PlaySettings& p) {
            p.loopEnd = std::numeric_limits<int>::max();
        });                                              // to the end of the data
        std::vector<std::pair<int, std::size_t>> steps;  // and the bytes handed by then
        f.observer.onPosition = [&](int step) {
            steps.emplace_back(step, f.audio.Played().size());
        };
        EXPECT_EQ(f.runner.Play(InputFile(f.input), f.controls, f.audio, f.observer, true),
                  JobResult::Done);
        const bool neutral = c.key == 0 && c.tempo == 100;
        EXPECT_EQ(f.audio.Played().size(),
                  neutral ? kFrames * 4 : StretchedFrames(kFrames, c.tempo) * 4);
        const std::size_t wholeStep = kFrames * 4 / kPositionSteps;  // as the job divides
        const auto stepBytes = static_cast<double>(wholeStep);
        ASSERT_GT(steps.size(), 8u);  // one a block
        for (const auto& [step, handed] : steps) {
            const double heard = static_cast<double>(handed) * c.tempo / 100;
            EXPECT_LE(step * stepBytes, heard + 1) << "ahead of what was handed";
            EXPECT_GE(step * stepBytes, heard - stepBytes - kLagBytes) << "behind it";
        }
        const std::vector<std::size_t> sizes = f.audio.BlockSizes();
        ASSERT_GT(sizes.size(), 2u);
        EXPECT_EQ(sizes[0], kBlock);
        EXPECT_EQ(sizes[1], kBlock);
        // Whole blocks where nothing may change; live, a key stage's twentieths, or at the
        // original key and tempo a block cut evenly into fortieths or a little more.
        const std::size_t most = *std::max_element(sizes.begin() + 2, sizes.end() - 1);
        if (!neutral || !c.live) {
            EXPECT_EQ(most, neutral ? kBlock : 44100u / 20 * 4);
        } else {
            EXPECT_GE(most, 44100u / 40 * 4);
            EXPECT_LT(most, 44100u / 20 * 4);
        }
    }
}

namespace {

// What the stereo mode plays for the source frames fed in the order given (byte ranges of the
// data): a remover of its own run over them, its lead-in dropped and its end flushed, as a
// write aligns it. It holds for any remover.
Bytes StereoPlayed(const PlaybackFixture& f,
                   const std::vector<std::pair<std::size_t, std::size_t>>& fed) {
    std::vector<std::int16_t> in;
    for (const auto& [from, n] : fed) {
        const std::vector<std::int16_t> part = SamplesOf(f.Attenuated(from, n));
        in.insert(in.end(), part.begin(), part.end());
    }
    StereoRemover remover(44100);
    in.resize(in.size() + 2 * remover.Latency(), 0);
    std::vector<std::int16_t> out(in.size());
    remover.Process(f.controls.settings.Read(), in.data(), out.data(), nullptr, in.size() / 2);
    return Samples({out.begin() + static_cast<std::ptrdiff_t>(2 * remover.Latency()), out.end()});
}

// In the stereo mode the job plays the remover's output aligned with its source, and the
// position counter follows the source frames of what the device was handed, sample-true:
// played once, in the pieces of a window, and over a loop that goes on through the remover.
TEST(PlaybackJob, StereoModePlaysTheRemoversOutputAndCountsItsSourceFrames) {
    constexpr std::size_t kBytes = 12 * kBlock + 4 * 1000;  // a last block cut short
    const struct {
        bool live;
        int loopEnd;
        std::size_t stopAfter;  // writes; 0: plays to the end once
    } cases[] = {{false, std::numeric_limits<int>::max(), 0},
                 {true, std::numeric_limits<int>::max(), 0},
                 {false, 30, 12},
                 {true, 30, 80}};  // live: pieces of a fortieth of a second
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.live << " " << c.loopEnd);
        PlaybackFixture f(Samples(TestSignal(kBytes / 4)));
        f.controls.settings.Change([&](ProcessingParameters& p) { p.mode = PlayMode::Stereo; });
        f.controls.keyTempoLive = c.live;
        f.controls.play.Change([&](PlaySettings& p) { p.loopEnd = c.loopEnd; });
        if (c.stopAfter > 0) {
            f.StopAfterBlocks(c.stopAfter);
        }
        const std::size_t wholeStep = kBytes / kPositionSteps;
        std::vector<std::pair<int, std::size_t>> steps;  // and the bytes handed by then
        f.observer.onPosition = [&](int step) {
            steps.emplace_back(step, f.audio.Played().size());
        };
        f.Play();
        // The loop goes back at the first block boundary at or after its end.
        const std::size_t loopBytes =
            c.stopAfter == 0
                ? kBytes
                : (static_cast<std::size_t>(PositionBytes(c.loopEnd, wholeStep)) + kBlock - 1) /
                      kBlock * kBlock;
        std::vector<std::pair<std::size_t, std::size_t>> fed(c.stopAfter == 0 ? 1 : 6,
                                                             {0, loopBytes});
        const Bytes expected = StereoPlayed(f, fed);
        const Bytes played = f.audio.Played();
        if (c.stopAfter == 0) {
            EXPECT_EQ(played.size(), kBytes);
        } else {
            EXPECT_GT(played.size(), 2 * loopBytes) << "it did not loop";
        }
        ASSERT_LE(played.size(), expected.size());
        EXPECT_TRUE(std::equal(played.begin(), played.end(), expected.begin()));
        ASSERT_GT(steps.size(), 8u);
        for (const auto& [step, handed] : steps) {
            const std::size_t heard = handed % loopBytes;
            // A loop's start shows as the loop goes back, before its frames leave the remover.
            if (step != 0 || heard < loopBytes - kBlock) {
                EXPECT_EQ(step, std::min<int>(static_cast<int>(heard / wholeStep),
                                              RowOf(Knob::PlayPos).max))
                    << handed;
            }
        }
    }
}

// A level moved while playing is in the very next piece the device is handed, in the stereo
// mode and in the frame processing's modes alike, and the pieces are fortieths of a second or
// a little more, blocks' ends included: only the sound queued ahead delays the move, and a
// sliver never leaves the queue short.
TEST(PlaybackJob, LevelsMovedWhilePlayingReachTheNextPieceInEveryMode) {
    constexpr std::size_t kBytes = 8 * kBlock;
    constexpr std::size_t kMovedAfter = 10;  // writes; well after the first two whole blocks
    for (const PlayMode mode : {PlayMode::Stereo, PlayMode::Mode2}) {
        SCOPED_TRACE(ModeName(mode));
        PlaybackFixture f(Samples(TestSignal(kBytes / 4)));
        f.controls.settings.Change([&](ProcessingParameters& p) { p.mode = mode; });
        f.controls.keyTempoLive = true;
        const float start = f.controls.settings.Read().leftGain;
        Bytes before = f.data;
        Bytes after = f.data;
        if (mode == PlayMode::Stereo) {
            before = StereoPlayed(f, {{0, kBytes}});
            f.controls.settings.Change([&](ProcessingParameters& p) { p.leftGain = start / 2; });
            after = StereoPlayed(f, {{0, kBytes}});
        }
        f.controls.settings.Change([&](ProcessingParameters& p) { p.leftGain = start; });
        f.audio.onWrite = [&](std::size_t index) {
            if (index + 1 == kMovedAfter) {
                f.controls.settings.Change(
                    [&](ProcessingParameters& p) { p.leftGain = start / 2; });
            }
        };
        f.Play();
        const Bytes played = f.audio.Played();
        const std::vector<std::size_t> sizes = f.audio.BlockSizes();
        ASSERT_EQ(played.size(), kBytes);
        ASSERT_GT(sizes.size(), kMovedAfter + 1);
        // While it plays: after the first two whole blocks, before the remover's last frames,
        // which flush at the data's end.
        const auto [least, most] = std::minmax_element(sizes.begin() + 2, sizes.end() - 2);
        EXPECT_GE(*least, 44100u / 40 * 4);
        EXPECT_LT(*most, 44100u / 20 * 4);
        const std::size_t moved =
            std::accumulate(sizes.begin(), sizes.begin() + kMovedAfter, std::size_t{0});
        if (mode != PlayMode::Stereo) {
            // The frame processing, its filters running on through the move, or not moved.
            f.controls.settings.Change([&](ProcessingParameters& p) { p.leftGain = start; });
            FrameState unmoved{};
            ProcessFrames(unmoved, f.controls.settings.Read(), before.data(), kBytes / 4);
            FrameState state{};
            ProcessFrames(state, f.controls.settings.Read(), after.data(), moved / 4);
            f.controls.settings.Change([&](ProcessingParameters& p) { p.leftGain = start / 2; });
            ProcessFrames(state, f.controls.settings.Read(), after.data() + moved,
                          (kBytes - moved) / 4);
        }
        const auto at = static_cast<std::ptrdiff_t>(moved);
        EXPECT_TRUE(std::equal(played.begin(), played.begin() + at, before.begin()));
        EXPECT_TRUE(std::equal(played.begin() + at, played.end(), after.begin() + at));
        EXPECT_FALSE(std::equal(before.begin() + at, before.end(), after.begin() + at));
    }
}

// Live, at any rate and any length of data: every frame is played once, and no piece before
// the last is shorter than a fortieth of a second (in every mode) but, at most, the end of the
// data's last block: a sliver at each block's end would leave the device's queue short. None
// is as long as two pieces.
TEST(PlaybackJob, LivePiecesHoldTheirLengthAtEveryRateAndLength) {
    constexpr unsigned perSecond = 40;
    constexpr std::size_t least = KeyTempoOut::kMinLivePieceFrames;
    for (const PlayMode mode : {PlayMode::Stereo, PlayMode::Original}) {
        for (const std::uint32_t rate : {8000u, 22050u, 44100u, 48000u, 96000u}) {
            for (const std::size_t tail : {std::size_t{0}, std::size_t{4 * 777}, std::size_t{2}}) {
                const std::size_t bytes = 5 * kBlock + tail;
                SCOPED_TRACE(std::string(ModeName(mode)) + ", " + std::to_string(rate) + " Hz, " +
                             std::to_string(bytes) + " bytes");
                PlaybackFixture f(Samples(TestSignal(bytes / 4)), rate);
                f.data.resize(bytes, 0);
                WriteFile(f.input, Riff({Chunk("fmt ", FmtBody(2, rate)), Chunk("data", f.data)}));
                f.controls.settings.Change([&](ProcessingParameters& p) { p.mode = mode; });
                f.controls.keyTempoLive = true;
                f.controls.play.Change(
                    [&](PlaySettings& p) { p.loopEnd = std::numeric_limits<int>::max(); });
                ASSERT_EQ(f.Play(), JobResult::Done);
                EXPECT_EQ(f.audio.Played().size() / 4, bytes / 4);
                const std::vector<std::size_t> sizes = f.audio.BlockSizes();
                ASSERT_GT(sizes.size(), 3u);
                const std::size_t piece = std::max<std::size_t>(rate / perSecond, least) * 4;
                EXPECT_LE(std::count_if(sizes.begin() + 2, sizes.end() - 1,
                                        [piece](std::size_t n) { return n < piece; }),
                          1);
                // The stereo mode's last frames leave the remover in twentieths.
                EXPECT_LT(*std::max_element(sizes.begin() + 2, sizes.end()),
                          std::max<std::size_t>(rate / 10, 2 * least) * 4);
            }
        }
    }
}

// A switch into or out of the stereo mode while playing neither skips nor repeats sound: the
// device is handed as many frames as the source has, and the frames played before a switch
// in, or after a switch out has let the remover empty, are the original mode's.
TEST(PlaybackJob, SwitchingIntoAndOutOfTheStereoModeKeepsEveryFrameOnce) {
    constexpr std::size_t kBytes = 10 * kBlock;
    for (const PlayMode first : {PlayMode::Original, PlayMode::Stereo}) {
        PlaybackFixture f(Samples(TestSignal(kBytes / 4)));
        f.controls.settings.Change([&](ProcessingParameters& p) { p.mode = first; });
        f.controls.play.Change(
            [&](PlaySettings& p) { p.loopEnd = std::numeric_limits<int>::max(); });
        f.audio.onWrite = [&f, first](std::size_t index) {
            if (index == 2) {
                f.controls.settings.Change([&](ProcessingParameters& p) {
                    p.mode = first == PlayMode::Stereo ? PlayMode::Original : PlayMode::Stereo;
                });
            }
        };
        f.Play();
        const Bytes played = f.audio.Played();
        EXPECT_EQ(played.size(), kBytes) << ModeName(first);
        // Three blocks went out when the mode changed.
        const std::size_t original = first == PlayMode::Original ? 0 : 3 * kBlock;
        const Bytes expected =
            f.Attenuated(original, first == PlayMode::Original ? 3 * kBlock : kBytes - original);
        const auto at = played.begin() + static_cast<std::ptrdiff_t>(original);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), at)) << ModeName(first);
    }
}

}  // namespace

// Decoded inputs played while their decoder writes the copy: the real decoder, held where a
// test needs it, and the test sound output. What plays is what the copy holds at the
// positions the counter shows; a playback ahead of the decoder waits; a decoding that fails
// midway ends as choosing the input ended before, only later; choosing another input stops
// the decoding and removes its copy.

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <limits>
#include <mutex>
#include <thread>

#include "jobs/input_file.h"
#include "jobs/job_runner.h"
#include "render/disk_space.h"
#include "render/render.h"
#include "tests/test_support/cache_home.h"
#include "tests/test_support/command.h"
#include "tests/test_support/test_audio_out.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Holds the decoder on its own thread once it has written a number of blocks of the copy,
// until released.
class DecoderGate : public JobObserver {
  public:
    explicit DecoderGate(int blocks) : m_blocks(blocks) {}

    void Progress(double /*done*/) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (++m_seen == m_blocks) {
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
        }
    }
    bool WaitUntilHeld() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 30s, [this] { return m_seen >= m_blocks; });
    }
    void Release() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }
    int Seen() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

  private:
    const int m_blocks;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_seen = 0;
    bool m_released = false;
};

// An input whose decoder the gate holds; released before the input stops its decoding.
struct HeldInput {
    explicit HeldInput(int blocks) : gate(blocks) {}
    ~HeldInput() { gate.Release(); }
    void Start(const fs::path& path) { input = StartInput(path, disk, &gate); }

    DiskSpace disk;
    DecoderGate gate;
    InputFile input;
};

// A playback of an input on a thread of its own, once to the end of the data, in the
// original mode: the attenuated input, so every played byte tells where it came from.
struct Playback {
    Playback() {
        controls.settings.Change([&](ProcessingParameters& p) { p.mode = PlayMode::Original; });
        controls.play.Change([&](PlaySettings& p) { p.loopEnd = std::numeric_limits<int>::max(); });
    }
    ~Playback() {
        controls.stop.request_stop();
        Join();
    }
    void Start(const InputFile& input, JobObserver& told) {
        thread = std::thread([&] { result = runner.Play(input, controls, audio, told, true); });
    }
    void Start(const InputFile& input) { Start(input, observer); }
    void Join() {
        if (thread.joinable()) {
            thread.join();
        }
    }

    PlayControls controls;
    TestAudioOut audio;
    RecordingObserver observer;
    JobRunner runner;
    JobResult result;
    std::thread thread;
};

template <typename Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The sample data of a finished copy.
Bytes CopyData(const InputFile& input) {
    JobObserver quiet;
    EXPECT_TRUE(input.WaitForDecoding({}, quiet));
    const Bytes file = ReadFile(input.Reads());
    const std::vector<ByteRange> data = DataBodies(file);
    EXPECT_EQ(data.size(), 1u);
    return data.empty()
               ? Bytes{}
               : Bytes(file.begin() + static_cast<std::ptrdiff_t>(data[0].offset),
                       file.begin() + static_cast<std::ptrdiff_t>(data[0].offset + data[0].size));
}

// What the original mode plays of data from a byte on, to n bytes or the end.
Bytes Original(const Bytes& data, std::uint64_t from, std::uint64_t n = ~std::uint64_t{0}) {
    ProcessingParameters params;
    params.mode = PlayMode::Original;
    const auto begin =
        data.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(from, data.size()));
    const auto end = begin + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                 n, static_cast<std::uint64_t>(data.end() - begin)));
    return ProcessedBody(Bytes(begin, end), params);
}

std::vector<fs::path> CopiesIn(const fs::path& folder) {
    std::vector<fs::path> copies;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        copies.push_back(it->path());
    }
    return copies;
}

std::string Song(double seconds) {
    return "aevalsrc=0.4*sin(440*2*PI*t)+0.1*sin(97*2*PI*t)|0.3*sin(660*2*PI*t):s=44100:d=" +
           std::to_string(seconds);
}

TEST(InstantPlay, PlaysWhatTheCopyHoldsAndWaitsWhereItIsAheadOfTheDecoder) {
    constexpr int kHeldBlocks = 2;  // what the decoder has written while it is held
    const struct {
        const char* name;
        const char* file;
        int loopStart;
        int seekAfterFirstBlock;  // -1: none
        std::size_t blocksWhileHeld;
    } cases[] = {
        {"from the start, as far as it is decoded", "song.flac", 0, -1, kHeldBlocks},
        {"a seek beyond what is decoded", "song.flac", 0, 80, 1},
        {"a loop start beyond what is decoded", "song.mp3", 60, -1, 0},
        {"a seek within what is decoded, then on", "song.ogg", 0, 1, kHeldBlocks},
    };
    TempDir dir;
    const CacheHome cache(dir.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = EncodeWithFfmpeg(dir / c.file, Song(20));
        HeldInput held(kHeldBlocks);
        held.Start(path);
        ASSERT_TRUE(held.gate.WaitUntilHeld());
        // The positions count on the length the stream declares while the decoder runs.
        const std::uint64_t step = held.input.Length().dataBytes / kPositionSteps;
        ASSERT_GT(step, 0u);

        Playback play;
        play.controls.play.Change([&](PlaySettings& p) { p.loopStart = c.loopStart; });
        // Released as the counter leaves the first step, so that it stands.
        play.observer.onPosition = [&](int position) {
            if (position == 1 && c.seekAfterFirstBlock >= 0 && play.controls.seek == 0) {
                play.controls.play.Change(
                    [&](PlaySettings& p) { p.playPos = c.seekAfterFirstBlock; });
                play.controls.seek = 1;
            }
        };
        play.Start(held.input);
        ASSERT_TRUE(WaitUntil([&] { return play.audio.BlockSizes().size() >= c.blocksWhileHeld; }));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(play.audio.BlockSizes().size(), c.blocksWhileHeld) << "only what is decoded";
        EXPECT_TRUE(held.input.Decoding());
        if (c.seekAfterFirstBlock > 1 || c.loopStart > 0) {
            EXPECT_EQ(play.observer.LastPosition(), std::max(c.seekAfterFirstBlock, c.loopStart))
                << "the position it waits at shows";
        }
        held.gate.Release();
        play.Join();
        EXPECT_EQ(play.result, JobResult::Done);

        const Bytes data = CopyData(held.input);
        const std::uint64_t start = PositionBytes(c.loopStart, step);
        const Bytes expected =
            c.seekAfterFirstBlock < 0
                ? Original(data, start)
                : Concat({Original(data, 0, kBlockBytes),
                          Original(data, PositionBytes(c.seekAfterFirstBlock, step))});
        EXPECT_TRUE(play.audio.Played() == expected)
            << play.audio.Played().size() << " bytes played, " << expected.size() << " expected";
        EXPECT_TRUE(play.observer.Messages().empty());
    }
}

// A decoding that fails midway: the playback goes on as far as the decoder did, and the input
// ends as it would have when it was decoded first (a word about it, or a refusal).
TEST(InstantPlay, ADecodingThatFailsMidwayEndsThePlaybackAsItEndedTheChoice) {
    TempDir dir;
    const CacheHome cache(dir.Path());
    const fs::path whole = EncodeWithFfmpeg(dir / "whole.flac", Song(6), {"-ac", "2"});
    const Bytes all = ReadFile(whole);
    Bytes damaged = ReadFile(EncodeWithFfmpeg(dir / "whole.mp3", Song(6)));
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 3000; ++i) {
        damaged[i] = static_cast<std::uint8_t>(i * 131 % 251);
    }
    const struct {
        const char* name;
        const char* file;
        Bytes bytes;
        bool changes;  // the file grows while it is decoded
        JobResult result;
        std::string message;  // the start of the one message told
    } cases[] = {
        {"cut short", "cut.flac",
         Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2)), false,
         JobResult::Done, "decoded 3 s of the 6 s it declares"},
        {"damaged midway", "damaged.mp3", damaged, false, JobResult::Done,
         "decoded 6 s of the 6 s it declares; "},  // and how many damaged parts were skipped
        {"changed while decoded", "changed.flac", all, true, JobResult::Failed,
         "Error reading input wave file...\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / c.file;
        WriteFile(path, c.bytes);
        const fs::path unchanged = dir / (std::string("unchanged-") + c.file);
        WriteFile(unchanged, c.bytes);
        HeldInput held(1);
        held.Start(path);
        ASSERT_TRUE(held.gate.WaitUntilHeld());
        Playback play;
        // The decoder goes on once the first block plays.
        play.audio.onWrite = [&](std::size_t index) {
            if (index == 0) {
                if (c.changes) {
                    std::ofstream(path, std::ios::app) << "more";
                }
                held.gate.Release();
            }
        };
        WarnWhenDecoded told(held.input, play.observer);
        play.Start(held.input, told);
        play.Join();
        told.Check();
        EXPECT_EQ(play.result, c.result);
        const std::vector<std::string> messages = play.observer.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind(c.message, 0), 0u) << messages[0];

        DiskSpace disk;
        JobObserver quiet;
        const InputFile reference = PrepareInput(unchanged, {}, disk, quiet);
        const Bytes data = CopyData(reference);
        if (c.changes) {
            EXPECT_EQ(held.input.Refusal()->error, JobError::ReadInput);
            EXPECT_EQ(CopiesIn(dir / "zerbex2").size(), 1u) << "only the reference's copy";
            const Bytes played = play.audio.Played();
            EXPECT_GE(played.size(), kBlockBytes);
            EXPECT_TRUE(played == Original(data, 0, played.size())) << "what was decoded";
        } else {
            EXPECT_TRUE(play.audio.Played() == Original(data, 0));
        }
    }
}

// What the window does when the user chooses another input while one is decoded.
TEST(InstantPlay, ChoosingAnotherInputStopsTheDecodingAndRemovesItsCopy) {
    TempDir dir;
    const CacheHome cache(dir.Path());
    const fs::path first = EncodeWithFfmpeg(dir / "first.flac", Song(20));
    const fs::path second = EncodeWithFfmpeg(dir / "second.mp3", Song(1));
    HeldInput held(2);
    held.Start(first);
    ASSERT_TRUE(held.gate.WaitUntilHeld());
    const std::vector<fs::path> partial = CopiesIn(dir / "zerbex2");
    ASSERT_EQ(partial.size(), 1u);

    std::thread release([&] {
        std::this_thread::sleep_for(50ms);
        held.gate.Release();
    });
    held.input = StartInput(second, held.disk);
    release.join();
    EXPECT_FALSE(fs::exists(partial[0]));
    EXPECT_EQ(held.gate.Seen(), 2) << "the decoder stopped where it was";

    JobObserver quiet;
    ASSERT_TRUE(held.input.WaitForDecoding({}, quiet));
    EXPECT_EQ(CopiesIn(dir / "zerbex2"), std::vector<fs::path>{held.input.Reads()});
}

}  // namespace

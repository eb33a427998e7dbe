// PortAudio output for real, on ALSA file devices that capture what they play at a sound
// card's pace.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "playback/portaudio_out.h"
#include "tests/test_support/alsa_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Bytes that never look like silence, different for every block.
Bytes Block(std::size_t seed, std::size_t size) {
    Bytes block(size);
    for (std::size_t i = 0; i < size; ++i) {
        block[i] = static_cast<std::uint8_t>(1 + (i * 7 + seed * 31) % 251);
    }
    return block;
}

long BytesPerSecond(const AudioFormat& format) {
    return 2L * format.rate * format.channels;
}

std::size_t FrameBytes(const AudioFormat& format) {
    return 2U * format.channels;
}

class PortAudioOutTest : public ::testing::Test {
  protected:
    // Points ALSA at a configuration; the next PortAudioSystem made uses it.
    void UseAlsaConfig(const std::string& text) {
        const auto path = m_dir / "asound.conf";
        WriteFile(path, Bytes(text.begin(), text.end()));
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }

    void UsePacedDefault(const AudioFormat& format) {
        UseAlsaConfig(PacedFileDevice("!default", Capture(), BytesPerSecond(format)));
    }

    // Opens and lets the stream's first silence fill the pipe to paced_sink. Until paced_sink
    // has made that pipe small, it holds 64 KB, and takes more than half a second of sound at
    // once, as no sound card does.
    static ::testing::AssertionResult OpenSettled(PortAudioOut& out, const AudioFormat& format,
                                                  const std::string& device = {}) {
        if (!out.Open(format, device)) {
            return ::testing::AssertionFailure() << out.Error();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return ::testing::AssertionSuccess();
    }

    std::filesystem::path Capture() const { return m_dir / "default.wav"; }
    std::filesystem::path SecondCapture() const { return m_dir / "second.wav"; }

    // Writes blocks as the playback job does: waits for room, and stops at stopAt without
    // writing the block that waited. Returns the bytes written.
    static Bytes PlayBlocks(PortAudioOut& out, const std::vector<std::size_t>& sizes,
                            std::size_t stopAt = SIZE_MAX) {
        Bytes written;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            out.WaitForRoom();
            if (i == stopAt) {
                break;
            }
            const Bytes block = Block(i, sizes[i]);
            EXPECT_TRUE(out.Write(block.data(), block.size())) << out.Error();
            written.insert(written.end(), block.begin(), block.end());
        }
        return written;
    }

    TempDir m_dir;
};

// Blocks a few frames apart in size, and some whose ends fall inside a frame, so that none
// lines up with the device's periods.
TEST_F(PortAudioOutTest, BlocksPlayWholeInOrderAtTheFormatsOwnRateAndChannelCount) {
    const std::vector<std::size_t> sizes = {kBlockBytes, 17641,       30003, 9999,
                                            22050,       kBlockBytes, 12345, 26001};
    for (const AudioFormat format : {AudioFormat{44100, 2}, AudioFormat{48000, 1}}) {
        SCOPED_TRACE(std::to_string(format.channels) + " channels at " +
                     std::to_string(format.rate));
        UsePacedDefault(format);
        Bytes written;
        {
            PortAudioSystem system;
            PortAudioOut out(system);
            ASSERT_TRUE(OpenSettled(out, format));
            EXPECT_TRUE(out.IsOpen());
            EXPECT_GE(out.Latency(), 0.013) << "the suggested latency has a floor of 15 ms";
            written = PlayBlocks(out, sizes);
            out.Drain();
            out.Close();
            EXPECT_FALSE(out.IsOpen());
        }
        CapturedSound captured;
        ASSERT_TRUE(ReadCapture(Capture(), captured));
        EXPECT_EQ(captured.rate, format.rate);
        EXPECT_EQ(captured.channels, format.channels);
        EXPECT_EQ(captured.bits, 16);
        EXPECT_TRUE(PlayedExactly(captured.sound, written, FrameBytes(format)));
    }
}

// Stop: the block that waited for room is not written. With Drain the queued blocks are heard
// to their end; without it Close drops them, and only what had gone to the device plays.
TEST_F(PortAudioOutTest, CloseAfterDrainPlaysTheQueuedBlocksToTheirEndAndNothingAfter) {
    struct Case {
        std::size_t stopAt;
        bool drain;
    };
    const AudioFormat format;
    const std::vector<std::size_t> sizes(8, kBlockBytes);
    for (const Case c : {Case{1, true}, Case{3, true}, Case{3, false}}) {
        SCOPED_TRACE("stop at block " + std::to_string(c.stopAt) + (c.drain ? "" : ", no drain"));
        UsePacedDefault(format);
        Bytes written;
        {
            PortAudioSystem system;
            PortAudioOut out(system);
            ASSERT_TRUE(OpenSettled(out, format));
            written = PlayBlocks(out, sizes, c.stopAt);
            if (c.drain) {
                out.Drain();
            }
            out.Close();
        }
        CapturedSound captured;
        ASSERT_TRUE(ReadCapture(Capture(), captured));
        std::size_t heard = 0;
        EXPECT_TRUE(PlayedPrefix(captured.sound, written, FrameBytes(format), heard));
        if (c.drain) {
            EXPECT_EQ(heard, written.size());
        } else {
            EXPECT_LT(heard, written.size()) << "Close played the queued blocks";
        }
    }
}

// The window aborts from its own thread while the job's thread waits; the wait ends at once,
// nothing queued is played, and Write fails from then on.
TEST_F(PortAudioOutTest, AbortEndsEveryWaitAtOnce) {
    struct Case {
        const char* waiter;
        std::function<bool(PortAudioOut&)> wait;  // what the job's thread does until woken
    };
    const Bytes block = Block(1, kBlockBytes);
    const auto writeOn = [&block](PortAudioOut& out) {
        for (int i = 0; i < 40; ++i) {
            if (!out.Write(block.data(), block.size())) {
                return true;
            }
        }
        return false;
    };
    const auto writeTwoThen = [&block](const std::function<void(PortAudioOut&)>& wait) {
        return [&block, wait](PortAudioOut& out) {
            const bool queued =
                out.Write(block.data(), block.size()) && out.Write(block.data(), block.size());
            wait(out);
            return queued;
        };
    };
    const Case cases[] = {
        {"Write", writeOn},
        {"WaitForRoom", writeTwoThen([](PortAudioOut& out) { out.WaitForRoom(); })},
        {"Drain", writeTwoThen([](PortAudioOut& out) { out.Drain(); })},
    };
    const AudioFormat format;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.waiter);
        UsePacedDefault(format);
        {
            PortAudioSystem system;
            PortAudioOut out(system);
            ASSERT_TRUE(OpenSettled(out, format));
            auto job = std::async(std::launch::async, [&] {
                const bool ok = c.wait(out);
                return std::make_pair(ok, Clock::now());
            });
            // Long enough for two blocks to be queued and the job's thread to wait.
            ASSERT_EQ(job.wait_for(std::chrono::milliseconds(150)), std::future_status::timeout);
            const auto aborted = Clock::now();
            out.Abort();
            EXPECT_LT(Seconds(Clock::now() - aborted).count(), 0.2) << "Abort itself";
            ASSERT_EQ(job.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            const auto [ok, woken] = job.get();
            EXPECT_TRUE(ok);
            EXPECT_LT(Seconds(woken - aborted).count(), 0.2) << "the job's thread woke late";
            EXPECT_FALSE(out.IsOpen());
            EXPECT_FALSE(out.Write(block.data(), block.size()));
            EXPECT_EQ(out.Error(), "Playback was aborted.");
            // No play-out, and the device's own closing is left for later.
            out.Close();
            EXPECT_TRUE(out.HoldsAbortedStream());
        }
        CapturedSound captured;
        ASSERT_TRUE(ReadCapture(Capture(), captured));
        Bytes queued = block;
        queued.insert(queued.end(), block.begin(), block.end());
        std::size_t heard = 0;
        EXPECT_TRUE(PlayedPrefix(captured.sound, queued, FrameBytes(format), heard));
        EXPECT_LT(heard, queued.size()) << "the queued blocks were played after Abort";
    }
}

// The stream an Abort left is closed by the next Open, which plays on the same device as if
// nothing had been aborted.
TEST_F(PortAudioOutTest, TheNextOpenClosesTheAbortedStreamAndPlays) {
    const AudioFormat format;
    UsePacedDefault(format);
    Bytes written;
    {
        PortAudioSystem system;
        PortAudioOut out(system);
        ASSERT_TRUE(OpenSettled(out, format));
        PlayBlocks(out, {kBlockBytes, kBlockBytes});
        out.Abort();
        out.Close();
        ASSERT_TRUE(out.HoldsAbortedStream());
        // The aborted stream's capture is complete before the new stream starts its own.
        ASSERT_TRUE(OpenSettled(out, format));
        EXPECT_FALSE(out.HoldsAbortedStream());
        written = PlayBlocks(out, {11025, 22050});
        out.Drain();
        out.Close();
        EXPECT_FALSE(out.HoldsAbortedStream());
    }
    CapturedSound captured;
    ASSERT_TRUE(ReadCapture(Capture(), captured));
    EXPECT_TRUE(PlayedExactly(captured.sound, written, FrameBytes(format)));
}

// A device whose reader goes away, as an unplugged one: the stream ends on its own, and the
// writer learns of it instead of waiting for room that never comes.
TEST_F(PortAudioOutTest, ADeviceThatStopsWorkingFailsTheWriterWithoutHanging) {
    // The broken pipe is the device's error here, not the end of the test.
    std::signal(SIGPIPE, SIG_IGN);
    // A second and a half of sound is taken at a sound card's pace, then nothing.
    UseAlsaConfig(std::string("pcm.!default {\n"
                              "  type file\n"
                              "  slave { pcm { type null } }\n"
                              "  file \"|") +
                  ZERBEX_PACED_SINK + " /dev/stdout 176400 | head -c 264600 >/dev/null\"\n" +
                  "  format \"raw\"\n"
                  "}\n");
    PortAudioSystem system;
    PortAudioOut out(system);
    ASSERT_TRUE(out.Open(AudioFormat{})) << out.Error();
    auto job = std::async(std::launch::async, [&out] {
        const Bytes block = Block(1, kBlockBytes);
        int written = 0;
        while (written < 100 && out.Write(block.data(), block.size())) {
            ++written;
        }
        out.Drain();
        return written;
    });
    if (job.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        out.Abort();
        FAIL() << "the writer still waits for the device";
    }
    const int written = job.get();
    EXPECT_GE(written, 3) << "the device stopped before the writer had to wait for room";
    EXPECT_LT(written, 100);
    EXPECT_EQ(out.Error(), "The sound device stopped working.");
    out.Close();
    EXPECT_FALSE(out.IsOpen());
}

TEST_F(PortAudioOutTest, OpenFailuresSayWhyWithoutHanging) {
    struct Case {
        const char* what;
        bool soundCard;
        std::string device;
        AudioFormat format;
        std::string error;
    };
    const Case cases[] = {
        {"no sound card", false, "", {}, "Device unavailable"},
        {"unknown name", true, "no_such_pcm", {}, "no such sound device: no_such_pcm"},
        {"unknown index", true, "999", {}, "no such sound device: 999"},
        {"index beyond int", true, "99999999999", {}, "no such sound device: 99999999999"},
        {"no channels", true, "", {44100, 0}, "Invalid number of channels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseAlsaConfig(c.soundCard ? PacedFileDevice("!default", Capture(), 176400)
                                  : MissingCardConfig());
        PortAudioSystem system;
        EXPECT_EQ(system.InitError(), "");
        PortAudioOut out(system);
        EXPECT_FALSE(out.Open(c.format, c.device));
        EXPECT_FALSE(out.IsOpen());
        EXPECT_EQ(out.Error(), c.error);
        const Bytes block = Block(1, 4410);
        EXPECT_FALSE(out.Write(block.data(), block.size()));
        EXPECT_EQ(out.Error(), "The sound device is not open.");
        if (!c.soundCard) {
            for (const AudioDevice& device : system.Devices()) {
                EXPECT_FALSE(device.isDefault) << device.name;
            }
        }
    }
}

// PortAudio's ALSA host lists the PCMs the configuration defines by their names, beside the
// cards it finds; "default" is the default device.
TEST_F(PortAudioOutTest, ADeviceChosenByNameOrIndexPlaysThereAlone) {
    const AudioFormat format;
    const auto config = [this, &format] {
        return PacedFileDevice("!default", Capture(), BytesPerSecond(format)) +
               PacedFileDevice("zerbex_second", SecondCapture(), BytesPerSecond(format));
    };
    UseAlsaConfig(config());
    int defaultIndex = -1;
    int secondIndex = -1;
    {
        PortAudioSystem system;
        for (const AudioDevice& device : system.Devices()) {
            if (device.name == "default") {
                defaultIndex = device.index;
                EXPECT_TRUE(device.isDefault);
                EXPECT_EQ(device.hostApi, "ALSA");
            } else if (device.name == "zerbex_second") {
                secondIndex = device.index;
                EXPECT_FALSE(device.isDefault);
            }
        }
    }
    ASSERT_GE(defaultIndex, 0);
    ASSERT_GE(secondIndex, 0);

    struct Case {
        std::string device;
        bool second;
    };
    const Case cases[] = {
        {"zerbex_second", true},
        {std::to_string(secondIndex), true},
        {"second", true},
        {"", false},
        {std::to_string(defaultIndex), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("device \"" + c.device + "\"");
        std::filesystem::remove(Capture());
        std::filesystem::remove(SecondCapture());
        UseAlsaConfig(config());
        Bytes written;
        {
            PortAudioSystem system;
            PortAudioOut out(system);
            ASSERT_TRUE(OpenSettled(out, format, c.device));
            written = PlayBlocks(out, {11025, 11025});
            out.Drain();
            out.Close();
        }
        CapturedSound captured;
        ASSERT_TRUE(ReadCapture(c.second ? SecondCapture() : Capture(), captured));
        EXPECT_TRUE(PlayedExactly(captured.sound, written, FrameBytes(format)));
        EXPECT_FALSE(HeardAnything(c.second ? Capture() : SecondCapture()));
    }
}

}  // namespace

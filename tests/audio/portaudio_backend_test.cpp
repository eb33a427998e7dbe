// The PortAudio output system for real, on an ALSA device that captures what it plays.

#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/alsa_capture.h"
#include "audio/completion_log.h"
#include "fake_window.h"
#include "job_runner.h"
#include "portaudio_backend.h"
#include "wave_device.h"
#include "wave_job.h"

namespace {

constexpr long kRealTime = 44100 * 4;  // bytes per second of 16-bit stereo at 44.1 kHz

class PortAudioBackendTest : public ::testing::Test {
  protected:
    void SetUp() override { CompletionLog::Instance().Clear(); }

    // Points ALSA at a configuration; the next backend made uses it.
    void UseAlsaConfig(const std::string& text) {
        const auto path = m_dir / "asound.conf";
        WriteFile(path, Bytes(text.begin(), text.end()));
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }

    void UsePacedDevice(long bytesPerSecond) {
        UseAlsaConfig(PacedFileDeviceConfig(Capture(), bytesPerSecond));
    }

    std::filesystem::path Capture() const { return m_dir / "capture.raw"; }

    TempDir m_dir;
    const WaveFormat m_format = StereoFormat();
};

TEST_F(PortAudioBackendTest, BuffersCompleteOnceInOrderAndPlayWhole) {
    UsePacedDevice(kRealTime);
    Bytes played;
    {
        PortAudioBackend backend;
        WaveOutDevice device(backend);
        ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0),
                  MMSYSERR_NOERROR);
        // Blocks of about 100 ms, each a few frames longer than the last, so that none
        // lines up with the device's periods; long enough that a writer slowed down by a
        // sanitizer still queues the next before the device needs it.
        constexpr std::uint32_t kBlocks = 12;
        for (std::uint32_t i = 0; i < kBlocks; ++i) {
            const auto block = NumberedBlock(i + 1, 17640 + 4 * i);
            played.insert(played.end(), block.begin(), block.end());
            ASSERT_EQ(device.Write(static_cast<std::uint32_t>(block.size()), block.data()),
                      MMSYSERR_NOERROR);
        }
        const auto finished = CompletionLog::Instance().WaitFor(kBlocks);
        ASSERT_EQ(finished.size(), kBlocks);
        for (std::uint32_t i = 0; i < kBlocks; ++i) {
            EXPECT_EQ(finished[i].id, i + 1);
            EXPECT_TRUE(finished[i].doneFlag);
        }
        EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), played));
}

TEST_F(PortAudioBackendTest, ResetReturnsEveryQueuedBufferWithoutPlayingIt) {
    UsePacedDevice(kRealTime);
    PortAudioBackend backend;
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    constexpr std::uint32_t kBlocks = 10;  // 2.5 seconds
    for (std::uint32_t i = 0; i < kBlocks; ++i) {
        const auto block = NumberedBlock(i + 1, 44100);
        ASSERT_EQ(device.Write(44100, block.data()), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device.Reset(), MMSYSERR_NOERROR);
    const auto finished = CompletionLog::Instance().WaitFor(kBlocks);
    ASSERT_EQ(finished.size(), kBlocks);
    for (std::uint32_t i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(finished[i].id, i + 1);
    }

    // Still open and playing after a reset.
    const auto more = NumberedBlock(99, 4410);
    ASSERT_EQ(device.Write(4410, more.data()), MMSYSERR_NOERROR);
    ASSERT_EQ(CompletionLog::Instance().WaitFor(kBlocks + 1).size(), kBlocks + 1);
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);

    const Bytes capture = ReadFile(Capture());
    const auto sounding = std::count_if(capture.begin(), capture.end(), [](auto b) { return b; });
    EXPECT_LT(sounding, kBlocks * 44100 / 2) << "the reset buffers were played";
}

TEST_F(PortAudioBackendTest, CloseIsRefusedWhileBuffersAreQueued) {
    UsePacedDevice(kRealTime);
    PortAudioBackend backend;
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    for (std::uint32_t i = 0; i < 4; ++i) {
        const auto block = NumberedBlock(i, 44100);
        ASSERT_EQ(device.Write(44100, block.data()), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device.Close(), WAVERR_STILLPLAYING);
    EXPECT_TRUE(device.IsOpen());
    ASSERT_EQ(CompletionLog::Instance().WaitFor(4).size(), 4u);
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(PortAudioBackendTest, UnplayableFormatsFailWithPortAudiosText) {
    UsePacedDevice(8 * kRealTime);
    PortAudioBackend backend;
    WaveOutDevice device(backend);
    const WaveFormat twelveBit{kWaveFormatPcm, 2, 44100, 44100 * 4, 4, 12};
    const WaveFormat floats{3, 2, 44100, 44100 * 8, 8, 32};
    const WaveFormat noChannels{kWaveFormatPcm, 0, 44100, 0, 0, 16};
    for (const WaveFormat& format : {twelveBit, floats, noChannels}) {
        EXPECT_EQ(device.Open(WAVE_MAPPER, &format, &CompletionLog::Callback, 0), WAVERR_BADFORMAT);
        EXPECT_FALSE(device.IsOpen());
        char text[256] = {};
        EXPECT_EQ(device.GetErrorText(WAVERR_BADFORMAT, text, sizeof text), MMSYSERR_NOERROR);
        EXPECT_STREQ(text, "Sample format not supported");
    }
}

TEST_F(PortAudioBackendTest, OpensAtTheFilesOwnRateAndChannelCount) {
    UsePacedDevice(8 * kRealTime);
    PortAudioBackend backend;
    const WaveFormat formats[] = {
        StereoFormat(48000),
        {kWaveFormatExtensible, 2, 96000, 96000 * 4, 4, 16},
        {kWaveFormatPcm, 1, 22050, 22050, 1, 8},
        {kWaveFormatPcm, 6, 48000, 48000 * 18, 18, 24},
    };
    for (const WaveFormat& format : formats) {
        WaveOutDevice device(backend);
        EXPECT_EQ(device.Open(WAVE_MAPPER, &format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR)
            << format.nChannels << " channels at " << format.nSamplesPerSec;
        EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
    }
}

TEST_F(PortAudioBackendTest, NoSoundCardMakesOpenFailWithPortAudiosText) {
    UseAlsaConfig(MissingCardConfig());
    PortAudioBackend backend;
    WaveOutDevice device(backend);
    const MMRESULT result = device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0);
    EXPECT_NE(result, MMSYSERR_NOERROR);
    EXPECT_FALSE(device.IsOpen());
    char text[256] = {};
    device.GetErrorText(result, text, sizeof text);
    EXPECT_STREQ(text, "Device unavailable");
}

// The stream driver's completion callback waits for the driver's acknowledgement: the
// whole job runs against the real device, and a stop with two blocks queued still plays
// both to the end before the device closes.
TEST_F(PortAudioBackendTest, StoppedPlaybackJobPlaysItsQueuedBlocksToTheEnd) {
    UsePacedDevice(kRealTime);
    const Bytes input = SimpleWav(TestSignal(2 * 44100));
    const auto inputPath = m_dir / "in.wav";
    WriteFile(inputPath, input);

    FakeWindow window;
    constexpr int kBlocksBeforeStop = 3;
    window.onPlayPos = [&window](int pos) {
        if (pos == kBlocksBeforeStop) {
            window.State().m_bStopRequest = 1;
        }
    };
    {
        PortAudioBackend backend;
        JobContext context{window, &backend};
        EXPECT_EQ(ProcessWaveFile(context, inputPath.c_str(), nullptr, 1), JobResult::Done);
    }
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_EQ(window.ResetCount(), 1);
    const Bytes body(input.begin() + 44, input.begin() + 44 + kBlocksBeforeStop * 44100);
    EXPECT_TRUE(PlayedExactly(ReadFile(Capture()), ProcessedBody(body, window.State())));
}

}  // namespace

// The device wrapper over a test output system: buffers, completions, and what it asks
// of the output system when.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "audio/completion_log.h"
#include "test_audio_backend.h"
#include "wave_device.h"

namespace {

// Counts every call and answers with configurable results; queues nothing.
class CountingBackend : public WaveOutBackend {
  public:
    MMRESULT Open(HWAVEOUT* device, unsigned, const WaveFormat*, std::uintptr_t, std::uintptr_t,
                  std::uint32_t) override {
        ++calls;
        *device = 0x51;  // written even when failing, as some systems do
        return openResult;
    }
    MMRESULT PrepareHeader(HWAVEOUT, WAVEHDR*, unsigned) override { return ++calls, 0; }
    MMRESULT UnprepareHeader(HWAVEOUT, WAVEHDR*, unsigned) override { return ++calls, 0; }
    MMRESULT Write(HWAVEOUT, WAVEHDR*, unsigned) override { return ++calls, 0; }
    MMRESULT Reset(HWAVEOUT) override { return ++calls, 0; }
    MMRESULT Close(HWAVEOUT) override {
        ++calls;
        ++closes;
        return closeResult;
    }
    MMRESULT GetErrorText(MMRESULT, char*, unsigned) override { return ++calls, 0; }

    int calls = 0;
    int closes = 0;
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT closeResult = MMSYSERR_NOERROR;
};

class WaveOutDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override { CompletionLog::Instance().Clear(); }
    const WaveFormat m_format = StereoFormat();
};

TEST_F(WaveOutDeviceTest, EachBufferCompletesOnceInTheOrderWritten) {
    TestAudioBackend backend(std::chrono::milliseconds(2));
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    constexpr std::uint32_t kBlocks = 24;
    for (std::uint32_t i = 0; i < kBlocks; ++i) {
        const auto block = NumberedBlock(i, 4000 + 4 * i);
        ASSERT_EQ(device.Write(static_cast<std::uint32_t>(block.size()), block.data()),
                  MMSYSERR_NOERROR);
    }
    const auto finished = CompletionLog::Instance().WaitFor(kBlocks);
    ASSERT_EQ(finished.size(), kBlocks);
    for (std::uint32_t i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(finished[i].id, i);
        EXPECT_EQ(finished[i].length, 4000 + 4 * i);
        EXPECT_TRUE(finished[i].doneFlag);
    }
    EXPECT_EQ(backend.Completions(), kBlocks);
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(WaveOutDeviceTest, WriteCopiesTheDataSoTheCallersBufferIsFreeAtOnce) {
    TestAudioBackend backend;
    backend.holdCompletions = true;
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    auto block = NumberedBlock(7, 64);
    const auto original = block;
    ASSERT_EQ(device.Write(64, block.data()), MMSYSERR_NOERROR);
    std::fill(block.begin(), block.end(), 0);
    backend.ReleaseHeld();
    ASSERT_EQ(CompletionLog::Instance().WaitFor(1).size(), 1u);
    EXPECT_EQ(backend.Played(), original);
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveOutDeviceTest, WriteWithoutDataQueuesABufferWithNothingRecorded) {
    TestAudioBackend backend;
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(device.Write(1000, nullptr), MMSYSERR_NOERROR);
    const auto finished = CompletionLog::Instance().WaitFor(1);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].length, 1000u);
    EXPECT_EQ(finished[0].bytesRecorded, 0u);
    EXPECT_EQ(backend.BlockSizes(), std::vector<std::size_t>{1000});
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveOutDeviceTest, ResetReturnsEveryQueuedBuffer) {
    TestAudioBackend backend;
    backend.holdCompletions = true;
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    for (std::uint32_t i = 0; i < 5; ++i) {
        const auto block = NumberedBlock(i, 400);
        ASSERT_EQ(device.Write(400, block.data()), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device.Close(), WAVERR_STILLPLAYING);
    EXPECT_EQ(device.Reset(), MMSYSERR_NOERROR);
    const auto finished = CompletionLog::Instance().WaitFor(5);
    ASSERT_EQ(finished.size(), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(finished[i].id, i);
    }
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveOutDeviceTest, ANeverOpenedDeviceCallsNothingAndQueuesNothing) {
    CountingBackend backend;
    {
        WaveOutDevice device(backend);
        EXPECT_FALSE(device.IsOpen());
        const auto block = NumberedBlock(1, 16);
        // Accepting a buffer that nothing will ever complete would leave the caller waiting.
        EXPECT_EQ(device.Write(16, block.data()), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(device.WriteHeader(nullptr, kWaveHdrSize), MMSYSERR_NOERROR);
        EXPECT_EQ(device.UnprepareHeader(nullptr, kWaveHdrSize), MMSYSERR_NOERROR);
        EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(backend.calls, 0);
}

TEST_F(WaveOutDeviceTest, AFailedOpenLeavesTheDeviceClosed) {
    CountingBackend backend;
    backend.openResult = MMSYSERR_NODRIVER;
    {
        WaveOutDevice device(backend);
        EXPECT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0),
                  MMSYSERR_NODRIVER);
        EXPECT_FALSE(device.IsOpen());
    }
    EXPECT_EQ(backend.closes, 0);
}

TEST_F(WaveOutDeviceTest, ARefusedCloseKeepsTheHandleAndTheDestructorTriesAgain) {
    CountingBackend backend;
    {
        WaveOutDevice device(backend);
        ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0),
                  MMSYSERR_NOERROR);
        backend.closeResult = WAVERR_STILLPLAYING;
        EXPECT_EQ(device.Close(), WAVERR_STILLPLAYING);
        EXPECT_TRUE(device.IsOpen());
        backend.closeResult = MMSYSERR_NOERROR;
    }
    EXPECT_EQ(backend.closes, 2);
}

TEST_F(WaveOutDeviceTest, ARefusedBufferIsFreedAndReportedWithTheDevicesText) {
    TestAudioBackend backend;
    backend.writeResult = MMSYSERR_NOMEM;
    WaveOutDevice device(backend);
    ASSERT_EQ(device.Open(WAVE_MAPPER, &m_format, &CompletionLog::Callback, 0), MMSYSERR_NOERROR);
    const auto block = NumberedBlock(3, 128);
    EXPECT_EQ(device.Write(128, block.data()), MMSYSERR_NOMEM);  // LeakSanitizer sees the rest
    char text[256] = {};
    EXPECT_EQ(device.GetErrorText(MMSYSERR_NOMEM, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_STREQ(text, "test device error 7");
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
}

TEST_F(WaveOutDeviceTest, TheBaseDeviceCountsAsOpenWithoutAnyOutput) {
    WaveDevice device;
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Open(WAVE_MAPPER, &m_format), MMSYSERR_NOERROR);
    EXPECT_TRUE(device.IsOpen());
    char text[8] = {};
    EXPECT_EQ(device.GetErrorText(MMSYSERR_ERROR, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_STREQ(text, "error");
    EXPECT_EQ(device.Close(), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.IsOpen());
}

}  // namespace

// An input that is deleted or cut short while a job reads it. Deleting an open file
// leaves its bytes readable, so the job completes; a file that changes under a write
// job must not produce an output that passes for a processed copy of it.

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_window.h"
#include "parameters.h"
#include "test_audio_backend.h"
#include "wav_builder.h"
#include "wave_job.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrames = 200000;  // about 18 blocks
const Bytes kKeep = {'o', 'l', 'd'};

class ChangingInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_input = ValidInput();
        WriteFile(m_in, m_input);
    }

    static Bytes ValidInput() { return SimpleWav(TestSignal(kFrames, 3)); }

    // Runs a write job that calls change() once, at its second play-position move.
    JobResult WriteWhile(const std::function<void()>& change, FakeWindow& window) {
        int moves = 0;
        window.onPlayPos = [&](int) {
            if (++moves == 2) {
                change();
            }
        };
        UpdateDerivedParameters(window.State());
        JobContext context{window};
        return ProcessWaveFile(context, m_in.c_str(), m_out.c_str(), 0);
    }

    TempDir m_dir;
    fs::path m_in = m_dir / "in.wav";
    fs::path m_out = m_dir / "out.wav";
    Bytes m_input;
};

TEST_F(ChangingInputTest, InputDeletedWhileWrittenIsWrittenWhole) {
    FakeWindow window;
    ASSERT_EQ(WriteWhile([&] { fs::remove(m_in); }, window), JobResult::Done);

    const fs::path copy = m_dir / "copy.wav";
    WriteFile(copy, m_input);
    const fs::path reference = m_dir / "reference.wav";
    FakeWindow referenceWindow;
    UpdateDerivedParameters(referenceWindow.State());
    JobContext context{referenceWindow};
    ASSERT_EQ(ProcessWaveFile(context, copy.c_str(), reference.c_str(), 0), JobResult::Done);
    EXPECT_EQ(ReadFile(m_out), ReadFile(reference));
}

TEST_F(ChangingInputTest, InputCutShortWhileWrittenFailsAndKeepsTheOldOutput) {
    WriteFile(m_out, kKeep);
    FakeWindow window;
    const JobResult result = WriteWhile([&] { fs::resize_file(m_in, m_input.size() / 2); }, window);
    EXPECT_EQ(result, JobResult::Failed);
    ASSERT_FALSE(window.Messages().empty());
    EXPECT_EQ(window.Messages().back(), kMsgReadError);
    EXPECT_EQ(ReadFile(m_out), kKeep);
    for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

TEST_F(ChangingInputTest, InputGrownWhileWrittenFailsToo) {
    FakeWindow window;
    const JobResult result = WriteWhile(
        [&] {
            std::FILE* f = std::fopen(m_in.c_str(), "ab");
            ASSERT_NE(f, nullptr);
            std::fputs("appended", f);
            std::fclose(f);
        },
        window);
    EXPECT_EQ(result, JobResult::Failed);
    EXPECT_FALSE(fs::exists(m_out));
}

// A playback job over a file that is cut short or deleted while it plays ends when the
// data runs out or when told to, and closes its device. The file is larger than the
// job's read buffer, so the cut is seen.
TEST_F(ChangingInputTest, InputChangedWhilePlayingPlaysWhatIsThere) {
    constexpr std::size_t kBlock = 44100;
    constexpr std::size_t kStopAfter = 40;
    const Bytes big = SimpleWav(TestSignal(750000, 5));  // 68 blocks
    for (const bool deleteIt : {false, true}) {
        SCOPED_TRACE(deleteIt ? "deleted" : "cut short");
        WriteFile(m_in, big);
        FakeWindow window;
        WindowState& state = window.State();
        UpdateDerivedParameters(state);
        TestAudioBackend backend;
        backend.onWrite = [&](std::size_t block) {
            if (block == 1) {
                if (deleteIt) {
                    fs::remove(m_in);
                } else {
                    fs::resize_file(m_in, 3 * kBlock);
                }
            }
            if (block + 1 >= kStopAfter) {
                state.m_bStopRequest = 1;
            }
        };
        JobContext context{window, &backend};
        EXPECT_EQ(ProcessWaveFile(context, m_in.c_str(), nullptr, 1), JobResult::Done);
        EXPECT_EQ(backend.Opens(), backend.Closes());
        EXPECT_EQ(backend.Completions(), backend.BlockSizes().size());
        const std::size_t played = backend.Played().size();
        if (deleteIt) {
            EXPECT_EQ(played, kStopAfter * kBlock);
        } else {
            EXPECT_LT(played, kStopAfter * kBlock) << "the data should have run out";
            EXPECT_FALSE(state.m_bNoRestart);
        }
    }
}

}  // namespace

// An input that is deleted, cut short or grown while a job reads it: a file that changes
// under a write job must not produce an output that passes for a processed copy of it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "fake_window.h"
#include "job_runner.h"
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

// Deleting an open file leaves its bytes readable, so the job completes; a file cut short
// or grown under a write job fails it and keeps the old output.
TEST_F(ChangingInputTest, InputChangedWhileWrittenIsWrittenWholeOrNotAtAll) {
    const Bytes expected = ExpectedWrite(m_input, WindowState{});
    struct Case {
        const char* name;
        std::function<void()> change;
        JobResult result;
    };
    const Case cases[] = {
        {"deleted", [&] { fs::remove(m_in); }, JobResult::Done},
        {"cut short", [&] { fs::resize_file(m_in, m_input.size() / 2); }, JobResult::Failed},
        {"grown",
         [&] {
             std::FILE* f = std::fopen(m_in.c_str(), "ab");
             ASSERT_NE(f, nullptr);
             std::fputs("appended", f);
             std::fclose(f);
         },
         JobResult::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(m_in, m_input);
        WriteFile(m_out, kKeep);
        FakeWindow window;
        ASSERT_EQ(WriteWhile(c.change, window), c.result);
        if (c.result == JobResult::Failed) {
            ASSERT_FALSE(window.Messages().empty());
            EXPECT_EQ(window.Messages().back(), kMsgReadError);
        }
        EXPECT_TRUE(ReadFile(m_out) == (c.result == JobResult::Done ? expected : kKeep));
        for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
            EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
        }
    }
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

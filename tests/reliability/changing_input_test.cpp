// An input that is deleted, cut short or grown while a job reads it: a file that changes
// under a write job must not produce an output that passes for a processed copy of it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "jobs/job_runner.h"
#include "settings/job_messages.h"
#include "tests/test_support/test_audio_out.h"
#include "tests/test_support/wav_builder.h"
#include "tests/test_support/write_helpers.h"

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

    // Runs a write job that calls change() once, at its second play-position move: after its
    // first block was written.
    JobResult WriteWhile(const std::function<void()>& change, bool ioThreads,
                         RecordingObserver& observer) {
        int moves = 0;
        observer.onPosition = [&](int) {
            if (++moves == 2) {
                change();
            }
        };
        WriteRequest request;
        request.input = m_in;
        request.output = m_out;
        request.params = &m_params;
        request.ioThreads = ioThreads;
        return JobRunner().Write(request, observer);
    }

    TempDir m_dir;
    fs::path m_in = m_dir / "in.wav";
    fs::path m_out = m_dir / "out.wav";
    Bytes m_input;
    ProcessingParameters m_params;  // the start-up positions, mode 2
};

// Deleting an open file leaves its bytes readable, so the job completes; a file cut short
// or grown under a write job fails it and keeps the old output. The same whether the job
// reads ahead on a thread of its own or not.
TEST_F(ChangingInputTest, InputChangedWhileWrittenIsWrittenWholeOrNotAtAll) {
    const Bytes expected = ExpectedWrite(m_input, m_params);
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
             ASSERT_EQ(std::fclose(f), 0);
         },
         JobResult::Failed},
    };
    for (const bool ioThreads : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (ioThreads ? ", reading ahead" : ""));
            WriteFile(m_in, m_input);
            WriteFile(m_out, kKeep);
            RecordingObserver observer;
            ASSERT_EQ(WriteWhile(c.change, ioThreads, observer), c.result);
            if (c.result == JobResult::Failed) {
                ASSERT_FALSE(observer.Messages().empty());
                EXPECT_EQ(observer.Messages().back(), MessageText({JobError::ReadInput}));
            }
            EXPECT_TRUE(ReadFile(m_out) == (c.result == JobResult::Done ? expected : kKeep));
            for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
                EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
            }
        }
    }
}

// A playback job over a file that is cut short or deleted while it plays ends when the
// data runs out (done, so a player starts it again) or when told to (stopped), and closes
// its device. The file is larger than the job's read buffer, so the cut is seen.
TEST_F(ChangingInputTest, InputChangedWhilePlayingPlaysWhatIsThere) {
    constexpr std::size_t kBlock = 44100;
    constexpr std::size_t kStopAfter = 40;
    const Bytes big = SimpleWav(TestSignal(750000, 5));  // 68 blocks
    for (const bool deleteIt : {false, true}) {
        SCOPED_TRACE(deleteIt ? "deleted" : "cut short");
        WriteFile(m_in, big);
        PlayControls controls;
        TestAudioOut out;
        out.onWrite = [&](std::size_t block) {
            if (block == 1) {
                if (deleteIt) {
                    fs::remove(m_in);
                } else {
                    fs::resize_file(m_in, 3 * kBlock);
                }
            }
            if (block + 1 >= kStopAfter) {
                controls.stop.request_stop();
            }
        };
        RecordingObserver observer;
        const JobResult played = JobRunner().Play(InputFile(m_in), controls, out, observer);
        EXPECT_EQ(played, deleteIt ? JobResult::Stopped : JobResult::Done);
        EXPECT_TRUE(observer.Messages().empty());
        EXPECT_EQ(out.Opens(), out.Closes());
        EXPECT_EQ(out.Completions(), out.BlockSizes().size());
        EXPECT_EQ(played.bytesPlayed, out.Played().size());
        if (deleteIt) {
            EXPECT_EQ(played.bytesPlayed, kStopAfter * kBlock);
        } else {
            EXPECT_LT(played.bytesPlayed, kStopAfter * kBlock) << "the data should have run out";
        }
    }
}

}  // namespace

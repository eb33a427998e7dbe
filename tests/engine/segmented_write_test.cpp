// Write jobs in segments on two threads against the same jobs run sequentially: the same
// output file and the same window calls in the same order (messages, trackbar moves,
// meter images).

#include <gtest/gtest.h>

#include <string>

#include "fake_window.h"
#include "render_pool.h"
#include "wav_builder.h"
#include "wave_job.h"

namespace {

struct JobRun {
    JobResult result;
    Bytes output;
    std::vector<std::string> messages;
    std::vector<int> moves;
    std::vector<int> meters;
};

void SlowestFilters(FakeWindow& window) {
    window.State().m_nLowSlider = 0;
    UpdateDerivedParameters(window.State());
}

JobRun Write(const Bytes& file, RenderPool* pool, std::size_t segments,
             const SegmentSettings& settings) {
    TempDir dir;
    WriteFile(dir / "in.wav", file);
    FakeWindow window;
    SlowestFilters(window);
    JobContext context{window};
    context.pool = pool;
    context.segments = segments;
    context.segmentSettings = settings;
    JobRun run;
    run.result = ProcessWaveFile(context, (dir / "in.wav").c_str(), (dir / "out.wav").c_str(), 0);
    run.output = ReadFile(dir / "out.wav");
    run.messages = window.Messages();
    for (const FakeWindow::TrackbarMove& m : window.Moves()) {
        run.moves.push_back(static_cast<int>(m.trackbar) * 1000 + m.pos);
    }
    run.meters = window.Meters();
    return run;
}

struct FileCase {
    const char* name;
    std::size_t frames;
    std::size_t extraBytes;  // after the last whole frame, inside the data chunk
    bool silentMiddle;
};

const FileCase kFiles[] = {
    {"sound", 300000, 0, false},
    {"partial frame at the end", 250001, 2, false},
    {"silence at the boundaries", 300000, 0, true},
    {"short last block", 11025 * 20 + 17, 0, false},
};

Bytes FileFor(const FileCase& c) {
    std::vector<std::int16_t> samples = TestSignal(c.frames, 9);
    if (c.silentMiddle) {
        std::fill(samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 3), samples.end(),
                  0);
    }
    Bytes data = Samples(samples);
    data.resize(data.size() + c.extraBytes, 0x5a);
    return Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", data),
                 Chunk("note", Bytes{'a', 'f', 't', 'e', 'r'})});
}

TEST(SegmentedWrite, SameFileAndSameWindowCallsAsTheSequentialJob) {
    RenderPool pool(2);
    SegmentSettings settings;
    // Too short a warm-up for 40 Hz: the true run redoes the start of each segment.
    settings.warmUpFrames = 500;
    settings.checkpointFrames = 1500;
    settings.silentRunFrames = 1000000;
    for (const FileCase& c : kFiles) {
        const Bytes file = FileFor(c);
        const JobRun sequential = Write(file, &pool, 1, settings);
        ASSERT_EQ(sequential.result, JobResult::Done) << c.name;
        // Declined, the job runs in one piece after all, from where it stood.
        for (const std::size_t segments : {2, 4, 0}) {
            settings.declineWhereWarmUpsDisagree = segments == 0;
            const JobRun segmented = Write(file, &pool, segments == 0 ? 2 : segments, settings);
            EXPECT_EQ(segmented.result, JobResult::Done) << c.name;
            EXPECT_TRUE(segmented.output == sequential.output) << c.name << ", " << segments;
            EXPECT_EQ(segmented.messages, sequential.messages) << c.name;
            EXPECT_EQ(segmented.moves, sequential.moves) << c.name;
            EXPECT_EQ(segmented.meters, sequential.meters) << c.name;
        }
    }
}

TEST(SegmentedWrite, BatchJobsRunSideBySideEachWithItsOwnState) {
    RenderPool pool(2);
    TempDir dir;
    const Bytes a = SimpleWav(TestSignal(40000, 1));
    const Bytes b = Riff({Chunk("fmt ", FmtBody(1)), Chunk("data", Samples(TestSignal(100, 2)))});
    WriteFile(dir / "a.wav", a);
    WriteFile(dir / "b.wav", b);
    FakeWindow windows[8];
    JobResult results[8];
    for (FakeWindow& w : windows) {
        SlowestFilters(w);
    }
    pool.ForEach(8, [&](std::size_t i) {
        JobContext context{windows[i]};
        context.pool = &pool;
        context.segments = 1;
        const std::string in = (dir / (i % 2 == 0 ? "a.wav" : "b.wav")).string();
        const std::string out = (dir / ("out" + std::to_string(i) + ".wav")).string();
        results[i] = WriteWaveFile(context, in.c_str(), out.c_str());
    });
    const JobRun alone = Write(a, nullptr, 1, {});
    for (std::size_t i = 0; i < 8; ++i) {
        if (i % 2 == 0) {
            EXPECT_EQ(results[i], JobResult::Done);
            EXPECT_TRUE(ReadFile(dir / ("out" + std::to_string(i) + ".wav")) == alone.output);
        } else {
            EXPECT_EQ(results[i], JobResult::Refused);
            EXPECT_EQ(windows[i].Messages(),
                      std::vector<std::string>{"Error code 1101, Input not stereo! \n"});
        }
    }
}

}  // namespace

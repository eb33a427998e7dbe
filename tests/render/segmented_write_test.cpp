// Write jobs in segments on two threads against the same jobs run sequentially: the same
// output file and the same observer calls in the same order (messages, loops, positions,
// levels).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "render/render_pool.h"
#include "tests/test_support/write_helpers.h"

namespace {

struct JobRun {
    JobResult result;
    Bytes output;
    std::vector<RecordingObserver::Event> events;
};

// The slowest filters: their state takes longest to forget where a segment started.
void SlowestFilters(ProcessingParameters& params) {
    Positions p;
    p.low = 0;
    SetParameters(params, p);
}

JobRun Write(const Bytes& file, RenderPool* pool, std::size_t segments,
             const SegmentSettings& settings) {
    TempDir dir;
    WriteFile(dir / "in.wav", file);
    ProcessingParameters params;
    SlowestFilters(params);
    WriteRequest request;
    request.input = dir / "in.wav";
    request.output = dir / "out.wav";
    request.params = &params;
    request.pool = pool;
    request.segments = segments;
    request.segmentSettings = settings;
    RecordingObserver observer;
    JobRun run;
    run.result = JobRunner().Write(request, observer);
    run.output = ReadFile(dir / "out.wav");
    run.events = observer.Events();
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

TEST(SegmentedWrite, SameFileAndSameObserverCallsAsTheSequentialJob) {
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
            EXPECT_TRUE(segmented.events == sequential.events) << c.name;
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
    RecordingObserver observers[8];
    JobResult results[8];
    ProcessingParameters params;
    SlowestFilters(params);
    pool.ForEach(8, [&](std::size_t i) {
        WriteRequest request;
        request.input = dir / (i % 2 == 0 ? "a.wav" : "b.wav");
        request.output = dir / ("out" + std::to_string(i) + ".wav");
        request.params = &params;
        request.pool = &pool;
        request.segments = 1;
        results[i] = JobRunner().Write(request, observers[i]);
    });
    const JobRun alone = Write(a, nullptr, 1, {});
    for (std::size_t i = 0; i < 8; ++i) {
        if (i % 2 == 0) {
            EXPECT_EQ(results[i], JobResult::Done);
            EXPECT_TRUE(ReadFile(dir / ("out" + std::to_string(i) + ".wav")) == alone.output);
        } else {
            EXPECT_EQ(results[i], JobResult::Refused);
            EXPECT_EQ(observers[i].Messages(),
                      std::vector<std::string>{"Error code 1101, Input not stereo! \n"});
        }
    }
}

// A task that has handed on its result may still be letting go of what it holds; the pool
// is not gone before every task has: at the process's end nothing of a task is left behind,
// which the leak checker would otherwise report.
TEST(SegmentedWrite, APoolOutlastsWhatItsTasksHold) {
    struct SlowToLetGo {
        explicit SlowToLetGo(std::shared_ptr<std::atomic<int>> count) : gone(std::move(count)) {}
        SlowToLetGo(const SlowToLetGo&) = delete;
        SlowToLetGo& operator=(const SlowToLetGo&) = delete;
        ~SlowToLetGo() {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++*gone;
        }
        std::shared_ptr<std::atomic<int>> gone;
    };
    auto gone = std::make_shared<std::atomic<int>>(0);
    constexpr int kTasks = 3;
    {
        RenderPool pool(2);
        std::vector<std::future<void>> results;
        for (int i = 0; i < kTasks; ++i) {
            auto done = std::make_shared<std::promise<void>>();
            results.push_back(done->get_future());
            auto held = std::make_shared<SlowToLetGo>(gone);
            pool.Submit([done, held] { done->set_value(); });
        }
        for (std::future<void>& result : results) {
            result.get();
        }
    }
    EXPECT_EQ(gone->load(), kTasks);
}

}  // namespace

// A whole write job through the jobs layer: container walk, reading, processing, writing and
// the final commit of the output, on a file of one minute. The argument is the render pool's
// threads, 0 for one per core: a pool of one runs the job in one piece, as render -j 1 does.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench/bench_support.h"
#include "jobs/job_runner.h"
#include "render/render_pool.h"

namespace {

constexpr std::size_t kFrames = 60 * 44100;

void BM_WriteJob(benchmark::State& state) {
    ScratchDir dir;
    const auto input = dir / "in.wav";
    const auto output = dir / "out.wav";
    WriteSignalWav(input, kFrames);
    const ProcessingParameters params;
    RenderPool pool(static_cast<int>(state.range(0)));
    // As zerbex2-cli render sets it up.
    WriteRequest request;
    request.input = input;
    request.output = output;
    request.params = &params;
    request.pool = &pool;
    request.ioThreads = pool.HasSpareThread(1);
    JobRunner runner;
    QuietObserver observer;
    for (auto _ : state) {
        if (runner.Write(request, observer) != JobResult::Done) {
            state.SkipWithError("the write job failed");
            return;
        }
    }
    const auto frames = static_cast<double>(state.iterations() * kFrames);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFrames * 4));
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] =
        benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(pool.Threads()) + " threads");
}
BENCHMARK(BM_WriteJob)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });

}  // namespace

// A whole write job through ProcessWaveFile: container walk, reading, processing, writing
// and the final commit of the output, on a file of one minute.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench_support.h"
#include "wave_job.h"

namespace {

constexpr std::size_t kFrames = 60 * 44100;

void BM_WriteJob(benchmark::State& state) {
    ScratchDir dir;
    const auto input = dir / "in.wav";
    const auto output = dir / "out.wav";
    WriteSignalWav(input, kFrames);
    SilentWindow window;
    JobContext context{window};
    for (auto _ : state) {
        if (ProcessWaveFile(context, input.c_str(), output.c_str(), 0) != JobResult::Done) {
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
}
BENCHMARK(BM_WriteJob)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });

}  // namespace

// Cost of one frame: the plain per-frame processing and the block path in each of its
// instruction sets, over one block of a music-like signal, in mode 2 with the start-up
// settings unless the name says otherwise.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "processing/fast_frames.h"
#include "processing/stereo_remover.h"
#include "render/render.h"

namespace {

// With --benchmark_repetitions, the least time of the repetitions: the figure least
// disturbed by other work on the machine.
double Least(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

constexpr std::size_t kFrames = kBlockBytes / 4;

void SetPerFrameCounters(benchmark::State& state) {
    const auto frames = static_cast<double>(state.iterations() * kFrames);
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SelectMode(ProcessingParameters& params, std::int64_t mode) {
    params.mode = static_cast<PlayMode>(mode);
}

const char* ModeLabel(std::int64_t mode) {
    switch (static_cast<PlayMode>(mode)) {
        case PlayMode::Low:
            return "low";
        case PlayMode::Original:
            return "original";
        default:
            return "mode2";
    }
}

void BM_ProcessFrame(benchmark::State& state) {
    const std::vector<unsigned char> signal = SignalBytes(kFrames);
    ProcessingParameters params;
    SelectMode(params, state.range(0));
    FrameState frames{};
    std::vector<StereoSample> in(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        in[i].left = static_cast<std::int16_t>(signal[4 * i] | (signal[4 * i + 1] << 8));
        in[i].right = static_cast<std::int16_t>(signal[4 * i + 2] | (signal[4 * i + 3] << 8));
    }
    std::vector<StereoSample> out(kFrames);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kFrames; ++i) {
            out[i] = ProcessFrame(frames, params, in[i]);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetPerFrameCounters(state);
    state.SetLabel(ModeLabel(state.range(0)));
}
BENCHMARK(BM_ProcessFrame)
    ->ComputeStatistics("min", Least)
    ->Arg(static_cast<int>(PlayMode::Mode2))
    ->Arg(static_cast<int>(PlayMode::Low))
    ->Arg(static_cast<int>(PlayMode::Original));

// The block path as the driver calls it: runs of up to 500 frames between meter updates.
void BM_ProcessFrames(benchmark::State& state) {
    const auto kernel = static_cast<FrameKernel>(state.range(0));
    if (!FrameKernelAvailable(kernel)) {
        state.SkipWithError("this processor lacks the instruction set");
        return;
    }
    const std::vector<unsigned char> signal = SignalBytes(kFrames);
    std::vector<unsigned char> block(signal.size());
    ProcessingParameters params;
    SelectMode(params, state.range(1));
    FrameState frames{};
    for (auto _ : state) {
        state.PauseTiming();
        block = signal;
        state.ResumeTiming();
        for (std::size_t done = 0; done < kFrames;) {
            const std::size_t run = std::min<std::size_t>(500, kFrames - done);
            ProcessFramesWith(kernel, frames, params, block.data() + done * 4, run);
            done += run;
        }
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    SetPerFrameCounters(state);
    static const char* const kKernels[] = {"plain", "sse2", "sse4.1", "avx"};
    state.SetLabel(std::string(kKernels[state.range(0)]) + " " + ModeLabel(state.range(1)));
}
BENCHMARK(BM_ProcessFrames)
    ->ComputeStatistics("min", Least)
    ->ArgsProduct({{static_cast<int>(FrameKernel::Plain), static_cast<int>(FrameKernel::Sse2),
                    static_cast<int>(FrameKernel::Sse41), static_cast<int>(FrameKernel::Avx)},
                   {static_cast<int>(PlayMode::Mode2)}})
    ->Args({static_cast<int>(BestFrameKernel()), static_cast<int>(PlayMode::Low)})
    ->Args({static_cast<int>(BestFrameKernel()), static_cast<int>(PlayMode::Original)});

// The stereo mode's remover at 44.1 kHz, after the block path, with and without the vocal
// output; "per_second" is the processor time of a second of sound, the share of a core a
// playback takes.
void BM_StereoRemover(benchmark::State& state) {
    const std::vector<unsigned char> signal = SignalBytes(kFrames);
    std::vector<std::int16_t> in(2 * kFrames);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<std::int16_t>(signal[2 * i] | (signal[2 * i + 1] << 8));
    }
    std::vector<std::int16_t> out(in.size());
    std::vector<std::int16_t> vocal(in.size());
    const bool stems = state.range(0) != 0;
    ProcessingParameters params;
    params.mode = PlayMode::Stereo;
    StereoRemover remover(44100);
    for (auto _ : state) {
        remover.Process(params, in.data(), out.data(), stems ? vocal.data() : nullptr, kFrames);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetPerFrameCounters(state);
    const auto seconds = static_cast<double>(state.iterations() * kFrames) / 44100.0;
    state.counters["per_second"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(stems ? "with vocal" : "output only");
}
BENCHMARK(BM_StereoRemover)->ComputeStatistics("min", Least)->Arg(0)->Arg(1);

}  // namespace

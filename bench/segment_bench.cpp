// The segmented processing in memory on 1 and 2 threads of a render pool, over two
// minutes of a music-like signal: the speed-up the segments give before any file is read
// or written. The run on 1 thread is one segment, without a warm-up; on more, each thread
// runs two segments side by side.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "processing/fast_frames.h"
#include "processing/segmented_render.h"
#include "render/render_pool.h"

namespace {

constexpr std::size_t kFrames = 44100 * 120;

class MemoryFrames : public FrameIo {
  public:
    explicit MemoryFrames(const std::vector<unsigned char>& input)
        : m_input(input), m_output(input.size()) {}

    bool Read(std::uint64_t frame, unsigned char* buffer, std::size_t count) override {
        std::memcpy(buffer, m_input.data() + frame * 4, count * 4);
        return true;
    }
    bool Write(std::uint64_t frame, const unsigned char* buffer, std::size_t count) override {
        std::memcpy(m_output.data() + frame * 4, buffer, count * 4);
        return true;
    }

  private:
    const std::vector<unsigned char>& m_input;
    std::vector<unsigned char> m_output;
};

void BM_SegmentedFrames(benchmark::State& state) {
    const auto threads = static_cast<int>(state.range(0));
    const std::vector<unsigned char> signal = SignalBytes(kFrames);
    const ProcessingParameters params;
    MemoryFrames io(signal);
    const SegmentSettings settings;
    RenderPool pool(threads);
    for (auto _ : state) {
        // As a write job runs them: a group of segments a thread, side by side; one thread,
        // one segment.
        const std::size_t n = threads >= 2 ? kMaxFrameGroup * static_cast<std::size_t>(threads) : 1;
        const std::vector<std::uint64_t> bounds = PlanBoundaries(io, kFrames, n, 11025, settings);
        std::vector<Segment> segments(bounds.size() - 1);
        for (std::size_t k = 0; k < segments.size(); ++k) {
            segments[k].begin = bounds[k];
            segments[k].end = bounds[k + 1];
        }
        const std::size_t groups = (segments.size() + kMaxFrameGroup - 1) / kMaxFrameGroup;
        pool.ForEach(groups, [&](std::size_t g) {
            std::vector<Segment*> group;
            for (std::size_t k = g * kMaxFrameGroup;
                 k < std::min(segments.size(), (g + 1) * kMaxFrameGroup); ++k) {
                group.push_back(&segments[k]);
            }
            RunSegmentGroup(group.data(), group.size(), params, io, settings, {});
        });
        FrameState truth = segments[0].finish;
        for (std::size_t k = 1; k < segments.size(); ++k) {
            if (Reconcile(truth, segments[k], params, io, settings, {}).merge !=
                Merge::AtBoundary) {
                state.SkipWithError("a boundary did not merge");
            }
        }
    }
    const auto frames = static_cast<double>(state.iterations() * kFrames);
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_SegmentedFrames)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

#pragma once

// The stereo mode's remover after the per-frame processing, for one run of sample data. The
// frames are cut into segments on the remover's hop grid, each run by a remover of its own
// started WarmUp() frames early: the bytes are the same whether the segments run one after
// the other or side by side on a pool, and they reach the sinks in order. The output is
// aligned with the input: the remover's first Latency() frames are dropped and the run is
// flushed with as many frames of silence, so that it lasts as long as its input. Without a
// pool one remover runs through the whole run: the same bytes, with no warm-up to repeat.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "processing/processing_parameters.h"
#include "render/ordered_results.h"
#include "render/render_sink.h"

class RemoverStage;

class StereoStage : public ForwardingSink {
  public:
    // vocals, when not null, gets the removed part, frame for frame with out. pool, when not
    // null, runs the segments; otherwise the calling thread does.
    StereoStage(RenderSink& out, RenderSink* vocals, const ProcessingParameters& params,
                unsigned sampleRate, RenderPool* pool);
    ~StereoStage() override;
    StereoStage(const StereoStage&) = delete;
    StereoStage& operator=(const StereoStage&) = delete;

    // Processed bytes in order; a partial frame only at the end of the run.
    bool Frames(const unsigned char* bytes, std::size_t n) override;

    // The run's last frames, then its partial frame as it came (silence in the vocals).
    bool End();

  private:
    struct Segment {
        std::uint64_t begin = 0;  // the first frame it gives
        std::uint64_t end = 0;
        std::size_t lead = 0;           // frames its remover runs before begin
        std::vector<std::int16_t> in;   // from begin - lead to end + latency, silence past the run
        std::vector<std::int16_t> out;  // begin .. end
        std::vector<std::int16_t> vocal;  // begin .. end, when asked for
    };

    void Launch(std::uint64_t end);
    Segment Run(Segment segment) const;
    bool Emit(bool wait);
    bool Deliver(const Segment& segment);
    bool RunThrough(std::size_t silence);

    RenderSink* m_vocals;
    const ProcessingParameters& m_params;
    unsigned m_rate;
    std::size_t m_latency;
    std::size_t m_warmUp;
    std::size_t m_segmentFrames;
    std::size_t m_inFlight;  // segments launched and not yet delivered, at most
    // Input frames from m_historyStart on, interleaved: what the next segments read.
    std::vector<std::int16_t> m_history;
    std::uint64_t m_historyStart = 0;
    std::uint64_t m_received = 0;       // frames
    std::uint64_t m_launched = 0;       // frames before this one belong to launched segments
    std::vector<unsigned char> m_tail;  // a frame cut short, the bytes of it that came
    bool m_failed = false;
    std::unique_ptr<RemoverStage> m_single;  // without a pool
    Segment m_piece;                         // its output, reused
    std::vector<Segment> m_spares;           // delivered, their buffers to reuse
    OrderedResults<Segment> m_segments;      // last: its tasks end before the rest goes
};

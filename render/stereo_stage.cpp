#include "render/stereo_stage.h"

#include <algorithm>

#include "processing/stereo_remover.h"
#include "render/remover_stage.h"
#include "render/render_pool.h"
#include "render/stage.h"

namespace {

// Hops a segment holds at least: the warm-up each one repeats stays a small share of it, a
// sixteenth of its work, or an eighth where more than kManyThreads run segments (each segment
// on its way holds its frames in and out).
constexpr std::size_t kSegmentHops = 128;
constexpr std::size_t kSegmentWarmUps = 16;
constexpr int kManyThreads = 8;

}  // namespace

StereoStage::StereoStage(RenderSink& out, RenderSink* vocals, const ProcessingParameters& params,
                         unsigned sampleRate, RenderPool* pool)
    : ForwardingSink(out),
      m_vocals(vocals),
      m_params(params),
      m_rate(sampleRate),
      m_segments(pool) {
    const StereoRemover probe(sampleRate);
    const std::size_t hop = probe.Hop();
    m_latency = probe.Latency();
    m_warmUp = probe.WarmUp();
    const bool many = pool != nullptr && pool->Threads() > kManyThreads;
    const std::size_t warmUps = many ? kSegmentWarmUps / 2 : kSegmentWarmUps;
    const std::size_t least = std::max(kSegmentHops * hop, warmUps * m_warmUp);
    m_segmentFrames = (least + hop - 1) / hop * hop;
    m_inFlight = pool != nullptr ? 2 * static_cast<std::size_t>(pool->Threads()) : 1;
    if (pool == nullptr) {
        m_single = std::make_unique<RemoverStage>(params);
        m_single->Prepare(WaveFormat{.sampleRate = sampleRate});
    }
}

StereoStage::~StereoStage() = default;

bool StereoStage::Frames(const unsigned char* bytes, std::size_t n) {
    if (m_failed) {
        return false;
    }
    WholeFrames(m_tail, bytes, n, [this](const unsigned char* frames, std::size_t count) {
        AppendCopy(m_history, frames, count * kBytesPerFrame);
        m_received += count;
    });
    if (m_single) {
        return RunThrough(0);
    }
    // A segment can start once the frames its last output frame is made of are in.
    while (m_received >= m_launched + m_segmentFrames + m_latency) {
        Launch(m_launched + m_segmentFrames);
        if (!Emit(false)) {
            return false;
        }
    }
    return true;
}

void StereoStage::Launch(std::uint64_t end) {
    // The buffers of a segment delivered earlier are reused, not asked of the system again
    // (and faulted in page by page) for every segment.
    auto segment = std::make_shared<Segment>();
    if (!m_spares.empty()) {
        *segment = std::move(m_spares.back());
        m_spares.pop_back();
    }
    segment->begin = m_launched;
    segment->end = end;
    const std::uint64_t start = m_launched >= m_warmUp ? m_launched - m_warmUp : 0;
    segment->lead = static_cast<std::size_t>(m_launched - start);
    const std::uint64_t stop = end + m_latency;
    const std::uint64_t available = std::min(stop, m_received);
    segment->in.assign(
        m_history.begin() + static_cast<std::ptrdiff_t>(2 * (start - m_historyStart)),
        m_history.begin() + static_cast<std::ptrdiff_t>(2 * (available - m_historyStart)));
    segment->in.resize(static_cast<std::size_t>(2 * (stop - start)), 0);
    m_launched = end;
    const std::uint64_t keep =
        std::max(m_historyStart, m_launched >= m_warmUp ? m_launched - m_warmUp : 0);
    m_history.erase(m_history.begin(),
                    m_history.begin() + static_cast<std::ptrdiff_t>(2 * (keep - m_historyStart)));
    m_historyStart = keep;
    m_segments.Submit([this, segment] { return Run(std::move(*segment)); });
}

StereoStage::Segment StereoStage::Run(Segment segment) const {
    RemoverStage remover(m_params);
    remover.Prepare(WaveFormat{.sampleRate = m_rate});
    // The warm-up gives nothing worth keeping, and the remover drops its lead-in itself.
    const std::size_t skipped = segment.lead + m_latency;
    remover.Run(segment.in.data(), skipped, segment.out, nullptr);
    segment.out.clear();
    segment.vocal.clear();
    remover.Run(segment.in.data() + 2 * skipped,
                static_cast<std::size_t>(segment.end - segment.begin), segment.out,
                m_vocals != nullptr ? &segment.vocal : nullptr);
    return segment;
}

// Hands the finished segments at the head to the sinks; waits for the head when wait says
// so, or when as many segments as may be are running.
bool StereoStage::Emit(bool wait) {
    while (m_segments.Pending() > 0) {
        if (!wait && m_segments.Pending() < m_inFlight && !m_segments.OldestReady()) {
            return true;
        }
        Segment done = m_segments.TakeOldest();
        if (!Deliver(done)) {
            m_failed = true;
            return false;
        }
        m_spares.push_back(std::move(done));
    }
    return true;
}

bool StereoStage::Deliver(const Segment& segment) {
    // The samples are kept as the sinks take them, little-endian 16-bit.
    const auto bytesOf = [](const std::vector<std::int16_t>& samples) {
        return reinterpret_cast<const unsigned char*>(samples.data());
    };
    return m_next.Frames(bytesOf(segment.out), 2 * segment.out.size()) &&
           (m_vocals == nullptr ||
            m_vocals->Frames(bytesOf(segment.vocal), 2 * segment.vocal.size()));
}

// The frames in m_history and silence frames after them through the one remover, its output
// past its lead-in to the sinks.
bool StereoStage::RunThrough(std::size_t silence) {
    m_history.resize(m_history.size() + 2 * silence, 0);
    m_piece.out.clear();
    m_piece.vocal.clear();
    m_single->Run(m_history.data(), m_history.size() / 2, m_piece.out,
                  m_vocals != nullptr ? &m_piece.vocal : nullptr);
    m_history.clear();
    m_failed = !Deliver(m_piece);
    return !m_failed;
}

bool StereoStage::End() {
    if (m_failed) {
        return false;
    }
    if (m_single) {
        if (!RunThrough(m_latency)) {
            return false;
        }
    } else {
        while (m_launched < m_received) {
            Launch(std::min<std::uint64_t>(m_launched + m_segmentFrames, m_received));
        }
        if (!Emit(true)) {
            return false;
        }
    }
    if (m_tail.empty()) {
        return true;
    }
    const unsigned char silence[kBytesPerFrame] = {};
    return m_next.Frames(m_tail.data(), m_tail.size()) &&
           (m_vocals == nullptr || m_vocals->Frames(silence, m_tail.size()));
}

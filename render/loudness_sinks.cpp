#include "render/loudness_sinks.h"

#include <ebur128.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "render/stage.h"

namespace {

constexpr std::size_t kChunkFrames = 16384;
constexpr int kMaxSearchSteps = 10;
constexpr double kLeastSlope = 0.05;
// Beyond this the limiter does all the work and the output is its ceiling.
constexpr double kMostGainDb = 40;
constexpr double kCloseEnoughLu = 0.1;

struct MeterDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using Meter = std::unique_ptr<ebur128_state, MeterDeleter>;

Meter NewMeter(unsigned rate, int mode) {
    return Meter(ebur128_init(2, rate, mode));
}

std::vector<std::int16_t> Samples(const unsigned char* bytes, std::size_t frames) {
    std::vector<std::int16_t> samples;
    AppendCopy(samples, bytes, frames * kBytesPerFrame);
    return samples;
}

}  // namespace

struct MeasureSink::State {
    Meter meter;
    bool any = false;
    bool failed = false;
};

MeasureSink::MeasureSink(bool keep) : m_state(std::make_unique<State>()), m_keep(keep) {}

MeasureSink::~MeasureSink() {
    if (m_kept != nullptr) {
        std::fclose(m_kept);
    }
}

bool MeasureSink::Format(const WaveFormat& format) {
    if (m_state->meter) {
        return true;  // a later run of the same file: measured as one
    }
    m_rate = format.sampleRate;
    m_state->meter = NewMeter(m_rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!m_state->meter) {
        m_error = ENOMEM;
        return false;
    }
    if (m_keep) {
        m_kept = std::tmpfile();
        if (m_kept == nullptr) {
            m_error = errno;
            return false;
        }
    }
    return true;
}

bool MeasureSink::Frames(const unsigned char* bytes, std::size_t n) {
    if (!m_state->meter) {
        return true;
    }
    bool ok = true;
    WholeFrames(m_partial, bytes, n, [&](const unsigned char* frames, std::size_t count) {
        const std::vector<std::int16_t> samples = Samples(frames, count);
        m_state->any = true;
        if (ebur128_add_frames_short(m_state->meter.get(), samples.data(), count) !=
            EBUR128_SUCCESS) {
            m_state->failed = true;
        }
        if (m_kept != nullptr && std::fwrite(frames, kBytesPerFrame, count, m_kept) != count) {
            m_error = errno;
            ok = false;
        }
    });
    return ok;
}

std::optional<LoudnessMeasure> MeasureSink::Measure() const {
    if (!m_state->meter || !m_state->any || m_state->failed) {
        return std::nullopt;
    }
    LoudnessMeasure measure;
    double peak = 0;
    double channelPeak = 0;
    for (unsigned c = 0; c < 2; ++c) {
        if (ebur128_true_peak(m_state->meter.get(), c, &channelPeak) != EBUR128_SUCCESS) {
            return std::nullopt;
        }
        peak = std::max(peak, channelPeak);
    }
    if (ebur128_loudness_global(m_state->meter.get(), &measure.integrated) != EBUR128_SUCCESS) {
        return std::nullopt;
    }
    measure.truePeakDb = peak > 0 ? 20 * std::log10(peak) : -HUGE_VAL;
    return measure;
}

// The kept frames through the gain and the limiter, measured.
double MeasureSink::LimitedLoudness(double gainDb) {
    Meter meter = NewMeter(m_rate, EBUR128_MODE_I);
    if (!meter || std::fseek(m_kept, 0, SEEK_SET) != 0) {
        return -HUGE_VAL;
    }
    TruePeakLimiter limiter(m_rate, gainDb, kLimiterCeilingDb);
    std::vector<unsigned char> bytes(kChunkFrames * kBytesPerFrame);
    std::vector<std::int16_t> out(kChunkFrames * 2);
    std::size_t skip = limiter.Delay();
    while (const std::size_t got = std::fread(bytes.data(), kBytesPerFrame, kChunkFrames, m_kept)) {
        const std::vector<std::int16_t> in = Samples(bytes.data(), got);
        limiter.Process(in.data(), out.data(), got);
        const std::size_t skipped = std::min(skip, got);
        skip -= skipped;
        ebur128_add_frames_short(meter.get(), out.data() + 2 * skipped, got - skipped);
    }
    out.resize(std::max(out.size(), 2 * limiter.Delay()));
    limiter.Flush(out.data());
    const std::size_t held = limiter.Delay() - skip;
    ebur128_add_frames_short(meter.get(), out.data() + 2 * skip, held);
    double loudness = -HUGE_VAL;
    ebur128_loudness_global(meter.get(), &loudness);
    return loudness;
}

// The plain difference first; where the limiter takes some of it back, the next gain follows
// the line through the last two tries (the loudness grows ever slower with the gain once the
// limiter works hard), a few times at most.
double MeasureSink::GainFor(double target) {
    const std::optional<LoudnessMeasure> measure = Measure();
    if (!measure || !std::isfinite(measure->integrated) || !std::isfinite(target) ||
        m_kept == nullptr) {
        return 0;
    }
    double gain = target - measure->integrated;
    double lastGain = 0;
    double lastReached = measure->integrated;
    double best = gain;
    double bestMiss = HUGE_VAL;
    for (int step = 0; step < kMaxSearchSteps; ++step) {
        const double reached = LimitedLoudness(gain);
        if (!std::isfinite(reached)) {
            break;
        }
        if (std::abs(target - reached) < bestMiss) {
            best = gain;
            bestMiss = std::abs(target - reached);
        }
        const double slope = (reached - lastReached) / (gain - lastGain);
        // Close enough, or the limiter lets no more through (the loudness no longer grows).
        if (bestMiss < kCloseEnoughLu || !(slope > kLeastSlope / 10) || gain >= kMostGainDb) {
            break;
        }
        lastGain = gain;
        lastReached = reached;
        gain = std::min(gain + (target - reached) / std::min(slope, 1.0), kMostGainDb);
    }
    return best;
}

struct RunningLoudness::State {
    Meter meter;
};

RunningLoudness::RunningLoudness(unsigned rate)
    : m_state(
          std::make_unique<State>(State{NewMeter(rate, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM)})) {
}

RunningLoudness::~RunningLoudness() = default;

void RunningLoudness::Add(const std::int16_t* frames, std::size_t count) {
    if (m_state->meter) {
        ebur128_add_frames_short(m_state->meter.get(), frames, count);
    }
}

double RunningLoudness::Integrated() const {
    double loudness = -HUGE_VAL;
    if (m_state->meter) {
        ebur128_loudness_global(m_state->meter.get(), &loudness);
    }
    return loudness;
}

LoudnessSink::LoudnessSink(RenderSink& inner, double gainDb)
    : ForwardingSink(inner), m_gainDb(gainDb) {}

bool LoudnessSink::Container(const unsigned char* bytes, std::size_t n) {
    return Flush() && m_next.Container(bytes, n);
}

bool LoudnessSink::Format(const WaveFormat& format) {
    if (!Flush()) {
        return false;
    }
    m_limiter = std::make_unique<TruePeakLimiter>(format.sampleRate, m_gainDb, kLimiterCeilingDb);
    m_toSkip = m_limiter->Delay();
    return m_next.Format(format);
}

bool LoudnessSink::Frames(const unsigned char* bytes, std::size_t n) {
    if (!m_limiter) {
        return m_next.Frames(bytes, n);
    }
    bool ok = true;
    std::vector<unsigned char> outBytes;
    WholeFrames(m_partial, bytes, n, [&](const unsigned char* frames, std::size_t count) {
        const std::vector<std::int16_t> in = Samples(frames, count);
        m_out.resize(in.size());
        m_limiter->Process(in.data(), m_out.data(), count);
        const std::size_t skipped = std::min(m_toSkip, count);
        m_toSkip -= skipped;
        outBytes.clear();
        AppendCopy(outBytes, m_out.data() + 2 * skipped, (count - skipped) * kBytesPerFrame);
        ok = ok && (outBytes.empty() || m_next.Frames(outBytes.data(), outBytes.size()));
    });
    return ok;
}

// The frames the limiter holds (as many as it dropped at the run's start, so the run keeps
// its length), then the bytes of a frame the run ended in the middle of, as they came.
bool LoudnessSink::Flush() {
    if (!m_limiter) {
        return true;
    }
    const std::size_t held = m_limiter->Delay() - m_toSkip;
    m_out.assign(2 * m_limiter->Delay(), 0);
    m_limiter->Flush(m_out.data());
    m_toSkip = m_limiter->Delay();
    std::vector<unsigned char> outBytes;
    // A run shorter than the delay: its frames are the last of those flushed.
    AppendCopy(outBytes, m_out.data() + 2 * (m_limiter->Delay() - held), held * kBytesPerFrame);
    outBytes.insert(outBytes.end(), m_partial.begin(), m_partial.end());
    m_partial.clear();
    return outBytes.empty() || m_next.Frames(outBytes.data(), outBytes.size());
}

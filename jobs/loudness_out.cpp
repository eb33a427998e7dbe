#include "jobs/loudness_out.h"

#include <algorithm>
#include <cmath>

#include "processing/block.h"
#include "render/loudness_sinks.h"

namespace {

constexpr double kMostLiveGainDb = 24;

void ToSamples(const unsigned char* bytes, std::size_t frames, std::vector<std::int16_t>& out) {
    out.resize(frames * 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
}

void ToBytes(const std::vector<std::int16_t>& samples, std::vector<unsigned char>& out) {
    out.resize(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        out[2 * i] = static_cast<unsigned char>(v & 0xff);
        out[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
}

}  // namespace

bool LoudnessOut::Open(const AudioFormat& format, const std::string& device) {
    const auto rate = static_cast<unsigned>(format.rate);
    m_limiter = std::make_unique<TruePeakLimiter>(rate, 0.0, kLimiterCeilingDb);
    m_input = std::make_unique<RunningLoudness>(rate);
    m_output = std::make_unique<RunningLoudness>(rate);
    // Only 16-bit stereo plays: anything else goes out as it is.
    if (format.channels != 2) {
        m_limiter.reset();
    }
    return m_out.Open(format, device);
}

void LoudnessOut::Input(const unsigned char* bytes, std::size_t n) {
    if (m_limiter) {
        ToSamples(bytes, n / kBytesPerFrame, m_samples);
        m_input->Add(m_samples.data(), n / kBytesPerFrame);
    }
}

bool LoudnessOut::Write(const unsigned char* data, std::size_t bytes) {
    if (!m_limiter || bytes % kBytesPerFrame != 0) {
        return m_out.Write(data, bytes);
    }
    const std::size_t frames = bytes / kBytesPerFrame;
    ToSamples(data, frames, m_samples);
    m_output->Add(m_samples.data(), frames);
    const double in = m_target ? *m_target : m_input->Integrated();
    const double out = m_output->Integrated();
    if (std::isfinite(in) && std::isfinite(out)) {
        m_limiter->GlideTo(std::clamp(in - out, -kMostLiveGainDb, kMostLiveGainDb));
    }
    m_limiter->Process(m_samples.data(), m_samples.data(), frames);
    ToBytes(m_samples, m_bytes);
    return m_out.Write(m_bytes.data(), m_bytes.size());
}

// The frames the limiter still holds go out before the drain.
void LoudnessOut::Drain() {
    if (m_limiter) {
        m_samples.assign(2 * m_limiter->Delay(), 0);
        m_limiter->Flush(m_samples.data());
        ToBytes(m_samples, m_bytes);
        m_out.Write(m_bytes.data(), m_bytes.size());
    }
    m_out.Drain();
}

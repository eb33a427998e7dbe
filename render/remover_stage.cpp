#include "render/remover_stage.h"

#include <algorithm>

#include "processing/stereo_remover.h"

RemoverStage::RemoverStage(const ProcessingParameters& params) : m_params(params) {}

RemoverStage::~RemoverStage() = default;

void RemoverStage::Prepare(const WaveFormat& format) {
    if (!m_remover || format.sampleRate != m_rate) {
        m_rate = format.sampleRate;
        m_remover = std::make_unique<StereoRemover>(m_rate);
    }
    Reset();
}

void RemoverStage::Reset() {
    m_remover->Reset();
    m_leadIn = m_remover->Latency();
}

std::size_t RemoverStage::Latency() const {
    return m_remover ? m_remover->Latency() : 0;
}

void RemoverStage::Process(const unsigned char* in, std::size_t bytes, StageBytes& out) {
    m_in.clear();
    AppendCopy(m_in, in, bytes / kBytesPerFrame * kBytesPerFrame);
    RunBytes(bytes / kBytesPerFrame, out);
}

// The frames still inside come out, pushed by silence.
void RemoverStage::Finish(StageBytes& out) {
    m_in.assign(2 * Latency(), 0);
    RunBytes(Latency(), out);
}

void RemoverStage::RunBytes(std::size_t frames, StageBytes& out) {
    m_out.clear();
    Run(m_in.data(), frames, m_out, nullptr);
    AppendCopy(out, m_out.data(), 2 * m_out.size());
}

void RemoverStage::Run(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>& out,
                       std::vector<std::int16_t>* removed) {
    m_made.resize(2 * frames);
    m_removed.resize(removed != nullptr ? 2 * frames : 0);
    m_remover->Process(m_params, in, m_made.data(), removed != nullptr ? m_removed.data() : nullptr,
                       frames);
    const std::size_t dropped = std::min(m_leadIn, frames);
    m_leadIn -= dropped;
    const auto from = static_cast<std::ptrdiff_t>(2 * dropped);
    out.insert(out.end(), m_made.begin() + from, m_made.end());
    if (removed != nullptr) {
        removed->insert(removed->end(), m_removed.begin() + from, m_removed.end());
    }
}

#include "render/stretch_stage.h"

#include <algorithm>

void StretchStage::Set(const KeyTempo& settings) {
    m_settings = settings;
    if (m_stage) {
        m_stage->Set(settings);
    }
}

// A library of its own for each run: nothing of the last run's carries into its state.
void StretchStage::Prepare(const WaveFormat& format) {
    m_stage = std::make_unique<KeyTempoStage>(format.sampleRate);
    Reset();
}

void StretchStage::Reset() {
    m_stage->Clear();
    m_stage->Set(m_settings);
    m_put = 0;
    m_taken = 0;
    m_tempoHeld = true;
}

void StretchStage::Process(const unsigned char* in, std::size_t bytes, StageBytes& out) {
    if (m_put == 0) {
        m_runTempo = m_settings.tempo;
    }
    m_tempoHeld = m_tempoHeld && m_settings.tempo == m_runTempo;
    m_stage->Put(in, bytes / kBytesPerFrame);
    m_put += bytes / kBytesPerFrame;
    Take(out, ~std::uint64_t{0});
}

// What the stage made, up to a total of upTo frames.
void StretchStage::Take(StageBytes& out, std::uint64_t upTo) {
    const auto frames =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_stage->Ready(), upTo - m_taken));
    const std::size_t at = out.size();
    out.resize(at + frames * kBytesPerFrame);
    const std::size_t got = m_stage->Take(out.data() + at, frames);
    out.resize(at + got * kBytesPerFrame);
    m_taken += got;
}

void StretchStage::Finish(StageBytes& out) {
    m_stage->Flush();
    if (!m_tempoHeld) {
        Take(out, ~std::uint64_t{0});
        return;
    }
    const std::uint64_t total = StretchedFrames(m_put, m_runTempo);
    Take(out, total);
    if (m_taken < total) {
        out.resize(out.size() + (total - m_taken) * kBytesPerFrame, 0);
        m_taken = total;
    }
}

#pragma once

// Key and tempo as a stage of the chain. The settings may change between any two pieces (a
// playback's trackbars); the frames already inside keep the old ones. A run whose tempo held
// from its first frame to its end lasts StretchedFrames of its input, cut or filled with
// silence, so that its length never depends on the library's rounding.

#include <memory>

#include "render/stage.h"
#include "stretch/key_tempo.h"

class StretchStage : public Stage {
  public:
    explicit StretchStage(const KeyTempo& settings = {}) : m_settings(settings) {}

    // From the next frames on.
    void Set(const KeyTempo& settings);
    const KeyTempo& Settings() const { return m_settings; }

    void Prepare(const WaveFormat& format) override;
    void Process(const unsigned char* in, std::size_t bytes, StageBytes& out) override;
    void Finish(StageBytes& out) override;
    void Reset() override;
    std::size_t Latency() const override { return 0; }  // the library's delay is taken out
    bool Bypassed() const override { return m_settings.Neutral(); }

  private:
    void Take(StageBytes& out, std::uint64_t upTo);

    KeyTempo m_settings;
    std::unique_ptr<KeyTempoStage> m_stage;
    std::uint64_t m_put = 0;    // frames
    std::uint64_t m_taken = 0;  // frames
    bool m_tempoHeld = true;    // the tempo of the run's first frame is the tempo still
    int m_runTempo = 100;
};

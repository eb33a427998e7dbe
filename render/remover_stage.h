#pragma once

// The stereo mode's remover as a stage of the chain. Its output is aligned with its input:
// the remover's first Latency() frames are dropped and a run is ended with as many frames of
// silence, so that it lasts as long as its input. The parameters are read as the remover
// reads them, at every call: a playback hears a trackbar at the next piece.

#include <memory>
#include <vector>

#include "processing/processing_parameters.h"
#include "render/stage.h"

class StereoRemover;

class RemoverStage : public Stage {
  public:
    explicit RemoverStage(const ProcessingParameters& params);
    ~RemoverStage() override;
    RemoverStage(const RemoverStage&) = delete;
    RemoverStage& operator=(const RemoverStage&) = delete;

    void Prepare(const WaveFormat& format) override;
    void Process(const unsigned char* in, std::size_t bytes, StageBytes& out) override;
    void Finish(StageBytes& out) override;
    void Reset() override;
    std::size_t Latency() const override;
    bool Bypassed() const override { return m_params.mode != PlayMode::Stereo; }

    // frames of in through the remover: what comes out after its lead-in is appended to out,
    // and the removed part, frame for frame, to removed when it is not null.
    void Run(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>& out,
             std::vector<std::int16_t>* removed);

  private:
    void RunBytes(std::size_t frames, StageBytes& out);

    const ProcessingParameters& m_params;
    std::unique_ptr<StereoRemover> m_remover;
    unsigned m_rate = 0;
    std::size_t m_leadIn = 0;  // frames of the remover's lead-in still to drop
    std::vector<std::int16_t> m_in;
    std::vector<std::int16_t> m_out;
    std::vector<std::int16_t> m_made;
    std::vector<std::int16_t> m_removed;
};

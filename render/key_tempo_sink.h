#pragma once

// Processed frames played in another key or at another tempo on their way to a sink. A write
// hands it the frames as it would the sink, so that where the sink is written behind on a
// thread of its own, the stage runs there too, beside the processing. Everything but the
// frames passes to the sink as it is.

#include "render/render_sink.h"
#include "stretch/key_tempo.h"

class KeyTempoSink : public RenderSink {
  public:
    KeyTempoSink(RenderSink& sink, const KeyTempo& settings, unsigned rate);

    bool Container(const unsigned char* bytes, std::size_t n) override {
        return m_sink.Container(bytes, n);
    }
    bool Format(const WaveFormat& format) override { return m_sink.Format(format); }
    // Whole frames; bytes after the last whole one go nowhere.
    bool Frames(const unsigned char* bytes, std::size_t n) override;
    bool Patch(std::uint64_t offset, const unsigned char* bytes, std::size_t n) override {
        return m_sink.Patch(offset, bytes, n);
    }
    bool Commit() override { return m_sink.Commit(); }
    int Error() const override { return m_sink.Error(); }
    std::string ErrorDetail() const override { return m_sink.ErrorDetail(); }

    // The run's last frames, cut or filled with silence to the length the tempo gives its
    // input, so that the output's length never depends on the library's rounding. Once
    // nothing else writes to the sink.
    bool End();
    // Sample bytes the sink was given.
    std::uint64_t Written() const { return m_written * 4; }

  private:
    bool Pass(std::uint64_t upTo);

    RenderSink& m_sink;
    KeyTempoStage m_stage;
    int m_tempo;
    std::vector<unsigned char> m_stretched;
    std::uint64_t m_put = 0;      // frames
    std::uint64_t m_written = 0;  // frames
};

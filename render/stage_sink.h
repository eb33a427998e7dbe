#pragma once

// A stage in front of a sink, for a write: the frames go through the stage, everything else
// passes to the sink as it is. A write hands it the frames as it would the sink, so that
// where the sink is written behind on a thread of its own, the stage runs there too.

#include <algorithm>

#include "processing/block.h"
#include "render/render_sink.h"
#include "render/stage.h"

class StageSink : public ForwardingSink {
  public:
    StageSink(Stage& stage, RenderSink& sink) : ForwardingSink(sink), m_stage(stage) {}

    // Whole frames; bytes after the last whole one go nowhere.
    bool Frames(const unsigned char* bytes, std::size_t n) override {
        m_out.clear();
        m_stage.Process(bytes, n / kBytesPerFrame * kBytesPerFrame, m_out);
        return Pass();
    }

    // The run's last frames; once nothing else writes to the sink.
    bool End() {
        m_out.clear();
        m_stage.Finish(m_out);
        return Pass();
    }

  private:
    // In blocks, as a write hands them on.
    bool Pass() {
        for (std::size_t at = 0; at < m_out.size(); at += kBlockBytes) {
            const std::size_t n = std::min(kBlockBytes, m_out.size() - at);
            if (!m_next.Frames(m_out.data() + at, n)) {
                return false;
            }
        }
        return true;
    }

    Stage& m_stage;
    StageBytes m_out;
};

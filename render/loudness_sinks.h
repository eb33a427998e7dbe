#pragma once

// Loudness on writes: a write with a loudness target runs the processing twice. The first run
// goes into a MeasureSink, which measures the output's EBU R128 loudness (libebur128) and
// keeps its frames in a temporary file, so that the gain that brings it to the target once
// limited can be found without processing again; the second goes into a LoudnessSink over the
// real output, which applies that gain and the true-peak limiter.

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "processing/loudness.h"
#include "render/render_sink.h"

// The integrated loudness of what a sink took, in LUFS; minus infinity for silence.
struct LoudnessMeasure {
    double integrated = 0;
    double truePeakDb = 0;  // dB of full scale
};

class MeasureSink : public RenderSink {
  public:
    // keep: the frames are kept, for GainFor.
    explicit MeasureSink(bool keep);
    ~MeasureSink() override;
    MeasureSink(const MeasureSink&) = delete;
    MeasureSink& operator=(const MeasureSink&) = delete;

    bool Format(const WaveFormat& format) override;
    bool Frames(const unsigned char* bytes, std::size_t n) override;
    bool Commit() override { return true; }
    int Error() const override { return m_error; }

    // What the frames measured; nothing when none came or the measure failed.
    std::optional<LoudnessMeasure> Measure() const;
    // The gain in dB that brings the kept frames, limited to the true-peak ceiling, within a
    // tenth of an LU of target where the limiter lets it; 0 when there is no sound.
    double GainFor(double target);

  private:
    struct State;
    double LimitedLoudness(double gainDb);

    std::unique_ptr<State> m_state;
    unsigned m_rate = 0;
    std::FILE* m_kept = nullptr;
    bool m_keep;
    int m_error = 0;
    std::vector<unsigned char> m_partial;  // a frame cut between two calls
};

// The integrated loudness of the frames added so far (a playback's), in LUFS; minus infinity
// until 0.4 s of sound came.
class RunningLoudness {
  public:
    explicit RunningLoudness(unsigned rate);
    ~RunningLoudness();
    RunningLoudness(const RunningLoudness&) = delete;
    RunningLoudness& operator=(const RunningLoudness&) = delete;

    // Interleaved 16-bit stereo frames.
    void Add(const std::int16_t* frames, std::size_t count);
    double Integrated() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The output with a gain and the true-peak limiter applied to its frames, in order (the
// frames' place is never handed out, so that every frame passes through here).
class LoudnessSink : public ForwardingSink {
  public:
    LoudnessSink(RenderSink& inner, double gainDb);

    bool Container(const unsigned char* bytes, std::size_t n) override;
    bool Format(const WaveFormat& format) override;
    bool Frames(const unsigned char* bytes, std::size_t n) override;
    bool EndOfData() override { return Flush() && m_next.EndOfData(); }
    int Error() const override { return m_next.Error(); }
    std::string ErrorDetail() const override { return m_next.ErrorDetail(); }

  private:
    // The run's last frames, which the limiter still holds, go out: at the run's end, before
    // anything else is written.
    bool Flush();

    double m_gainDb;
    std::unique_ptr<TruePeakLimiter> m_limiter;
    std::size_t m_toSkip = 0;  // the limiter's delay, still to drop from the run's start
    std::vector<unsigned char> m_partial;
    std::vector<std::int16_t> m_out;
};

// The ceiling the limiter aims under: the true peak must hold under kTruePeakCeilingDb once
// rounded to 16 bits and measured by other tools' oversampling.
inline constexpr double kLimiterCeilingDb = kTruePeakCeilingDb - 0.5;

#pragma once

// Loudness on writes: what the output's integrated loudness is brought to, and the limiter
// that keeps its true peak under a ceiling once the gain is applied.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Off, the input's own loudness ("match"), or a target in LUFS ("-14").
struct Loudness {
    enum class Kind { Off, Match, Target };
    Kind kind = Kind::Off;
    double lufs = 0;  // the target's

    bool operator==(const Loudness&) const = default;
    bool On() const { return kind != Kind::Off; }
};

inline constexpr double kLoudnessMinLufs = -70;
inline constexpr double kLoudnessMaxLufs = -5;
// The ceiling a loudness gain keeps the output's true peak under.
inline constexpr double kTruePeakCeilingDb = -1.0;

// "off", "match" or a number of LUFS in kLoudnessMinLufs..kLoudnessMaxLufs ("-14", "-16.5");
// nothing for another text.
std::optional<Loudness> ParseLoudness(std::string_view text);
// What ParseLoudness reads back: "off", "match", "-14", "-16.5".
std::string LoudnessText(const Loudness& loudness);

// Applies a gain to interleaved 16-bit stereo frames and limits them so that their true peak
// (between the samples, as a 4-times oversampling sees it) stays under a ceiling. It looks
// ahead, so its output lags its input by Delay() frames: Flush gives the last ones.
class TruePeakLimiter {
  public:
    // gainDb: the gain; ceilingDb: in dB of full scale, a little under the one that must hold,
    // for the rounding to 16 bits.
    TruePeakLimiter(unsigned rate, double gainDb, double ceilingDb);

    std::size_t Delay() const { return m_delay; }
    // frames in, as many out, Delay() frames later (a fresh limiter's first are silence).
    // out may be in.
    void Process(const std::int16_t* in, std::int16_t* out, std::size_t frames);
    // The last Delay() frames put in, into out; the limiter then starts afresh.
    void Flush(std::int16_t* out);
    // From the next frame on the gain glides to gainDb (a live gain that follows a measure).
    void GlideTo(double gainDb) { m_targetGain = std::pow(10.0, gainDb / 20.0); }

  private:
    void Reset();
    void Step(float left, float right, std::int16_t* out);
    double Required() const;

    double m_gain;
    double m_targetGain;
    double m_glide;  // the share of the way to the target gain each frame goes
    double m_ceiling;
    double m_release;  // the share of the way back to no reduction each frame goes
    std::size_t m_lookahead;
    std::size_t m_delay;
    std::vector<float> m_history;  // per channel, the taps' worth of gained samples, twice
    std::size_t m_at = 0;          // where the next sample goes in each channel's history
    std::deque<std::pair<std::size_t, double>> m_minima;  // rising: (frame, required gain)
    std::vector<double> m_released;  // the last m_lookahead released minima, a ring
    std::vector<float> m_delayed;    // gained frames, m_delay of them, a ring
    double m_sum = 0;                // of m_released
    double m_lastReleased = 1;
    std::size_t m_frame = 0;
};

#include "analysis/suggest_settings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <span>
#include <utility>

#include "analysis/band_filters.h"
#include "processing/fast_frames.h"
#include "processing/processing.h"
#include "trackbars/parameters.h"

namespace {

constexpr std::size_t kWarmupFrames = 2048;  // the filters settle before anything is measured
constexpr double kBassHz = 200.0;
// The band the voice is weighed in: where it is strongest, and where the centred bass and
// kick, which the mix's centre also holds, have little.
constexpr double kVoiceLowHz = 200.0;
constexpr double kVoiceHighHz = 5000.0;
constexpr double kBassAllowanceDb = 1.0;
constexpr double kBassPenalty = 6.0;  // score lost per dB of bass lost beyond the allowance
constexpr std::size_t kMaxCutoffTries = 24;
constexpr std::uint64_t kEdgeFrames = 5 * 44100;
constexpr int kUnityLevel = 25;  // the level position whose gain is 1
// The stereo mode's band: its lower edge ends below 150 Hz and its upper one starts above
// 8 kHz only where the bench's songs lost bass or treble, so these sit just inside them.
constexpr int kStereoLow = 6;    // 190 Hz
constexpr int kStereoHigh = 57;  // 10,875 Hz
constexpr int kStereoFocus = 50;

// The sum of (x - k b)^2 over a channel's frames past the warm-up, kept as its three sums:
// mode 2 subtracts a band of the other channel, b, scaled by the pan and level gains, from
// the channel x, so one run at unit gains gives the energy of the output at every gain k.
struct Quadratic {
    double xx = 0;
    double xb = 0;
    double bb = 0;

    double At(double k) const { return xx - 2.0 * k * xb + k * k * bb; }

    void Add(std::span<const double> x, std::span<const double> b) {
        for (std::size_t i = kWarmupFrames; i < x.size(); ++i) {
            xx += x[i] * x[i];
            xb += x[i] * b[i];
            bb += b[i] * b[i];
        }
    }
};

// The measures the score weighs, of one channel.
template <typename T>
struct Measures {
    T voice;  // the voice's part, in the voice's band
    T rest;   // the rest, every frequency
    T bass;   // the whole mix below 200 Hz
};

using Signals = Measures<std::vector<double>>;

// One excerpt split into the voice's part and the rest, as the processing takes them and
// as it attenuates them on input, with each input channel as the measures see it.
struct Excerpt {
    std::vector<unsigned char> voice;
    std::vector<unsigned char> rest;
    std::vector<unsigned char> voiceIn;
    std::vector<unsigned char> restIn;
    std::array<Signals, 2> in;
    std::vector<unsigned char> mix;                // the excerpt as it is
    std::array<std::vector<double>, 2> mixBand{};  // attenuated on input, in the voice's band
};

std::int16_t ToSample(double x) {
    return static_cast<std::int16_t>(std::clamp(std::lround(x), -32768L, 32767L));
}

double SampleAt(const std::vector<unsigned char>& bytes, std::size_t index) {
    return static_cast<std::int16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

// Through two sections of the filter: the measures' slopes are fourth-order.
void Filter(std::vector<double>& x, Biquad section) {
    Biquad second = section;
    for (double& v : x) {
        v = second.Step(section.Step(v));
    }
}

// Through the filters that weigh the voice.
void VoiceFilter(std::vector<double>& x) {
    Filter(x, HighPass(kVoiceLowHz));
    Filter(x, LowPass(kVoiceHighHz));
}

// A channel of each part, less the same channel of each part's processed output when given,
// through the measures' filters.
void Measure(const std::vector<unsigned char>& voice, const std::vector<unsigned char>& rest,
             const std::vector<unsigned char>* voiceOut, const std::vector<unsigned char>* restOut,
             std::size_t channel, Signals& s) {
    const std::size_t count = voice.size() / 4;
    s.voice.resize(count);
    s.rest.resize(count);
    s.bass.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 2 * i + channel;
        s.voice[i] = SampleAt(voice, at) - (voiceOut != nullptr ? SampleAt(*voiceOut, at) : 0.0);
        s.rest[i] = SampleAt(rest, at) - (restOut != nullptr ? SampleAt(*restOut, at) : 0.0);
        s.bass[i] = s.voice[i] + s.rest[i];
    }
    VoiceFilter(s.voice);
    Filter(s.bass, LowPass(kBassHz));
}

void Process(std::vector<unsigned char>& bytes, const ProcessingParameters& params) {
    FrameState frames;
    ProcessFrames(frames, params, bytes.data(), bytes.size() / 4);
}

// A channel of frames through the filters that weigh the voice.
std::vector<double> VoiceBand(const std::vector<unsigned char>& frames, std::size_t channel) {
    std::vector<double> x(frames.size() / 4);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = SampleAt(frames, 2 * i + channel);
    }
    VoiceFilter(x);
    return x;
}

// Projects every frame on the voice's direction (unit vector a, c).
Excerpt Split(const StereoFrames& frames, double a, double c) {
    const std::size_t count = frames.size() / 2;
    Excerpt e;
    e.voice.resize(4 * count);
    e.rest.resize(4 * count);
    e.mix.resize(4 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const double l = frames[2 * i];
        const double r = frames[2 * i + 1];
        const double m = a * l + c * r;
        StoreFrameSample(e.voice.data() + 4 * i, {ToSample(a * m), ToSample(c * m)});
        StoreFrameSample(e.rest.data() + 4 * i, {ToSample(l - a * m), ToSample(r - c * m)});
        StoreFrameSample(e.mix.data() + 4 * i, {frames[2 * i], frames[2 * i + 1]});
    }
    ProcessingParameters original;
    ApplyPositions({0, 0, 0, kUnityLevel, kUnityLevel}, original);
    original.mode = PlayMode::Original;
    e.voiceIn = e.voice;
    e.restIn = e.rest;
    Process(e.voiceIn, original);
    Process(e.restIn, original);
    std::vector<unsigned char> mixIn = e.mix;
    Process(mixIn, original);
    for (std::size_t channel = 0; channel < 2; ++channel) {
        Measure(e.voiceIn, e.restIn, nullptr, nullptr, channel, e.in[channel]);
        e.mixBand[channel] = VoiceBand(mixIn, channel);
    }
    return e;
}

double Db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-12));
}

struct Scored {
    double score = -1e300;
    Positions at;
};

struct Search {
    std::vector<Excerpt> excerpts;
    std::map<std::pair<int, int>, Scored> tried;
    // The voice the start-up positions remove, in dB: no suggestion removes less.
    double leastRemovedDb = -1e300;
    // Reused from one try to the next.
    std::vector<unsigned char> voiceOut;
    std::vector<unsigned char> restOut;
    Signals band;

    // Sums of each output channel for the cut-offs.
    std::array<Measures<Quadratic>, 2> SumsFor(int low, int high) {
        ProcessingParameters unity;
        ApplyPositions({0, low, high, kUnityLevel, kUnityLevel}, unity);
        std::array<Measures<Quadratic>, 2> sums;
        for (const Excerpt& e : excerpts) {
            voiceOut.assign(e.voice.begin(), e.voice.end());
            restOut.assign(e.rest.begin(), e.rest.end());
            Process(voiceOut, unity);
            Process(restOut, unity);
            for (std::size_t channel = 0; channel < 2; ++channel) {
                Measure(e.voiceIn, e.restIn, &voiceOut, &restOut, channel, band);
                const Signals& in = e.in[channel];
                sums[channel].voice.Add(in.voice, band.voice);
                sums[channel].rest.Add(in.rest, band.rest);
                sums[channel].bass.Add(in.bass, band.bass);
            }
        }
        return sums;
    }

    // The best pan and levels for the cut-offs: the score is the voice removed plus the
    // level the rest keeps, less what the bass loses beyond the allowance.
    Scored Best(int low, int high) {
        if (const auto found = tried.find({low, high}); found != tried.end()) {
            return found->second;
        }
        const std::array<Measures<Quadratic>, 2> s = SumsFor(low, high);
        const double voiceIn = s[0].voice.xx + s[1].voice.xx;
        const double restIn = s[0].rest.xx + s[1].rest.xx;
        const double bassIn = s[0].bass.xx + s[1].bass.xx;
        Scored best;
        for (int pan = -30; pan <= 30; ++pan) {
            const PanGains gains = PanMapping(pan);
            for (int left = 0; left <= 25; ++left) {
                // The right output loses the left channel's band at the left level.
                const double kR = static_cast<double>(gains.gainR) * ChannelGainFor(left);
                for (int right = 0; right <= 25; ++right) {
                    const double kL = static_cast<double>(gains.gainL) * ChannelGainFor(right);
                    const double voice = s[0].voice.At(kL) + s[1].voice.At(kR);
                    const double rest = s[0].rest.At(kL) + s[1].rest.At(kR);
                    const double bass = s[0].bass.At(kL) + s[1].bass.At(kR);
                    const double removed = Db(voiceIn / voice);
                    if (removed < leastRemovedDb) {
                        continue;
                    }
                    const double bassLost = Db(bassIn / bass);
                    const double score = removed + Db(rest / restIn) -
                                         kBassPenalty * std::max(0.0, bassLost - kBassAllowanceDb);
                    if (score > best.score) {
                        best = {score, {pan, low, high, left, right}};
                    }
                }
            }
        }
        tried.emplace(std::make_pair(low, high), best);
        return best;
    }

    // What the positions remove of the excerpts as they are, in the voice's band, in dB, as
    // the processing removes it: the excerpts processed at the positions against the same
    // attenuated on input.
    double ProcessedRemovedDb(const Positions& p) {
        ProcessingParameters params;
        ApplyPositions(p, params);
        params.mode = PlayMode::Mode2;
        double in = 0;
        double out = 0;
        for (const Excerpt& e : excerpts) {
            voiceOut.assign(e.mix.begin(), e.mix.end());
            Process(voiceOut, params);
            for (std::size_t channel = 0; channel < 2; ++channel) {
                const std::vector<double> processed = VoiceBand(voiceOut, channel);
                for (std::size_t i = kWarmupFrames; i < processed.size(); ++i) {
                    in += e.mixBand[channel][i] * e.mixBand[channel][i];
                    out += processed[i] * processed[i];
                }
            }
        }
        return Db(in / std::max(out, 1e-12));
    }

    // The voice the positions remove, in dB, on the excerpts.
    double RemovedDb(const Positions& p) {
        const std::array<Measures<Quadratic>, 2> s = SumsFor(p.low, p.high);
        const PanGains gains = PanMapping(p.pan);
        const double kR = static_cast<double>(gains.gainR) * ChannelGainFor(p.left);
        const double kL = static_cast<double>(gains.gainL) * ChannelGainFor(p.right);
        return Db((s[0].voice.xx + s[1].voice.xx) / (s[0].voice.At(kL) + s[1].voice.At(kR)));
    }
};

// The low cut-off decides most (it sets where the voice's fundamental is taken out, and
// the score is uneven along it), the high one little: every low position a voice can use
// first, then a coordinate search from the best, with ever smaller steps.
Positions Climb(Search& search) {
    constexpr int kFirstHigh = 64;
    // The start-up cut-offs first: the start-up positions among them always qualify.
    const Positions startUp;
    Scored best = search.Best(startUp.low, startUp.high);
    for (const int low : {0, 1, 2, 3, 4, 6, 8, 12}) {
        if (const Scored next = search.Best(low, kFirstHigh); next.score > best.score) {
            best = next;
        }
    }
    for (const int step : {4, 2, 1}) {
        bool improved = true;
        while (improved && search.tried.size() < kMaxCutoffTries) {
            improved = false;
            for (const auto& [dLow, dHigh] : {std::pair{0, -2 * step}, std::pair{0, 2 * step},
                                              std::pair{-step, 0}, std::pair{step, 0}}) {
                if (search.tried.size() >= kMaxCutoffTries) {
                    break;
                }
                const Scored next = search.Best(std::clamp(best.at.low + dLow, 0, 40),
                                                std::clamp(best.at.high + dHigh, 0, 80));
                if (next.score > best.score) {
                    best = next;
                    improved = true;
                }
            }
        }
    }
    return best.at;
}

std::vector<std::uint64_t> SpreadStarts(std::uint64_t totalFrames, std::size_t most,
                                        std::uint64_t edge) {
    if (totalFrames < kSuggestExcerptFrames) {
        return totalFrames > 0 ? std::vector<std::uint64_t>{0} : std::vector<std::uint64_t>{};
    }
    std::vector<std::uint64_t> starts;
    const std::uint64_t span = totalFrames - 2 * edge - kSuggestExcerptFrames;
    const std::uint64_t count = std::min<std::uint64_t>(most, 1 + span / kSuggestExcerptFrames);
    for (std::uint64_t i = 0; i < count; ++i) {
        starts.push_back(edge + (count == 1 ? span / 2 : span * i / (count - 1)));
    }
    return starts;
}

}  // namespace

std::vector<std::uint64_t> SuggestExcerptStarts(std::uint64_t totalFrames) {
    return SpreadStarts(totalFrames, kSuggestExcerpts,
                        totalFrames >= 4 * kEdgeFrames ? kEdgeFrames : 0);
}

// The voice's direction reads the intro and the ending too: a song may sing there most.
std::vector<std::uint64_t> VoiceExcerptStarts(std::uint64_t totalFrames) {
    return SpreadStarts(totalFrames, kVoiceExcerpts, 0);
}

Positions SuggestSettings(const std::vector<StereoFrames>& excerpts) {
    const double balanceDb = CentreBalanceDb(excerpts);
    const double ratio = std::pow(10.0, balanceDb / 20.0);
    const double norm = std::sqrt(ratio * ratio + 1.0);
    Search search;
    double voiceIn = 0;
    double restIn = 0;
    for (const StereoFrames& frames : excerpts) {
        if (frames.size() / 2 <= 2 * kWarmupFrames) {
            continue;
        }
        search.excerpts.push_back(Split(frames, ratio / norm, 1.0 / norm));
        for (const Signals& s : search.excerpts.back().in) {
            Quadratic q;
            q.Add(s.voice, s.rest);
            voiceIn += q.xx;
            restIn += q.bb;
        }
    }
    if (voiceIn <= 0 || restIn <= 0) {
        return Positions{};
    }
    // Whatever the score makes of a mix (a lone centred tone leaves next to nothing but the
    // voice, and the score's measure of the rest is then noise), a suggestion removes at
    // least as much of the voice as the start-up positions do on the same excerpts.
    // The search weighs its candidates by a model of the processing; the one it finds is
    // checked by the processing itself, and the start-up positions stand where it falls short.
    constexpr double kRounding = 1e-9;
    search.leastRemovedDb = search.RemovedDb(Positions{}) - kRounding;
    Positions suggested = Climb(search);
    suggested.outputLevel = Positions{}.outputLevel;
    return search.ProcessedRemovedDb(suggested) >= search.ProcessedRemovedDb(Positions{})
               ? suggested
               : Positions{};
}

Positions SuggestStereoSettings(const std::vector<StereoFrames>& excerpts) {
    return {.pan = PanForAim(VoiceAngle(excerpts)),
            .low = kStereoLow,
            .high = kStereoHigh,
            .focus = kStereoFocus};
}

int PanForAim(double angle) {
    const KnobRow& pan = RowOf(Knob::Pan);
    const double quarter = std::numbers::pi / 4;
    const double position = (1.0 - angle / quarter) * pan.max;
    if (!std::isfinite(position)) {
        return pan.start;
    }
    return static_cast<int>(
        std::clamp(std::lround(position), static_cast<long>(pan.min), static_cast<long>(pan.max)));
}

std::string RenderOptionsFor(const Positions& p) {
    std::string options;
    for (const Knob knob : {Knob::Pan, Knob::Low, Knob::High, Knob::Left, Knob::Right}) {
        options += std::string(options.empty() ? "--" : " --") + RowOf(knob).name + " " +
                   std::to_string(PositionOf(p, knob));
    }
    return options;
}

#include "suggest_settings.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "band_filters.h"
#include "fast_frames.h"
#include "parameters.h"
#include "processing.h"

namespace {

constexpr std::size_t kWarmupFrames = 4096;  // the filters settle before anything is measured
constexpr double kSplitHz = 200.0;
constexpr double kBassAllowanceDb = 1.0;
constexpr double kBassPenalty = 2.0;  // score lost per dB of bass lost beyond the allowance
constexpr int kMaxEvaluations = 120;
constexpr std::uint64_t kEdgeFrames = 5 * 44100;

// One excerpt split into the voice's part and the rest, as the processing takes them.
struct SplitExcerpt {
    std::vector<unsigned char> voice;
    std::vector<unsigned char> rest;
};

// Energies of the outputs the score compares; the reference holds those of the input at
// the processing's fixed attenuation.
struct Energies {
    double voice = 0;  // the voice's part above 200 Hz
    double rest = 0;   // the rest, every frequency
    double bass = 0;   // the whole mix below 200 Hz
};

std::int16_t ToSample(double x) {
    return static_cast<std::int16_t>(std::clamp(std::lround(x), -32768L, 32767L));
}

void PutFrame(std::vector<unsigned char>& bytes, std::size_t frame, double l, double r) {
    const auto left = static_cast<std::uint16_t>(ToSample(l));
    const auto right = static_cast<std::uint16_t>(ToSample(r));
    unsigned char* p = bytes.data() + 4 * frame;
    p[0] = static_cast<unsigned char>(left);
    p[1] = static_cast<unsigned char>(left >> 8);
    p[2] = static_cast<unsigned char>(right);
    p[3] = static_cast<unsigned char>(right >> 8);
}

double SampleAt(const std::vector<unsigned char>& bytes, std::size_t index) {
    return static_cast<std::int16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

// Projects every frame on the voice's direction (unit vector a, c).
SplitExcerpt Split(const StereoFrames& frames, double a, double c) {
    const std::size_t count = frames.size() / 2;
    SplitExcerpt split{std::vector<unsigned char>(4 * count),
                       std::vector<unsigned char>(4 * count)};
    for (std::size_t i = 0; i < count; ++i) {
        const double l = frames[2 * i];
        const double r = frames[2 * i + 1];
        const double m = a * l + c * r;
        PutFrame(split.voice, i, a * m, c * m);
        PutFrame(split.rest, i, l - a * m, r - c * m);
    }
    return split;
}

// Energy of both channels through a fourth-order filter, past the warm-up.
template <typename MakeFilter>
double FilteredEnergy(const std::vector<unsigned char>& bytes, double scale, MakeFilter make,
                      const std::vector<unsigned char>* add = nullptr) {
    double energy = 0;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        Biquad first = make();
        Biquad second = make();
        const std::size_t count = bytes.size() / 4;
        for (std::size_t i = 0; i < count; ++i) {
            double x = SampleAt(bytes, 2 * i + channel);
            if (add != nullptr) {
                x += SampleAt(*add, 2 * i + channel);
            }
            const double y = second.Step(first.Step(x * scale));
            if (i >= kWarmupFrames) {
                energy += y * y;
            }
        }
    }
    return energy;
}

double PlainEnergy(const std::vector<unsigned char>& bytes, double scale) {
    double energy = 0;
    for (std::size_t i = kWarmupFrames * 2; i < bytes.size() / 2; ++i) {
        const double x = SampleAt(bytes, i) * scale;
        energy += x * x;
    }
    return energy;
}

Energies Measure(const std::vector<unsigned char>& voice, const std::vector<unsigned char>& rest,
                 double scale) {
    return {FilteredEnergy(voice, scale, [] { return HighPass(kSplitHz); }),
            PlainEnergy(rest, scale),
            FilteredEnergy(
                voice, scale, [] { return LowPass(kSplitHz); }, &rest)};
}

double Db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-12));
}

struct Search {
    std::vector<SplitExcerpt> excerpts;
    Energies reference;
    std::map<TrackbarPositions, double> scores;

    double Score(const TrackbarPositions& p) {
        if (const auto found = scores.find(p); found != scores.end()) {
            return found->second;
        }
        WindowState state;
        state.m_nPan = p.pan;
        state.m_nLowSlider = p.low;
        state.m_nHighSlider = p.high;
        state.m_nLeftSlider = p.left;
        state.m_nRightSlider = p.right;
        UpdateDerivedParameters(state);
        Energies out;
        for (const SplitExcerpt& excerpt : excerpts) {
            std::vector<unsigned char> voice = excerpt.voice;
            std::vector<unsigned char> rest = excerpt.rest;
            FrameState voiceState;
            ProcessFrames(voiceState, state, voice.data(), voice.size() / 4);
            FrameState restState;
            ProcessFrames(restState, state, rest.data(), rest.size() / 4);
            const Energies e = Measure(voice, rest, 1.0);
            out.voice += e.voice;
            out.rest += e.rest;
            out.bass += e.bass;
        }
        const double removed = Db(reference.voice / out.voice);
        const double kept = Db(out.rest / reference.rest);
        const double bassLost = Db(reference.bass / out.bass);
        const double score =
            removed + kept - kBassPenalty * std::max(0.0, bassLost - kBassAllowanceDb);
        scores.emplace(p, score);
        return score;
    }
};

// Pan position whose gains come nearest to the voice's amplitude ratio.
int PanFor(double balanceDb) {
    const double ratio = std::pow(10.0, std::abs(balanceDb) / 20.0);
    const int steps = static_cast<int>(std::lround((ratio - 1.0) / kPanStep));
    return std::clamp(balanceDb >= 0 ? steps : -steps, -30, 30);
}

struct Axis {
    int TrackbarPositions::*first;
    int TrackbarPositions::*second;  // moved together with the first when set
    int min;
    int max;
};

constexpr Axis kAxes[] = {
    {&TrackbarPositions::pan, nullptr, -30, 30},
    {&TrackbarPositions::low, nullptr, 0, 40},
    {&TrackbarPositions::high, nullptr, 0, 80},
    {&TrackbarPositions::left, nullptr, 0, 25},
    {&TrackbarPositions::right, nullptr, 0, 25},
    {&TrackbarPositions::left, &TrackbarPositions::right, 0, 25},
};

TrackbarPositions Moved(TrackbarPositions p, const Axis& axis, int by) {
    p.*axis.first = std::clamp(p.*axis.first + by, axis.min, axis.max);
    if (axis.second != nullptr) {
        p.*axis.second = std::clamp(p.*axis.second + by, axis.min, axis.max);
    }
    return p;
}

// Coordinate search: along each axis while the score rises, with ever smaller steps.
TrackbarPositions Climb(Search& search, TrackbarPositions best) {
    double bestScore = search.Score(best);
    for (const int step : {4, 2, 1}) {
        bool improved = true;
        while (improved && search.scores.size() < kMaxEvaluations) {
            improved = false;
            for (const Axis& axis : kAxes) {
                for (const int direction : {-1, 1}) {
                    const int by = direction * step *
                                   (axis.first == &TrackbarPositions::high ||
                                            axis.first == &TrackbarPositions::pan
                                        ? 2
                                        : 1);
                    for (;;) {
                        const TrackbarPositions next = Moved(best, axis, by);
                        if (next == best || search.scores.size() >= kMaxEvaluations) {
                            break;
                        }
                        const double score = search.Score(next);
                        if (score <= bestScore) {
                            break;
                        }
                        best = next;
                        bestScore = score;
                        improved = true;
                    }
                }
            }
        }
    }
    return best;
}

}  // namespace

std::vector<std::uint64_t> SuggestExcerptStarts(std::uint64_t totalFrames) {
    std::vector<std::uint64_t> starts;
    if (totalFrames < kSuggestExcerptFrames) {
        if (totalFrames > 0) {
            starts.push_back(0);
        }
        return starts;
    }
    const std::uint64_t edge = totalFrames >= 4 * kEdgeFrames ? kEdgeFrames : 0;
    const std::uint64_t span = totalFrames - 2 * edge - kSuggestExcerptFrames;
    const std::uint64_t count =
        std::min<std::uint64_t>(kSuggestExcerpts, 1 + span / kSuggestExcerptFrames);
    for (std::uint64_t i = 0; i < count; ++i) {
        starts.push_back(edge + (count == 1 ? span / 2 : span * i / (count - 1)));
    }
    return starts;
}

TrackbarPositions SuggestSettings(const std::vector<StereoFrames>& excerpts) {
    const double balanceDb = CentreBalanceDb(excerpts);
    const double ratio = std::pow(10.0, balanceDb / 20.0);
    const double norm = std::sqrt(ratio * ratio + 1.0);
    Search search;
    for (const StereoFrames& frames : excerpts) {
        if (frames.size() / 2 > 2 * kWarmupFrames) {
            search.excerpts.push_back(Split(frames, ratio / norm, 1.0 / norm));
        }
    }
    if (search.excerpts.empty()) {
        return kStartupPositions;
    }
    for (const SplitExcerpt& excerpt : search.excerpts) {
        const Energies e = Measure(excerpt.voice, excerpt.rest, kInputAttenuation);
        search.reference.voice += e.voice;
        search.reference.rest += e.rest;
        search.reference.bass += e.bass;
    }
    if (search.reference.voice <= 0 || search.reference.rest <= 0) {
        return kStartupPositions;
    }
    TrackbarPositions start{PanFor(balanceDb), 4, 70, 17, 17};
    return Climb(search, start);
}

std::string RenderOptionsFor(const TrackbarPositions& p) {
    return "--pan " + std::to_string(p.pan) + " --low " + std::to_string(p.low) + " --high " +
           std::to_string(p.high) + " --left " + std::to_string(p.left) + " --right " +
           std::to_string(p.right);
}

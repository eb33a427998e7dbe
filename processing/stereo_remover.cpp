#include "processing/stereo_remover.h"

#include "processing/medians.h"

#include <pffft.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <numbers>
#include <vector>

namespace {

// The transform's hops per window: a mask that changes from bin to bin and hop to hop needs
// the overlap to sound smooth. The synthesis window is divided by the windows' overlap, so any
// hop reconstructs exactly.
constexpr std::size_t kOverlap = 4;
// Transform sizes: the longest whose window fits in kMaxLatencySeconds, within these bounds
// (powers of two, as the transforms take them).
constexpr std::size_t kMinSize = 256;
constexpr std::size_t kMaxSize = 8192;
constexpr double kMaxLatencySeconds = 0.1;
// Width of the raised-cosine band edge at each cut-off, in octaves.
constexpr double kEdgeOctaves = 1.0 / 3.0;
// The angle from the aim, in the plane of the two channels, within which a bin counts as the
// aimed source's at the sharpest focus (the inner angle) and beyond which it is none of it
// (the outer); at focus 0 both are a right angle, so the whole projection on the aim goes.
constexpr double kSharpestOuter = 17.9 * std::numbers::pi / 180.0;
constexpr double kSharpestInnerShare = 0.7;
// Hops of the removed source's power that its reverberation is predicted from.
constexpr std::size_t kTailHops = 32;
// The reverberation's decay, the time it takes to fall 60 dB.
constexpr double kDecaySeconds = 1.6;
// The reverberation's power that one hop's source power leaves in the next hop.
constexpr double kTailShare = 0.05;
// The least gain the reverberation's removal leaves a bin at.
constexpr float kTailFloor = 0.3f;
// The voice's pitch is looked for between these, on partials up to kPitchReachHz, in steps
// of half a semitone, then of a twentieth of one. The lowest is just under a bass singer's
// low E (82 Hz): a pitch found below it is the bass guitar's, whose partials must stay.
constexpr double kLowestPitchHz = 80.0;
constexpr double kHighestPitchHz = 500.0;
constexpr double kPitchReachHz = 2500.0;
const double kPitchStep = std::pow(2.0, 1.0 / 240.0);
const double kCoarsePitchStep = std::pow(2.0, 1.0 / 24.0);
// A candidate within this share of the best score counts as a tie.
constexpr double kNearBest = 0.85;
// Fine steps each side of a multiple of the candidate that the multiple is looked for in.
constexpr int kMultipleSteps = 3;
// How far the best score must stand above the masked magnitude's mean for a pitch: a chord
// of the piano or the guitars at the aim scores too, and the pitch spares and follows
// partials that are then theirs.
constexpr double kPitchClarity = 20.0;
// A bin counts as broadband when its power along d is within this factor of its
// neighbours' median, taken over kNeighbourHz each side.
constexpr float kBroadbandShare = 3.5f;
constexpr double kNeighbourHz = 150.0;
constexpr std::size_t kMedianStride = 8;
using Floats4 = float __attribute__((vector_size(16)));
// The broadband test spares the bins within kSparedBins of a partial of the note's pitch,
// up to kSparedReachHz: above it a pitch's error, times the partial's number, is more than
// a bin.
constexpr double kSparedBins = 2.0;
constexpr double kSparedReachHz = 4000.0;
// Bins each side of a partial's frequency that its window's main lobe covers.
constexpr double kPartialBins = 1.0;
// Once the note's pitch is found, the mask takes its partials alone, each as wide as its
// window's main lobe plus the swing of vibrato and pitch error, a share of its frequency.
constexpr double kCombLobeBins = 1.5;
constexpr double kCombSwing = 0.02;
// Partials followed below the band: the lowest one alone. The next ones meet the bass's
// partials too often, the chords being built on the bass's notes.
constexpr int kPartialsBelow = 1;
// Partials are followed below the band up to where its lower edge begins to rise.
constexpr double kPitchEdgeShare = 1.26;
// Steps of the table of the mask's raised cosine.
constexpr std::size_t kRampSteps = 512;
// Keeps the estimate defined in a silent bin.
constexpr float kTinyPower = 1e-3f;
// The start-up channel level the left and right levels are relative to.
constexpr double kStartLevel = 2.2;

std::size_t SizeFor(unsigned sampleRate) {
    std::size_t size = kMinSize;
    while (size * 2 <= kMaxSize &&
           static_cast<double>(size * 2) <= kMaxLatencySeconds * sampleRate) {
        size *= 2;
    }
    return size;
}

struct SetupDeleter {
    void operator()(PFFFT_Setup* setup) const { pffft_destroy_setup(setup); }
};
using FftSetup = std::unique_ptr<PFFFT_Setup, SetupDeleter>;

FftSetup MakeSetup(std::size_t size) {
    FftSetup setup(pffft_new_setup(static_cast<int>(size), PFFFT_REAL));
    if (!setup) {
        throw std::bad_alloc();
    }
    return setup;
}

// The transforms read and write floats on vector-register boundaries.
struct AlignedDeleter {
    void operator()(float* p) const { pffft_aligned_free(p); }
};
using AlignedFloats = std::unique_ptr<float[], AlignedDeleter>;

AlignedFloats MakeAligned(std::size_t count) {
    AlignedFloats floats(static_cast<float*>(pffft_aligned_malloc(count * sizeof(float))));
    if (!floats) {
        throw std::bad_alloc();
    }
    std::fill_n(floats.get(), count, 0.0f);
    return floats;
}

double Finite(double value, double otherwise) {
    return std::isfinite(value) ? value : otherwise;
}

// What a hop reads of the parameters, sanitised: the fuzzers feed anything.
struct HopSettings {
    int lowCutoff = 0;
    int highCutoff = 0;
    double aim = std::numbers::pi / 4;
    double innerAngle = std::numbers::pi / 2;  // radians from the aim: wholly the source's
    double outerAngle = std::numbers::pi / 2;  // and none of it
    float innerShare = 0.0f;                   // the squared cosines of the two
    float outerShare = 0.0f;
    bool dereverb = false;  // whether the source's reverberation goes too

    bool operator==(const HopSettings&) const = default;
};

// The levels, read whenever frames go out, so that a level trackbar is heard at once.
struct Levels {
    float left = 1.0f;
    float right = 1.0f;
    float vocal = 1.0f;
};

// Focus 0 opens the window to a right angle (the channel difference), focus 1 narrows it to
// kSharpestOuter; the steps between are even in the ratio of the angles.
void SetWidth(double focus, HopSettings& s) {
    const double f = std::clamp(Finite(focus, 0.5), 0.0, 1.0);
    const double right = std::numbers::pi / 2;
    s.outerAngle = right * std::pow(kSharpestOuter / right, f);
    s.innerAngle = s.outerAngle * (1.0 - (1.0 - kSharpestInnerShare) * f);
    const auto squaredCosine = [](double angle) {
        const double c = std::cos(angle);
        return static_cast<float>(std::max(c * c, 0.0));
    };
    s.innerShare = s.innerAngle >= right ? 0.0f : squaredCosine(s.innerAngle);
    s.outerShare = s.outerAngle >= right ? 0.0f : squaredCosine(s.outerAngle);
}

HopSettings ReadSettings(const ProcessingParameters& params) {
    HopSettings s;
    s.lowCutoff = params.lowCutoff;
    s.highCutoff = params.highCutoff;
    s.aim = std::clamp(Finite(params.aim, std::numbers::pi / 4), 0.0, std::numbers::pi / 2);
    SetWidth(params.focus, s);
    s.dereverb = s.outerAngle < std::numbers::pi / 2;
    return s;
}

// Beyond any trackbar's reach; keeps every product of a level and a sample finite.
constexpr double kMaxLevel = 1e6;

Levels ReadLevels(const ProcessingParameters& params) {
    const auto bounded = [](double level) {
        return static_cast<float>(std::clamp(level, -kMaxLevel, kMaxLevel));
    };
    const double out = std::clamp(Finite(params.outputGain, 1.0), -kMaxLevel, kMaxLevel);
    const double left = Finite(params.leftGain, kStartLevel) / kStartLevel;
    const double right = Finite(params.rightGain, kStartLevel) / kStartLevel;
    return {bounded(left * out), bounded(right * out), static_cast<float>(out)};
}

// 0 below the edge's third of an octave, 1 above it, a raised cosine in log frequency between.
double RisingEdge(double hz, double cutoffHz) {
    if (!(hz > 0.0) || !(cutoffHz > 0.0)) {
        return hz > 0.0 ? 1.0 : 0.0;
    }
    const double octaves = std::log2(hz / cutoffHz) / kEdgeOctaves + 0.5;
    if (octaves <= 0.0) {
        return 0.0;
    }
    if (octaves >= 1.0) {
        return 1.0;
    }
    return 0.5 - 0.5 * std::cos(std::numbers::pi * octaves);
}

// Rounded to the nearest, halves away from zero; x is finite. Written without branches, so
// that a loop of them runs in vector registers.
std::int16_t ToSample(float x) {
    const float low = x < -32768.0f ? -32768.0f : x;
    const float y = low > 32767.0f ? 32767.0f : low;
    return static_cast<std::int16_t>(static_cast<int>(y + std::copysign(0.5f, y)));
}

// count frames out of a hop's left and right, each at its level, interleaved.
void Emit(const float* __restrict left, const float* __restrict right, float leftLevel,
          float rightLevel, std::int16_t* __restrict out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[2 * i] = ToSample(leftLevel * left[i]);
        out[2 * i + 1] = ToSample(rightLevel * right[i]);
    }
}

// A spectrum bin by bin, real and imaginary parts apart, so that the loops over the bins run
// in vector registers.
struct Spectrum {
    std::vector<float> re;
    std::vector<float> im;

    void Resize(std::size_t bins) {
        re.assign(bins, 0.0f);
        im.assign(bins, 0.0f);
    }
};

// A frequency as the pitch reads the spectrum there: between bin and bin + 1, frac of the way.
struct PitchPoint {
    std::size_t bin;
    double frac;
};

// The partials of f0 up to kPitchReachHz and the points halfway above them, in pairs.
void AppendPitchPoints(double f0, double binHz, std::vector<PitchPoint>& into) {
    const auto pointAt = [binHz](double hz) {
        const double bin = hz / binHz;
        const auto k = static_cast<std::size_t>(bin);
        return PitchPoint{k, bin - static_cast<double>(k)};
    };
    for (int h = 1; h * f0 < kPitchReachHz; ++h) {
        into.push_back(pointAt(h * f0));
        into.push_back(pointAt((h + 0.5) * f0));
    }
}

// Everything a run carries from hop to hop.
struct RemoverState {
    RemoverState(unsigned sampleRate, std::size_t fftSize)
        : rate(sampleRate),
          size(fftSize),
          hop(fftSize / kOverlap),
          bins(fftSize / 2 + 1),
          setup(MakeSetup(fftSize)),
          frame(MakeAligned(fftSize)),
          packed(MakeAligned(fftSize)),
          work(MakeAligned(fftSize)),
          estimate{MakeAligned(fftSize), MakeAligned(fftSize)},
          earlier{MakeAligned(fftSize), MakeAligned(fftSize)} {}

    double rate;
    std::size_t size;
    std::size_t hop;
    std::size_t bins;
    FftSetup setup;
    std::vector<float> analysis;   // Hann
    std::vector<float> synthesis;  // Hann over the windows' overlap, and 1 / size

    // The last size input frames, per channel; a hop's frames are appended at the end.
    std::array<std::vector<float>, 2> input;
    std::array<std::vector<float>, 2> guide;  // when the removal is decided on another signal
    bool guided = false;
    // Overlap-add of the removed part along d, per channel, from the window's first frame.
    std::array<std::vector<float>, 2> removed;
    // The hop of frames going out now, before the levels: the remainder and the removed part
    // of each channel.
    std::array<std::vector<float>, 2> ready;
    std::array<std::vector<float>, 2> readyRemoved;
    std::size_t phase = 0;  // frames of the current hop already put
    HopSettings settings;
    bool hopped = false;  // a hop ran since the start of the run
    // Whether estimate holds what the last hop added to removed, in the time domain.
    bool estimated = false;

    // The band weight of each bin for the cut-offs it was made for.
    std::vector<float> band;
    std::size_t bandFirst = 0;  // the bins of non-zero weight: bandFirst .. bandEnd - 1
    std::size_t bandEnd = 0;
    int bandLow = -1;
    int bandHigh = -1;
    // The mask's raised cosine, tabulated for the shares it was made for.
    std::array<float, kRampSteps + 1> ramp{};
    float rampInner = -1.0f;
    float rampOuter = -1.0f;
    float rampScale = 0.0f;

    // Scratch of one hop.
    AlignedFloats frame;   // a window of samples
    AlignedFloats packed;  // a spectrum as the transforms lay it out
    AlignedFloats work;
    std::array<AlignedFloats, 2> estimate;  // the window's removed part of each channel
    std::array<AlignedFloats, 2> earlier;   // an estimate being replaced
    std::array<Spectrum, 2> spectrum;
    std::array<Spectrum, 2> guideSpectrum;
    std::array<Spectrum, 2> removedSpectrum;
    std::vector<float> mask;  // each bin's share of the source, band-weighted
    // The power of the source the last kTailHops hops removed from the guide, per bin, the
    // newest at tailNewest, and the hop's own, entered when the next hop begins.
    std::array<std::vector<float>, kTailHops> tail;
    std::size_t tailNewest = 0;
    std::vector<float> direct;
    std::vector<float> reverb;  // the reverberation predicted for this hop, per bin
    std::vector<float> along;   // the guide's power along d, per bin
    std::vector<float> neighbours;
    std::vector<float> floors;  // the broadband test's floor of each run of kMedianStride bins
    std::vector<std::pair<std::size_t, float>> spared;  // bins the test spares, and their mask
    std::vector<float> magnitude;
    std::vector<double> scores;
    // Where the coarse candidates' partials and the points halfway between them fall: the same
    // at every hop, so found once. Pairs, candidate after candidate; each one's end.
    std::vector<PitchPoint> coarsePoints;
    std::vector<std::size_t> coarseEnds;
    std::vector<PitchPoint> finePoints;
    std::size_t lowFirst = 0;  // the first bin the mask may hold, below the band too
    std::size_t medianHalf = 8;
    std::array<float, kTailHops> tailWeights{};  // by age, from one hop on
};

using State = RemoverState;

void MakeWindows(State& s) {
    s.analysis.resize(s.size);
    for (std::size_t i = 0; i < s.size; ++i) {
        s.analysis[i] = static_cast<float>(
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / s.size));
    }
    // What the analysis and synthesis windows of the overlapping hops add up to at each frame:
    // dividing by it makes the chain an exact delay.
    s.synthesis.resize(s.size);
    for (std::size_t i = 0; i < s.size; ++i) {
        double overlap = 0.0;
        for (std::size_t k = i % s.hop; k < s.size; k += s.hop) {
            overlap += static_cast<double>(s.analysis[k]) * s.analysis[k];
        }
        s.synthesis[i] = static_cast<float>(s.analysis[i] / overlap / s.size);
    }
}

void RefreshBand(State& s) {
    const HopSettings& h = s.settings;
    if (h.lowCutoff == s.bandLow && h.highCutoff == s.bandHigh) {
        return;
    }
    s.bandFirst = s.bins;
    s.bandEnd = 0;
    for (std::size_t k = 0; k < s.bins; ++k) {
        const double hz = s.rate * static_cast<double>(k) / static_cast<double>(s.size);
        // The upper edge is the rising edge mirrored about its cut-off.
        const double upper =
            hz > 0.0
                ? RisingEdge(static_cast<double>(h.highCutoff) * h.highCutoff / hz, h.highCutoff)
                : 1.0;
        s.band[k] = static_cast<float>(RisingEdge(hz, h.lowCutoff) * upper);
        if (s.band[k] > 0.0f) {
            s.bandFirst = std::min(s.bandFirst, k);
            s.bandEnd = k + 1;
        }
    }
    s.bandLow = h.lowCutoff;
    s.bandHigh = h.highCutoff;
}

// The transforms pack the two real bins, 0 and size / 2, into the first pair.
void Unpack(const State& s, Spectrum& spectrum) {
    const float* p = s.packed.get();
    const std::size_t last = s.bins - 1;
    spectrum.re[0] = p[0];
    spectrum.im[0] = 0.0f;
    spectrum.re[last] = p[1];
    spectrum.im[last] = 0.0f;
    for (std::size_t k = 1; k < last; ++k) {
        spectrum.re[k] = p[2 * k];
        spectrum.im[k] = p[2 * k + 1];
    }
}

void Pack(State& s, const Spectrum& spectrum) {
    float* p = s.packed.get();
    const std::size_t last = s.bins - 1;
    p[0] = spectrum.re[0];
    p[1] = spectrum.re[last];
    for (std::size_t k = 1; k < last; ++k) {
        p[2 * k] = spectrum.re[k];
        p[2 * k + 1] = spectrum.im[k];
    }
}

void Transform(State& s, const std::vector<float>& samples, Spectrum& spectrum) {
    float* frame = s.frame.get();
    for (std::size_t i = 0; i < s.size; ++i) {
        frame[i] = samples[i] * s.analysis[i];
    }
    pffft_transform_ordered(s.setup.get(), frame, s.packed.get(), s.work.get(), PFFFT_FORWARD);
    Unpack(s, spectrum);
}

// The loops over the bins take their arrays as restrict-qualified pointers: the compiler
// then knows they do not overlap, and runs them in vector registers.

struct Direction {
    float left;
    float right;
};

Direction Along(const HopSettings& settings) {
    return {static_cast<float>(std::cos(settings.aim)), static_cast<float>(std::sin(settings.aim))};
}

// A bin's power along d and in all, of the guide's spectra or the channels'.
struct BinPower {
    float along;
    float total;
};

BinPower PowerOf(const std::array<Spectrum, 2>& spectrum, const Direction& d, std::size_t k) {
    const Spectrum& l = spectrum[0];
    const Spectrum& r = spectrum[1];
    const float pRe = d.left * l.re[k] + d.right * r.re[k];
    const float pIm = d.left * l.im[k] + d.right * r.im[k];
    return {pRe * pRe + pIm * pIm,
            l.re[k] * l.re[k] + l.im[k] * l.im[k] + r.re[k] * r.re[k] + r.im[k] * r.im[k]};
}

// The raised cosine between the outer and the inner angle, tabulated over the share along d
// for the settings of the hop: an arc cosine a bin would cost more than the rest of the mask.
void RefreshRamp(State& s) {
    const HopSettings& h = s.settings;
    if (h.innerShare == s.rampInner && h.outerShare == s.rampOuter) {
        return;
    }
    s.rampInner = h.innerShare;
    s.rampOuter = h.outerShare;
    const double span = static_cast<double>(h.innerShare) - h.outerShare;
    s.rampScale = span > 0.0 ? static_cast<float>(kRampSteps / span) : 0.0f;
    for (std::size_t i = 0; i <= kRampSteps; ++i) {
        const double share = h.outerShare + span * static_cast<double>(i) / kRampSteps;
        const double angle = std::acos(std::sqrt(std::clamp(share, 0.0, 1.0)));
        const double t =
            std::clamp((angle - h.innerAngle) / (h.outerAngle - h.innerAngle), 0.0, 1.0);
        s.ramp[i] = static_cast<float>(0.5 + 0.5 * std::cos(std::numbers::pi * t));
    }
}

// Each bin's power along d into along, and its share of the bin's power into share: a loop of
// arithmetic alone, which runs in vector registers.
void AlongShares(const std::array<Spectrum, 2>& spectrum, const Direction& d, std::size_t first,
                 std::size_t end, float* __restrict along, float* __restrict share) {
    const float* __restrict lRe = spectrum[0].re.data();
    const float* __restrict lIm = spectrum[0].im.data();
    const float* __restrict rRe = spectrum[1].re.data();
    const float* __restrict rIm = spectrum[1].im.data();
    for (std::size_t k = first; k < end; ++k) {
        const float pRe = d.left * lRe[k] + d.right * rRe[k];
        const float pIm = d.left * lIm[k] + d.right * rIm[k];
        const float total = lRe[k] * lRe[k] + lIm[k] * lIm[k] + rRe[k] * rRe[k] + rIm[k] * rIm[k];
        along[k] = pRe * pRe + pIm * pIm;
        share[k] = along[k] / (total + kTinyPower);
    }
}

// Each bin's share of the source along d, from how much of the bin's power lies along d: 1 up
// to the inner angle, 0 beyond the outer one, a raised cosine between. Sound along d is
// passed whole whatever the focus, so a sharper focus never removes less of it.
void AlignmentMask(State& s, const Direction& d, float* __restrict mask) {
    // The broadband test and the pitch read the power along d too.
    AlongShares(s.guided ? s.guideSpectrum : s.spectrum, d, s.bandFirst, s.bandEnd, s.along.data(),
                mask);
    const HopSettings& h = s.settings;
    for (std::size_t k = s.bandFirst; k < s.bandEnd; ++k) {
        const float share = mask[k];
        float weight = 1.0f;
        if (share < h.innerShare) {
            if (share <= h.outerShare) {
                weight = 0.0f;
            } else {
                const float x = (share - h.outerShare) * s.rampScale;
                const auto i = std::min(static_cast<std::size_t>(x), kRampSteps - 1);
                const float t = x - static_cast<float>(i);
                weight = s.ramp[i] + t * (s.ramp[i + 1] - s.ramp[i]);
            }
        }
        mask[k] = weight * s.band[k];
    }
}

// Whether bin k lies within kSparedBins of a partial of f0 (0: no pitch) up to kSparedReachHz.
bool OnPartial(const State& s, std::size_t k, double f0) {
    if (!(f0 > 0.0)) {
        return false;
    }
    const double binHz = s.rate / static_cast<double>(s.size);
    const double hz = static_cast<double>(k) * binHz;
    if (hz > kSparedReachHz + kSparedBins * binHz) {
        return false;
    }
    const double partial = std::round(hz / f0) * f0;
    return partial >= f0 && partial <= kSparedReachHz &&
           std::abs(hz - partial) <= kSparedBins * binHz;
}

// Notes the bins of the band that lie on a partial of f0 (0: no pitch) the broadband test
// spares, with their mask.
void NoteSpared(State& s, double f0) {
    s.spared.clear();
    if (!(f0 > 0.0)) {
        return;
    }
    const double binHz = s.rate / static_cast<double>(s.size);
    const auto reach = static_cast<std::ptrdiff_t>(std::ceil(kSparedBins)) + 1;
    for (int n = 1; n * f0 <= kSparedReachHz; ++n) {
        const auto centre = static_cast<std::ptrdiff_t>(n * f0 / binHz);
        const auto from = std::max(static_cast<std::ptrdiff_t>(s.bandFirst), centre - reach);
        const auto to = std::min(static_cast<std::ptrdiff_t>(s.bandEnd), centre + reach + 1);
        for (std::ptrdiff_t k = from; k < to; ++k) {
            const auto bin = static_cast<std::size_t>(k);
            if (OnPartial(s, bin, f0)) {
                s.spared.push_back({bin, s.mask[bin]});
            }
        }
    }
}

// mask *= how far each bin's power along d stands above floor, as a share of it.
void PeakShare(const float* __restrict along, float floor, float* __restrict mask,
               std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        mask[k] *= along[k] > floor ? 1.0f - floor / (along[k] + kTinyPower) : 0.0f;
    }
}

// Keeps in the mix what is spread across the spectrum at the aim (drums, the noise of a
// cymbal) and lets the mask take what stands out as a peak (a sung note's partials): each
// bin's magnitude along d against the median of its neighbours' in frequency. The partials
// of the note's pitch f0 are spared the test: a low voice's upper partials, smeared by its
// vibrato across the few bins between them, would pass for broadband.
void KeepBroadband(State& s, double f0) {
    const std::size_t first = s.bandFirst;
    const std::size_t end = s.bandEnd;
    // One median for each run of kMedianStride bins, taken around the run's middle: the
    // neighbourhood is wider than a run, and a median a bin would be most of a hop's cost. It
    // holds the even bins: the median is as steady, from half the values.
    const std::size_t half = s.medianHalf;
    const auto startOf = [&](std::size_t centre) {
        const std::size_t start = centre >= first + half ? centre - half : first;
        return start + (start & 1);
    };
    float* values = s.neighbours.data();
    std::size_t runs = 0;
    for (std::size_t run = first; run < end; run += kMedianStride, ++runs) {
        // Four whole runs whose neighbourhoods lie within the band hold as many values each.
        const std::size_t centre = run + kMedianStride / 2;
        const std::size_t lastCentre = centre + 3 * kMedianStride;
        const std::size_t each = (centre + half + 2 - startOf(centre)) / 2;
        if (centre >= first + half && lastCentre + half + 1 <= end &&
            run + 4 * kMedianStride <= end && each > 0 && each <= kMedianWidth) {
            const std::array<std::size_t, 4> from{startOf(centre), startOf(centre + kMedianStride),
                                                  startOf(centre + 2 * kMedianStride),
                                                  startOf(lastCentre)};
            const std::array<float, 4> medians = MediansOf4(s.along.data(), from, each);
            for (std::size_t lane = 0; lane < 4; ++lane) {
                s.floors[runs + lane] = kBroadbandShare * medians[lane];
            }
            run += 3 * kMedianStride;
            runs += 3;
            continue;
        }
        const std::size_t runEnd = std::min(end, run + kMedianStride);
        const std::size_t middle = (run + runEnd) / 2;
        const std::size_t reach = std::min(end, middle + half + 1);
        std::size_t count = 0;
        for (std::size_t k = startOf(middle); k < reach; k += 2) {
            values[count++] = s.along[k];
        }
        s.floors[runs] = count > 0 ? kBroadbandShare * MedianOf(values, count) : 0.0f;
    }
    // The bins on a partial the test spares keep their mask: noted before the test and put
    // back after it, so that the test runs over the whole band, run by run of one floor, in
    // vector registers.
    NoteSpared(s, f0);
    for (std::size_t run = 0; first + run * kMedianStride < end; ++run) {
        const std::size_t from = first + run * kMedianStride;
        PeakShare(s.along.data() + from, s.floors[run], s.mask.data() + from,
                  std::min(kMedianStride, end - from));
    }
    for (const auto& [k, mask] : s.spared) {
        s.mask[k] = mask;
    }
}

// Lets through what sounds at the aim between the partials of the note's pitch f0 (a chord of
// the brass or the piano beside the voice): the mask keeps only the bins on the partials.
void KeepBetweenPartials(State& s, double f0) {
    if (!(f0 > 0.0)) {
        return;
    }
    const double binHz = s.rate / static_cast<double>(s.size);
    const auto end = static_cast<double>(s.bandEnd);
    double from = static_cast<double>(s.bandFirst);
    for (double partial = f0 / binHz; from < end; partial += f0 / binHz) {
        const double reach = kCombLobeBins + kCombSwing * partial;
        const double gapEnd = std::min(end, std::ceil(partial - reach));
        for (auto k = static_cast<std::size_t>(from); static_cast<double>(k) < gapEnd; ++k) {
            s.mask[k] = 0.0f;
        }
        from = std::max(from, std::floor(partial + reach) + 1.0);
    }
}

// A sub-multiple of a pitch scores about as the pitch does, and the coarse step that happens
// to lie nearer a sub-multiple than the pitch scores higher: the multiples of the refined
// candidate f0 (of score) are scored finely too, and the highest near its score is taken.
template <typename ScoreAt>
double HighestMultiple(double f0, double score, const ScoreAt& scoreAt) {
    double best = f0;
    for (int m = 2; f0 * m <= kHighestPitchHz; ++m) {
        double top = 0.0;
        for (int step = -kMultipleSteps; step <= kMultipleSteps; ++step) {
            const double candidate = f0 * m * std::pow(kPitchStep, step);
            if (const double at = scoreAt(candidate); at > top) {
                top = at;
                if (top >= kNearBest * score) {
                    best = candidate;
                }
            }
        }
    }
    return best;
}

// The pitch of the note the alignment took, from its partials in band: the candidate whose
// multiples hold the most of the masked magnitude against the points halfway between them.
// 0 when no candidate stands out.
double MaskedPitch(State& s) {
    if (!(s.rate > 0.0)) {
        return 0.0;
    }
    const double binHz = s.rate / static_cast<double>(s.size);
    const std::size_t first = s.bandFirst;
    const std::size_t end = std::min(
        s.bandEnd,
        static_cast<std::size_t>(std::min(kPitchReachHz / binHz, static_cast<double>(s.bins))));
    if (first + 4 >= end) {
        return 0.0;
    }
    double total = 0.0;
    for (std::size_t k = first; k < end; ++k) {
        s.magnitude[k] = std::sqrt(s.mask[k] * s.along[k]);
        total += s.magnitude[k];
    }
    const double mean = total / static_cast<double>(end - first);
    const auto at = [&](const PitchPoint& p) {
        if (p.bin < first || p.bin + 1 >= end) {
            return -1.0;
        }
        return (1.0 - p.frac) * s.magnitude[p.bin] + p.frac * s.magnitude[p.bin + 1];
    };
    // Summed over the partials, a candidate an octave below the pitch scores as the pitch
    // does (its odd partials are as empty as the points halfway): the highest candidate near
    // the best score is taken.
    const auto scoreOf = [&](const PitchPoint* points, std::size_t count) {
        double score = 0.0;
        int partials = 0;
        for (std::size_t i = 0; i + 1 < count; i += 2) {
            const double a = at(points[i]);
            const double b = at(points[i + 1]);
            if (a < 0.0 || b < 0.0) {
                continue;
            }
            score += a - b;
            ++partials;
        }
        return partials >= 3 ? score : 0.0;
    };
    const auto scoreAt = [&](double f0) {
        s.finePoints.clear();
        AppendPitchPoints(f0, binHz, s.finePoints);
        return scoreOf(s.finePoints.data(), s.finePoints.size());
    };
    // Coarse steps first, then fine ones around the coarse candidate taken.
    double bestScore = 0.0;
    s.scores.clear();
    std::size_t from = 0;
    for (const std::size_t to : s.coarseEnds) {
        s.scores.push_back(scoreOf(s.coarsePoints.data() + from, to - from));
        bestScore = std::max(bestScore, s.scores.back());
        from = to;
    }
    double coarse = 0.0;
    double coarseScore = 0.0;
    double f0 = kLowestPitchHz;
    for (const double score : s.scores) {
        if (score >= kNearBest * bestScore && score > 0.0) {
            coarse = f0;
            coarseScore = score;
        }
        f0 *= kCoarsePitchStep;
    }
    if (coarse <= 0.0) {
        return 0.0;
    }
    double best = coarse;
    double fineScore = coarseScore;
    for (double candidate = coarse / kCoarsePitchStep; candidate <= coarse * kCoarsePitchStep;
         candidate *= kPitchStep) {
        if (const double score = scoreAt(candidate); score > fineScore) {
            fineScore = score;
            best = candidate;
        }
    }
    best = HighestMultiple(best, fineScore, scoreAt);
    bestScore = std::max(bestScore, fineScore);
    return bestScore > kPitchClarity * mean ? best : 0.0;
}

// The partials of the note of pitch f0 that fall below the band: taken as the source's too,
// bin by bin as far as they lie along d, so that a low voice goes while the bass beside it
// stays.
void FollowPitchDown(State& s, const Direction& d, double f0) {
    if (f0 <= 0.0) {
        return;
    }
    const auto& spectrum = s.guided ? s.guideSpectrum : s.spectrum;
    const double binHz = s.rate / static_cast<double>(s.size);
    const HopSettings& h = s.settings;
    for (int n = 1; n <= kPartialsBelow && n * f0 < h.lowCutoff * kPitchEdgeShare; ++n) {
        const double centre = n * f0 / binHz;
        const auto lowest =
            static_cast<std::size_t>(std::max(1.0, std::ceil(centre - kPartialBins)));
        const auto highest = static_cast<std::size_t>(std::floor(centre + kPartialBins));
        for (std::size_t k = lowest; k <= highest && k < s.bins; ++k) {
            const BinPower p = PowerOf(spectrum, d, k);
            const float share = p.along / (p.total + kTinyPower);
            const float weight = share >= h.innerShare ? 1.0f : share <= h.outerShare ? 0.0f : 0.5f;
            s.mask[k] = std::max(s.mask[k], weight * (1.0f - s.band[k]));
        }
        s.lowFirst = std::min(s.lowFirst, lowest);
    }
}

// The reverberation the source's last hops leave in this one, per bin: their powers, each
// decayed by its age, summed oldest first so that every run adds them alike. Sixteen bins at
// a time are summed in vector registers over every age before they are stored.
void PredictReverb(State& s) {
    std::fill(s.reverb.begin() + static_cast<std::ptrdiff_t>(s.lowFirst),
              s.reverb.begin() + static_cast<std::ptrdiff_t>(s.bandFirst), 0.0f);
    std::array<const float*, kTailHops> oldestFirst{};
    for (std::size_t age = kTailHops; age >= 1; --age) {
        oldestFirst[kTailHops - age] =
            s.tail[(s.tailNewest + kTailHops + 1 - age) % kTailHops].data();
    }
    const auto weightOf = [&](std::size_t i) { return s.tailWeights[kTailHops - 1 - i]; };
    constexpr std::size_t kLanes = 4;
    constexpr std::size_t kAtOnce = 4 * kLanes;
    std::size_t k = s.bandFirst;
    for (; k + kAtOnce <= s.bandEnd; k += kAtOnce) {
        std::array<Floats4, kAtOnce / kLanes> sum{};
        for (std::size_t i = 0; i < kTailHops; ++i) {
            const Floats4 weight = Floats4{} + weightOf(i);
            for (std::size_t v = 0; v < sum.size(); ++v) {
                Floats4 power;
                std::memcpy(&power, oldestFirst[i] + k + v * kLanes, sizeof power);
                sum[v] += weight * power;
            }
        }
        std::memcpy(&s.reverb[k], sum.data(), sizeof sum);
    }
    for (; k < s.bandEnd; ++k) {
        float sum = 0.0f;
        for (std::size_t i = 0; i < kTailHops; ++i) {
            sum += weightOf(i) * oldestFirst[i][k];
        }
        s.reverb[k] = sum;
    }
}

// The removed part of each channel, bin by bin: the masked projection of the bin on d, taken
// out along d, and of what is left, the share the source's predicted reverberation holds.
// What is removed is decided on the guide and applied to the channels, so a stem gives its
// part of the mix's removal.
void SeparateBins(State& s, const Direction& d) {
    const auto& guide = s.guided ? s.guideSpectrum : s.spectrum;
    const Spectrum& gl = guide[0];
    const Spectrum& gr = guide[1];
    const Spectrum& l = s.spectrum[0];
    const Spectrum& r = s.spectrum[1];
    Spectrum& outL = s.removedSpectrum[0];
    Spectrum& outR = s.removedSpectrum[1];
    // One loop for each case, without a branch inside: it runs in vector registers. The
    // arrays lie apart (the guide may be the channels, but it is only read).
    const auto separate = [&]<bool kDereverb>() {
#if defined(__clang__)
#pragma clang loop vectorize(assume_safety)
#else
#pragma GCC ivdep
#endif
        for (std::size_t k = s.lowFirst; k < s.bandEnd; ++k) {
            const float m = s.mask[k];
            const float gRe = m * (d.left * gl.re[k] + d.right * gr.re[k]);
            const float gIm = m * (d.left * gl.im[k] + d.right * gr.im[k]);
            s.direct[k] = gRe * gRe + gIm * gIm;
            const float sRe = m * (d.left * l.re[k] + d.right * r.re[k]);
            const float sIm = m * (d.left * l.im[k] + d.right * r.im[k]);
            float tail = 0.0f;
            if constexpr (kDereverb) {
                const float lRe = gl.re[k] - d.left * gRe;
                const float lIm = gl.im[k] - d.left * gIm;
                const float rRe = gr.re[k] - d.right * gRe;
                const float rIm = gr.im[k] - d.right * gIm;
                const float left = lRe * lRe + lIm * lIm + rRe * rRe + rIm * rIm;
                const float gain = std::max(kTailFloor, 1.0f - s.reverb[k] / (left + kTinyPower));
                tail = s.band[k] * (1.0f - gain);
            }
            outL.re[k] = d.left * sRe + tail * (l.re[k] - d.left * sRe);
            outL.im[k] = d.left * sIm + tail * (l.im[k] - d.left * sIm);
            outR.re[k] = d.right * sRe + tail * (r.re[k] - d.right * sRe);
            outR.im[k] = d.right * sIm + tail * (r.im[k] - d.right * sIm);
        }
    };
    if (s.settings.dereverb) {
        separate.template operator()<true>();
    } else {
        separate.template operator()<false>();
    }
}

void InverseTransform(State& s, const Spectrum& spectrum, float* frame) {
    Pack(s, spectrum);
    pffft_transform_ordered(s.setup.get(), s.packed.get(), frame, s.work.get(), PFFFT_BACKWARD);
}

void ZeroOutside(std::vector<float>& bins, std::size_t first, std::size_t end) {
    std::fill(bins.begin(), bins.begin() + static_cast<std::ptrdiff_t>(first), 0.0f);
    std::fill(bins.begin() + static_cast<std::ptrdiff_t>(end), bins.end(), 0.0f);
}

// The window's removed part of each channel in the time domain, into estimate; false when the
// band holds no bin.
bool EstimateFrame(State& s) {
    if (s.bandFirst >= s.bandEnd) {
        return false;
    }
    const Direction d = Along(s.settings);
    // The steps below write the bins from the band's first (or lowFirst) to its end; the
    // pitch reads and raises the mask below the band.
    std::fill_n(s.mask.begin(), s.bandFirst, 0.0f);
    AlignmentMask(s, d, s.mask.data());
    s.lowFirst = s.bandFirst;
    if (s.settings.dereverb) {
        const double f0 = MaskedPitch(s);
        KeepBroadband(s, f0);
        KeepBetweenPartials(s, f0);
        FollowPitchDown(s, d, f0);
        PredictReverb(s);
    }
    SeparateBins(s, d);
    for (Spectrum& spectrum : s.removedSpectrum) {
        ZeroOutside(spectrum.re, s.lowFirst, s.bandEnd);
        ZeroOutside(spectrum.im, s.lowFirst, s.bandEnd);
    }
    for (std::size_t c = 0; c < 2; ++c) {
        InverseTransform(s, s.removedSpectrum[c], s.estimate[c].get());
    }
    return true;
}

// sum += frame * window, sample by sample.
void AddWindowed(const float* __restrict frame, const float* __restrict window,
                 float* __restrict sum, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        sum[i] += frame[i] * window[i];
    }
}

void Difference(const float* __restrict a, const float* __restrict b, float* __restrict out,
                std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = a[i] - b[i];
    }
}

// Adds the hop's window of the removed part to each channel's.
void RemoveInBand(State& s) {
    s.estimated = EstimateFrame(s);
    if (!s.estimated) {
        return;
    }
    for (std::size_t c = 0; c < 2; ++c) {
        AddWindowed(s.estimate[c].get(), s.synthesis.data(), s.removed[c].data(), s.size);
    }
}

// count interleaved frames into a left and a right buffer.
void Take(const std::int16_t* __restrict in, float* __restrict left, float* __restrict right,
          std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        left[i] = in[2 * i];
        right[i] = in[2 * i + 1];
    }
}

// Moves a buffer a hop toward its start, zeros in the hop freed at its end.
void ShiftHop(std::vector<float>& buffer, std::size_t hop) {
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(hop), buffer.end(), buffer.begin());
    std::fill(buffer.end() - static_cast<std::ptrdiff_t>(hop), buffer.end(), 0.0f);
}

// A hop's window: the removal with the settings of this moment, and the oldest hop, which
// every window over it has now reached, made ready to go out.
void RunHop(State& s, const ProcessingParameters& params) {
    s.settings = ReadSettings(params);
    RefreshBand(s);
    RefreshRamp(s);
    for (std::size_t c = 0; c < 2; ++c) {
        Transform(s, s.input[c], s.spectrum[c]);
        if (s.guided) {
            Transform(s, s.guide[c], s.guideSpectrum[c]);
        }
    }
    if (s.hopped) {
        s.tailNewest = (s.tailNewest + 1) % kTailHops;
        std::copy(s.direct.begin(), s.direct.end(), s.tail[s.tailNewest].begin());
    }
    std::fill(s.direct.begin(), s.direct.end(), 0.0f);
    RemoveInBand(s);
    s.hopped = true;
    for (std::size_t c = 0; c < 2; ++c) {
        Difference(s.input[c].data(), s.removed[c].data(), s.ready[c].data(), s.hop);
        std::copy_n(s.removed[c].begin(), s.hop, s.readyRemoved[c].begin());
        ShiftHop(s.input[c], s.hop);
        if (s.guided) {
            ShiftHop(s.guide[c], s.hop);
        }
        ShiftHop(s.removed[c], s.hop);
    }
}

// A trackbar that the hops read moved between two of them: the last hop's window is made
// again with the new settings, and its share of every frame not yet gone out is replaced, so
// that the move is heard from the next frame out instead of a hop later. The frames of the
// hop ready to go out (from phase on) and the removed part the next hops add to change; the
// spectra do not depend on the settings, and the power the hop removed, which the next hop
// enters for the reverberation, is remade with the new ones.
void Rework(State& s, const HopSettings& now) {
    const bool had = s.estimated;
    for (std::size_t c = 0; c < 2; ++c) {
        std::copy_n(s.estimate[c].get(), s.size, s.earlier[c].get());
    }
    s.settings = now;
    RefreshBand(s);
    RefreshRamp(s);
    s.estimated = EstimateFrame(s);
    for (std::size_t c = 0; c < 2; ++c) {
        const float* old = s.earlier[c].get();
        const float* made = s.estimate[c].get();
        const float was = had ? 1.0f : 0.0f;
        const float is = s.estimated ? 1.0f : 0.0f;
        // What the window adds at its frame i, with the old and the new settings.
        const auto change = [&](std::size_t i) {
            return is * (made[i] * s.synthesis[i]) - was * (old[i] * s.synthesis[i]);
        };
        for (std::size_t i = s.phase; i < s.hop; ++i) {
            const float delta = change(i);
            s.ready[c][i] -= delta;
            s.readyRemoved[c][i] += delta;
        }
        for (std::size_t i = s.hop; i < s.size; ++i) {
            s.removed[c][i - s.hop] += change(i);
        }
    }
}

}  // namespace

struct StereoRemover::State : RemoverState {
    using RemoverState::RemoverState;
};

StereoRemover::StereoRemover(unsigned sampleRate)
    : m_state(std::make_unique<State>(sampleRate, SizeFor(sampleRate))) {
    State& s = *m_state;
    MakeWindows(s);
    s.band.resize(s.bins);
    s.mask.assign(s.bins, 0.0f);
    s.direct.assign(s.bins, 0.0f);
    s.along.assign(s.bins, 0.0f);
    s.magnitude.assign(s.bins, 0.0f);
    if (s.rate > 0.0) {
        const double binHz = s.rate / static_cast<double>(s.size);
        for (double f0 = kLowestPitchHz; f0 <= kHighestPitchHz; f0 *= kCoarsePitchStep) {
            AppendPitchPoints(f0, binHz, s.coarsePoints);
            s.coarseEnds.push_back(s.coarsePoints.size());
        }
        // The fine candidates reach a coarse step below the lowest: their points, and a few more.
        s.finePoints.reserve(
            2 * static_cast<std::size_t>(kPitchReachHz * kCoarsePitchStep / kLowestPitchHz + 4));
    }
    // A file may declare any rate, 0 too: the reach is held within the spectrum.
    s.medianHalf =
        s.rate > 0.0
            ? static_cast<std::size_t>(std::min(kNeighbourHz * static_cast<double>(s.size) / s.rate,
                                                static_cast<double>(s.bins)))
            : 0;
    s.neighbours.assign(s.medianHalf + 1, 0.0f);  // the even bins of 2 * half + 1
    s.floors.assign(s.bins / kMedianStride + 1, 0.0f);
    // The bins the broadband test spares, noted at every hop: room for all of them from the
    // start, so that a playback's hops ask nothing of the allocator.
    s.spared.reserve(
        static_cast<std::size_t>(kSparedReachHz / (kLowestPitchHz / kCoarsePitchStep)) *
        (2 * static_cast<std::size_t>(std::ceil(kSparedBins)) + 3));
    s.reverb.assign(s.bins, 0.0f);
    const double decay =
        std::pow(10.0, -6.0 * static_cast<double>(s.hop) / (kDecaySeconds * s.rate));
    for (std::size_t age = 1; age <= kTailHops; ++age) {
        s.tailWeights[age - 1] = static_cast<float>(kTailShare * std::pow(decay, age - 1));
    }
    for (std::size_t c = 0; c < 2; ++c) {
        s.spectrum[c].Resize(s.bins);
        s.guideSpectrum[c].Resize(s.bins);
        s.removedSpectrum[c].Resize(s.bins);
    }
    Reset();
}

StereoRemover::~StereoRemover() = default;

std::size_t StereoRemover::Latency() const {
    return m_state->size;
}

std::size_t StereoRemover::Hop() const {
    return m_state->hop;
}

std::size_t StereoRemover::WarmUp() const {
    // An output frame goes out a window after its input frame, and its window's prediction of
    // the reverberation reaches back kTailHops hops more, each made from a window of frames.
    return 2 * m_state->size + (kTailHops + 1) * m_state->hop;
}

void StereoRemover::Reset() {
    State& s = *m_state;
    for (std::size_t c = 0; c < 2; ++c) {
        s.input[c].assign(s.size, 0.0f);
        s.guide[c].assign(s.size, 0.0f);
        s.removed[c].assign(s.size, 0.0f);
    }
    for (std::size_t c = 0; c < 2; ++c) {
        s.ready[c].assign(s.hop, 0.0f);
        s.readyRemoved[c].assign(s.hop, 0.0f);
    }
    s.phase = 0;
    for (std::vector<float>& power : s.tail) {
        power.assign(s.bins, 0.0f);
    }
    s.tailNewest = 0;
    std::fill(s.direct.begin(), s.direct.end(), 0.0f);
    s.hopped = false;
    s.estimated = false;
    s.bandLow = -1;
    s.bandHigh = -1;
}

void StereoRemover::Process(const ProcessingParameters& params, const std::int16_t* in,
                            std::int16_t* out, std::int16_t* vocal, std::size_t count) {
    ProcessGuided(params, nullptr, in, out, vocal, count);
}

void StereoRemover::ProcessGuided(const ProcessingParameters& params, const std::int16_t* guide,
                                  const std::int16_t* in, std::int16_t* out, std::int16_t* vocal,
                                  std::size_t count) {
    State& s = *m_state;
    s.guided = guide != nullptr;
    const Levels levels = ReadLevels(params);
    if (const HopSettings now = ReadSettings(params); s.hopped && now != s.settings) {
        Rework(s, now);
    }
    for (std::size_t done = 0; done < count;) {
        // Up to the hop's end: out of the hop ready, into the window.
        const std::size_t n = std::min(count - done, s.hop - s.phase);
        const std::size_t at = s.size - s.hop + s.phase;
        Emit(&s.ready[0][s.phase], &s.ready[1][s.phase], levels.left, levels.right, out + 2 * done,
             n);
        if (vocal != nullptr) {
            Emit(&s.readyRemoved[0][s.phase], &s.readyRemoved[1][s.phase], levels.vocal,
                 levels.vocal, vocal + 2 * done, n);
        }
        Take(in + 2 * done, &s.input[0][at], &s.input[1][at], n);
        if (guide != nullptr) {
            Take(guide + 2 * done, &s.guide[0][at], &s.guide[1][at], n);
        }
        done += n;
        s.phase += n;
        if (s.phase == s.hop) {
            RunHop(s, params);
            s.phase = 0;
        }
    }
}

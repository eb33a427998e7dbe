#include "stereo_remover.h"

#include <pffft.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace {

// Hops whose covariances are summed: about 0.19 s at 44.1 kHz, long enough for a stable
// estimate of where a voice's interference lies, short enough to follow a melody.
constexpr std::size_t kHistory = 4;
// The transform's hops per window. Hops of half a window removed as much and kept the
// instruments as well as quarter-window hops on the quality bench, at half the cost; the
// synthesis window is divided by the windows' overlap, so any hop reconstructs exactly.
constexpr std::size_t kOverlap = 2;
// Transform sizes: the longest whose window fits in kMaxLatencySeconds, within these bounds
// (powers of two, as the transforms take them).
constexpr std::size_t kMinSize = 256;
constexpr std::size_t kMaxSize = 8192;
constexpr double kMaxLatencySeconds = 0.1;
// Width of the raised-cosine band edge at each cut-off, in octaves.
constexpr double kEdgeOctaves = 1.0 / 3.0;
// Loading at the sharpest focus, relative to the mean channel power: enough to keep the
// estimate from chasing noise in a bin, small enough to reject a panned instrument.
constexpr double kSharpestLoading = 1e-3;
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
    double loading = 1.0;  // share of the loaded term: 1 is the channel difference

    bool operator==(const HopSettings&) const = default;
};

// The levels, read whenever frames go out, so that a level trackbar is heard at once.
struct Levels {
    float left = 1.0f;
    float right = 1.0f;
    float vocal = 1.0f;
};

// Focus 0 gives 1 (the estimate is d^H x alone), focus 1 gives kSharpestLoading, and the
// steps between are even in decibels, as the ear hears the change.
double LoadingFor(double focus) {
    const double f = std::clamp(Finite(focus, 0.5), 0.0, 1.0);
    return std::pow(kSharpestLoading, f);
}

HopSettings ReadSettings(const ProcessingParameters& params) {
    HopSettings s;
    s.lowCutoff = params.lowCutoff.Get();
    s.highCutoff = params.highCutoff.Get();
    s.aim = std::clamp(Finite(params.aim.Get(), std::numbers::pi / 4), 0.0, std::numbers::pi / 2);
    s.loading = LoadingFor(params.focus.Get());
    return s;
}

// Beyond any trackbar's reach; keeps every product of a level and a sample finite.
constexpr double kMaxLevel = 1e6;

Levels ReadLevels(const ProcessingParameters& params) {
    const auto bounded = [](double level) {
        return static_cast<float>(std::clamp(level, -kMaxLevel, kMaxLevel));
    };
    const double out = std::clamp(Finite(params.outputGain.Get(), 1.0), -kMaxLevel, kMaxLevel);
    const double left = Finite(params.leftGain.Get(), kStartLevel) / kStartLevel;
    const double right = Finite(params.rightGain.Get(), kStartLevel) / kStartLevel;
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

// Each bin's covariance of one hop, a channel pair's |L|^2, |R|^2 and L conj(R), one array
// a term.
struct Covariances {
    std::vector<float> ll;
    std::vector<float> rr;
    std::vector<float> lrRe;
    std::vector<float> lrIm;

    void Resize(std::size_t bins) {
        for (std::vector<float>* v : {&ll, &rr, &lrRe, &lrIm}) {
            v->assign(bins, 0.0f);
        }
    }
};

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
          earlier(MakeAligned(fftSize)) {}

    double rate;
    std::size_t size;
    std::size_t hop;
    std::size_t bins;
    FftSetup setup;
    std::vector<float> analysis;   // Hann
    std::vector<float> synthesis;  // Hann over the windows' overlap, and 1 / size

    // The last size input frames, per channel; a hop's frames are appended at the end.
    std::array<std::vector<float>, 2> input;
    std::array<std::vector<float>, 2> guide;  // when the covariance is another signal's
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
    // Whether frame holds the estimate the last hop added to removed, in the time domain.
    bool estimated = false;

    // The covariances of the last kHistory hops, the newest at newest.
    std::array<Covariances, kHistory> history;
    std::size_t newest = 0;

    // The band weight of each bin for the cut-offs it was made for.
    std::vector<float> band;
    std::size_t bandFirst = 0;  // the bins of non-zero weight: bandFirst .. bandEnd - 1
    std::size_t bandEnd = 0;
    int bandLow = -1;
    int bandHigh = -1;

    // Scratch of one hop.
    AlignedFloats frame;   // a window of samples
    AlignedFloats packed;  // a spectrum as the transforms lay it out
    AlignedFloats work;
    AlignedFloats earlier;  // an estimate being replaced
    std::array<Spectrum, 2> spectrum;
    std::array<Spectrum, 2> guideSpectrum;
    Spectrum source;  // the estimate, band-weighted
    Covariances smoothed;
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

void Covariance(const float* __restrict lRe, const float* __restrict lIm,
                const float* __restrict rRe, const float* __restrict rIm, float* __restrict ll,
                float* __restrict rr, float* __restrict lrRe, float* __restrict lrIm,
                std::size_t bins) {
    for (std::size_t k = 0; k < bins; ++k) {
        ll[k] = lRe[k] * lRe[k] + lIm[k] * lIm[k];
        rr[k] = rRe[k] * rRe[k] + rIm[k] * rIm[k];
        lrRe[k] = lRe[k] * rRe[k] + lIm[k] * rIm[k];
        lrIm[k] = lIm[k] * rRe[k] - lRe[k] * rIm[k];
    }
}

void RecordCovariance(State& s) {
    s.newest = (s.newest + 1) % kHistory;
    const auto& spectrum = s.guided ? s.guideSpectrum : s.spectrum;
    const Spectrum& l = spectrum[0];
    const Spectrum& r = spectrum[1];
    Covariances& c = s.history[s.newest];
    Covariance(l.re.data(), l.im.data(), r.re.data(), r.im.data(), c.ll.data(), c.rr.data(),
               c.lrRe.data(), c.lrIm.data(), s.bins);
}

// One term's sum over the history, oldest (a) first.
void SumOfFour(const float* __restrict a, const float* __restrict b, const float* __restrict c,
               const float* __restrict d, float* __restrict sum, std::size_t first,
               std::size_t end) {
    static_assert(kHistory == 4);
    for (std::size_t k = first; k < end; ++k) {
        sum[k] = ((a[k] + b[k]) + c[k]) + d[k];
    }
}

// The sum over the history in the band, oldest first: the same order whatever slot the run
// started in, so that a run from any hop gives the same bits once its history is full.
void SmoothCovariance(State& s) {
    const std::size_t first = s.bandFirst;
    const std::size_t end = std::max(s.bandFirst, s.bandEnd);
    std::array<const Covariances*, kHistory> byAge{};
    for (std::size_t age = 0; age < kHistory; ++age) {
        byAge[age] = &s.history[(s.newest + 1 + age) % kHistory];
    }
    for (std::vector<float> Covariances::*term :
         {&Covariances::ll, &Covariances::rr, &Covariances::lrRe, &Covariances::lrIm}) {
        SumOfFour((byAge[0]->*term).data(), (byAge[1]->*term).data(), (byAge[2]->*term).data(),
                  (byAge[3]->*term).data(), (s.smoothed.*term).data(), first, end);
    }
}

// What the estimate of the source reads in each bin: the smoothed covariance, the band
// weight and both channels' spectra.
struct EstimateInputs {
    const float* ll;
    const float* rr;
    const float* lrRe;
    const float* lrIm;
    const float* band;
    const float* xlRe;
    const float* xlIm;
    const float* xrRe;
    const float* xrIm;
};

// The distortionless estimate of the source along d in bins first .. end - 1: w = (C +
// lambda I)^-1 d / (d^T (C + lambda I)^-1 d), written with the adjugate so that the loaded
// term's share runs from 0 (sharp) to 1 (w = d, the plain projection) without an infinite
// lambda. The input is 16-bit and the loading positive, so every term stays finite.
void Estimate(const EstimateInputs& in, float loading, float dl, float dr,
              float* __restrict sourceRe, float* __restrict sourceIm, std::size_t first,
              std::size_t end) {
    const float* __restrict llOf = in.ll;
    const float* __restrict rrOf = in.rr;
    const float* __restrict reOf = in.lrRe;
    const float* __restrict imOf = in.lrIm;
    const float* __restrict band = in.band;
    const float* __restrict xlRe = in.xlRe;
    const float* __restrict xlIm = in.xlIm;
    const float* __restrict xrRe = in.xrRe;
    const float* __restrict xrIm = in.xrIm;
    const float sharp = 1.0f - loading;
    const float halfLoading = 0.5f * loading;
    for (std::size_t k = first; k < end; ++k) {
        const float ll = llOf[k];
        const float rr = rrOf[k];
        const float re = reOf[k];
        const float im = imOf[k];
        const float loaded = halfLoading * (ll + rr) + kTinyPower;
        // n = sharp adj(C) d + loaded d, C = [[ll, lr], [conj lr, rr]]
        const float nlRe = sharp * (rr * dl - re * dr) + loaded * dl;
        const float nlIm = -sharp * im * dr;
        const float nrRe = sharp * (ll * dr - re * dl) + loaded * dr;
        const float nrIm = sharp * im * dl;
        // adj(C) is positive semi-definite: a negative quadratic form is rounding.
        const float quadratic = std::max(rr * dl * dl + ll * dr * dr - 2.0f * dl * dr * re, 0.0f);
        const float scale = band[k] / (sharp * quadratic + loaded);
        // conj(n) . x
        const float eRe = nlRe * xlRe[k] + nlIm * xlIm[k] + nrRe * xrRe[k] + nrIm * xrIm[k];
        const float eIm = nlRe * xlIm[k] - nlIm * xlRe[k] + nrRe * xrIm[k] - nrIm * xrRe[k];
        sourceRe[k] = eRe * scale;
        sourceIm[k] = eIm * scale;
    }
}

void EstimateSource(State& s, float dl, float dr) {
    const Covariances& c = s.smoothed;
    const EstimateInputs in{c.ll.data(),
                            c.rr.data(),
                            c.lrRe.data(),
                            c.lrIm.data(),
                            s.band.data(),
                            s.spectrum[0].re.data(),
                            s.spectrum[0].im.data(),
                            s.spectrum[1].re.data(),
                            s.spectrum[1].im.data()};
    Estimate(in, static_cast<float>(s.settings.loading), dl, dr, s.source.re.data(),
             s.source.im.data(), s.bandFirst, s.bandEnd);
}

// sum += along * (frame * window), sample by sample.
void AddWindowed(const float* __restrict frame, const float* __restrict window, float along,
                 float* __restrict sum, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        sum[i] += along * (frame[i] * window[i]);
    }
}

void Difference(const float* __restrict a, const float* __restrict b, float* __restrict out,
                std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = a[i] - b[i];
    }
}

struct Direction {
    float left;
    float right;
};

Direction Along(const HopSettings& settings) {
    return {static_cast<float>(std::cos(settings.aim)), static_cast<float>(std::sin(settings.aim))};
}

// The window's band-weighted estimate of the source, in the time domain, into frame; false
// when the band holds no bin.
bool EstimateFrame(State& s) {
    if (s.bandFirst >= s.bandEnd) {
        return false;
    }
    SmoothCovariance(s);
    const Direction d = Along(s.settings);
    std::fill(s.source.re.begin(), s.source.re.end(), 0.0f);
    std::fill(s.source.im.begin(), s.source.im.end(), 0.0f);
    EstimateSource(s, d.left, d.right);
    Pack(s, s.source);
    pffft_transform_ordered(s.setup.get(), s.packed.get(), s.frame.get(), s.work.get(),
                            PFFFT_BACKWARD);
    return true;
}

// Adds the hop's window of the band-weighted estimate, along d, to the removed part.
void RemoveInBand(State& s) {
    s.estimated = EstimateFrame(s);
    if (!s.estimated) {
        return;
    }
    const Direction d = Along(s.settings);
    AddWindowed(s.frame.get(), s.synthesis.data(), d.left, s.removed[0].data(), s.size);
    AddWindowed(s.frame.get(), s.synthesis.data(), d.right, s.removed[1].data(), s.size);
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
    for (std::size_t c = 0; c < 2; ++c) {
        Transform(s, s.input[c], s.spectrum[c]);
        if (s.guided) {
            Transform(s, s.guide[c], s.guideSpectrum[c]);
        }
    }
    RecordCovariance(s);
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
// covariances do not depend on the settings.
void Rework(State& s, const HopSettings& now) {
    const Direction before = Along(s.settings);
    const bool had = s.estimated;
    std::copy_n(s.frame.get(), s.size, s.earlier.get());
    s.settings = now;
    RefreshBand(s);
    s.estimated = EstimateFrame(s);
    const Direction after = Along(s.settings);
    const float* old = s.earlier.get();
    const float* made = s.frame.get();
    for (std::size_t c = 0; c < 2; ++c) {
        const float was = !had ? 0.0f : c == 0 ? before.left : before.right;
        const float is = !s.estimated ? 0.0f : c == 0 ? after.left : after.right;
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
    s.source.Resize(s.bins);
    s.smoothed.Resize(s.bins);
    for (std::size_t c = 0; c < 2; ++c) {
        s.spectrum[c].Resize(s.bins);
        s.guideSpectrum[c].Resize(s.bins);
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
    // An output frame goes out a window after its input frame, and its first window's
    // covariance reaches back kHistory - 2 hops more and a window for those hops' frames.
    return 2 * m_state->size + kHistory * m_state->hop;
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
    for (Covariances& c : s.history) {
        c.Resize(s.bins);
    }
    s.newest = 0;
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

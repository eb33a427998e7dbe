#include "stereo_remover.h"

#include <kiss_fftr.h>

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
// Transform sizes: the longest whose window fits in kMaxLatencySeconds, within these bounds.
constexpr std::size_t kMinSize = 256;
constexpr std::size_t kMaxSize = 8192;
constexpr double kMaxLatencySeconds = 0.1;
// Width of the raised-cosine band edge at each cut-off, in octaves.
constexpr double kEdgeOctaves = 1.0 / 3.0;
// Loading at the sharpest focus, relative to the mean channel power: enough to keep the
// estimate from chasing noise in a bin, small enough to reject a panned instrument.
constexpr double kSharpestLoading = 1e-3;
// Keeps the estimate defined in a silent bin.
constexpr double kTinyPower = 1e-3;
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

struct FftDeleter {
    void operator()(kiss_fftr_state* cfg) const { kiss_fftr_free(cfg); }
};
using FftPlan = std::unique_ptr<kiss_fftr_state, FftDeleter>;

FftPlan MakePlan(std::size_t size, bool inverse) {
    FftPlan plan(kiss_fftr_alloc(static_cast<int>(size), inverse ? 1 : 0, nullptr, nullptr));
    if (!plan) {
        throw std::bad_alloc();
    }
    return plan;
}

// What one hop reads of the parameters, sanitised: the fuzzers feed anything.
struct HopSettings {
    int lowCutoff = 0;
    int highCutoff = 0;
    double aim = std::numbers::pi / 4;
    double loading = 1.0;  // share of the loaded term: 1 is the channel difference
    double gainLeft = 1.0;
    double gainRight = 1.0;
    double gainVocal = 1.0;
};

double Finite(double value, double otherwise) {
    return std::isfinite(value) ? value : otherwise;
}

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
    const double out = Finite(params.outputGain.Get(), 1.0);
    s.gainLeft = Finite(params.leftGain.Get(), kStartLevel) / kStartLevel * out;
    s.gainRight = Finite(params.rightGain.Get(), kStartLevel) / kStartLevel * out;
    s.gainVocal = out;
    return s;
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

// Rounded to the nearest, halves away from zero.
std::int16_t ToSample(double x) {
    if (!(x > -32768.5)) {  // NaN lands here: silence rather than full scale
        return std::isnan(x) ? 0 : -32768;
    }
    if (x >= 32767.5) {
        return 32767;
    }
    return static_cast<std::int16_t>(x + (x >= 0.0 ? 0.5 : -0.5));
}

// Each bin's covariance of one hop, a channel pair's |L|^2, |R|^2 and L conj(R), one array
// a term so that the loops over the bins run in vector registers.
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
          forward(MakePlan(fftSize, false)),
          inverse(MakePlan(fftSize, true)) {}

    double rate;
    std::size_t size;
    std::size_t hop;
    std::size_t bins;
    FftPlan forward;
    FftPlan inverse;
    std::vector<float> analysis;   // Hann
    std::vector<float> synthesis;  // Hann over the windows' overlap, and 1 / size
    std::vector<float> direct;     // analysis times synthesis, without the 1 / size

    // The last size input frames, per channel; a hop's frames are appended at the end.
    std::array<std::vector<float>, 2> input;
    std::array<std::vector<float>, 2> guide;  // when the covariance is another signal's
    bool guided = false;
    // Overlap-add of the output and the removed part, per channel, from the window's first frame.
    std::array<std::vector<double>, 2> output;
    std::array<std::vector<double>, 2> removed;
    // The hop of frames going out now: left, right, vocal left, vocal right, interleaved.
    std::vector<std::int16_t> ready;
    std::size_t phase = 0;  // frames of the current hop already put
    HopSettings settings;

    // The covariances of the last kHistory hops, the newest at newest.
    std::array<Covariances, kHistory> history;
    std::size_t newest = 0;

    // The band weight of each bin for the cut-offs it was made for.
    std::vector<double> band;
    std::size_t bandFirst = 0;  // the bins of non-zero weight: bandFirst .. bandEnd - 1
    std::size_t bandEnd = 0;
    int bandLow = -1;
    int bandHigh = -1;

    // Scratch of one hop.
    std::vector<float> frame;
    std::array<std::vector<kiss_fft_cpx>, 2> spectrum;
    std::array<std::vector<kiss_fft_cpx>, 2> guideSpectrum;
    std::vector<kiss_fft_cpx> source;  // the estimate, band-weighted
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
    s.direct.resize(s.size);
    for (std::size_t i = 0; i < s.size; ++i) {
        double overlap = 0.0;
        for (std::size_t k = i % s.hop; k < s.size; k += s.hop) {
            overlap += static_cast<double>(s.analysis[k]) * s.analysis[k];
        }
        s.synthesis[i] = static_cast<float>(s.analysis[i] / overlap / s.size);
        s.direct[i] = static_cast<float>(s.analysis[i] * s.analysis[i] / overlap);
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
        s.band[k] = RisingEdge(hz, h.lowCutoff) * upper;
        if (s.band[k] > 0.0) {
            s.bandFirst = std::min(s.bandFirst, k);
            s.bandEnd = k + 1;
        }
    }
    s.bandLow = h.lowCutoff;
    s.bandHigh = h.highCutoff;
}

void Transform(State& s, const std::vector<float>& samples, std::vector<kiss_fft_cpx>& spectrum) {
    for (std::size_t i = 0; i < s.size; ++i) {
        s.frame[i] = samples[i] * s.analysis[i];
    }
    kiss_fftr(s.forward.get(), s.frame.data(), spectrum.data());
}

void RecordCovariance(State& s) {
    s.newest = (s.newest + 1) % kHistory;
    const auto& spectrum = s.guided ? s.guideSpectrum : s.spectrum;
    Covariances& c = s.history[s.newest];
    for (std::size_t k = 0; k < s.bins; ++k) {
        const kiss_fft_cpx l = spectrum[0][k];
        const kiss_fft_cpx r = spectrum[1][k];
        c.ll[k] = l.r * l.r + l.i * l.i;
        c.rr[k] = r.r * r.r + r.i * r.i;
        c.lrRe[k] = l.r * r.r + l.i * r.i;
        c.lrIm[k] = l.i * r.r - l.r * r.i;
    }
}

// The sum over the history, oldest first: the same order whatever slot the run started in,
// so that a run from any hop gives the same bits once its history is full.
void SmoothCovariance(State& s) {
    Covariances& sum = s.smoothed;
    const std::size_t first = s.bandFirst;
    const std::size_t end = std::max(s.bandFirst, s.bandEnd);
    std::fill(sum.ll.begin(), sum.ll.end(), 0.0f);
    std::fill(sum.rr.begin(), sum.rr.end(), 0.0f);
    std::fill(sum.lrRe.begin(), sum.lrRe.end(), 0.0f);
    std::fill(sum.lrIm.begin(), sum.lrIm.end(), 0.0f);
    for (std::size_t age = kHistory; age-- > 0;) {
        const Covariances& c = s.history[(s.newest + kHistory - age) % kHistory];
        for (std::size_t k = first; k < end; ++k) {
            sum.ll[k] += c.ll[k];
            sum.rr[k] += c.rr[k];
            sum.lrRe[k] += c.lrRe[k];
            sum.lrIm[k] += c.lrIm[k];
        }
    }
}

// The distortionless estimate of the source along d in bin k: w = (C + lambda I)^-1 d /
// (d^T (C + lambda I)^-1 d), written with the adjugate so that the loaded term's share runs
// from 0 (sharp) to 1 (w = d, the plain projection) without an infinite lambda.
kiss_fft_cpx EstimateSource(const State& s, std::size_t k, double dl, double dr) {
    const double ll = s.smoothed.ll[k];
    const double rr = s.smoothed.rr[k];
    const double re = s.smoothed.lrRe[k];
    const double im = s.smoothed.lrIm[k];
    const double sharp = 1.0 - s.settings.loading;
    const double loaded = s.settings.loading * 0.5 * (ll + rr) + kTinyPower;
    // n = sharp adj(C) d + loaded d, C = [[ll, lr], [conj lr, rr]]
    const double nlRe = sharp * (rr * dl - re * dr) + loaded * dl;
    const double nlIm = -sharp * im * dr;
    const double nrRe = sharp * (ll * dr - re * dl) + loaded * dr;
    const double nrIm = sharp * im * dl;
    // adj(C) is positive semi-definite: a negative quadratic form is rounding.
    const double quadratic = rr * dl * dl + ll * dr * dr - 2.0 * dl * dr * re;
    const double scale = s.band[k] / (sharp * std::max(quadratic, 0.0) + loaded);
    // conj(n) . x
    const kiss_fft_cpx xl = s.spectrum[0][k];
    const kiss_fft_cpx xr = s.spectrum[1][k];
    const double eRe = nlRe * xl.r + nlIm * xl.i + nrRe * xr.r + nrIm * xr.i;
    const double eIm = nlRe * xl.i - nlIm * xl.r + nrRe * xr.i - nrIm * xr.r;
    const double re2 = eRe * scale;
    const double im2 = eIm * scale;
    if (!std::isfinite(re2) || !std::isfinite(im2)) {
        return {0.0f, 0.0f};
    }
    return {static_cast<float>(re2), static_cast<float>(im2)};
}

// The band-weighted estimate of the source, in time, windowed; false when the band is empty.
bool EstimateInTime(State& s) {
    if (s.bandFirst >= s.bandEnd) {
        return false;
    }
    SmoothCovariance(s);
    const double dl = std::cos(s.settings.aim);
    const double dr = std::sin(s.settings.aim);
    std::fill(s.source.begin(), s.source.end(), kiss_fft_cpx{0.0f, 0.0f});
    for (std::size_t k = s.bandFirst; k < s.bandEnd; ++k) {
        s.source[k] = EstimateSource(s, k, dl, dr);
    }
    kiss_fftri(s.inverse.get(), s.source.data(), s.frame.data());
    for (std::size_t i = 0; i < s.size; ++i) {
        s.frame[i] *= s.synthesis[i];
    }
    return true;
}

// Adds the hop's window to the sums: each channel as it came in, less the source along d, at
// the channel's level; the source along d at the output level. The input's share needs no
// transform: it is the input under both windows.
void OverlapAdd(State& s, bool removing) {
    const HopSettings& h = s.settings;
    const double d[2] = {std::cos(h.aim), std::sin(h.aim)};
    const double gain[2] = {h.gainLeft, h.gainRight};
    for (std::size_t c = 0; c < 2; ++c) {
        const std::vector<float>& x = s.input[c];
        std::vector<double>& out = s.output[c];
        for (std::size_t i = 0; i < s.size; ++i) {
            out[i] += gain[c] * (static_cast<double>(x[i]) * s.direct[i]);
        }
        if (!removing) {
            continue;
        }
        const double toOut = gain[c] * d[c];
        const double toVocal = h.gainVocal * d[c];
        std::vector<double>& vocal = s.removed[c];
        for (std::size_t i = 0; i < s.size; ++i) {
            out[i] -= toOut * s.frame[i];
            vocal[i] += toVocal * s.frame[i];
        }
    }
}

// Moves a buffer a hop toward its start, zeros in the hop freed at its end.
template <typename T>
void ShiftHop(std::vector<T>& buffer, std::size_t hop) {
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(hop), buffer.end(), buffer.begin());
    std::fill(buffer.end() - static_cast<std::ptrdiff_t>(hop), buffer.end(), T{});
}

void RunHop(State& s) {
    RefreshBand(s);
    for (std::size_t c = 0; c < 2; ++c) {
        Transform(s, s.input[c], s.spectrum[c]);
        if (s.guided) {
            Transform(s, s.guide[c], s.guideSpectrum[c]);
        }
    }
    RecordCovariance(s);
    OverlapAdd(s, EstimateInTime(s));
    // The first hop of the sums has had every window over it: it goes out next.
    for (std::size_t i = 0; i < s.hop; ++i) {
        s.ready[4 * i] = ToSample(s.output[0][i]);
        s.ready[4 * i + 1] = ToSample(s.output[1][i]);
        s.ready[4 * i + 2] = ToSample(s.removed[0][i]);
        s.ready[4 * i + 3] = ToSample(s.removed[1][i]);
    }
    for (std::size_t c = 0; c < 2; ++c) {
        ShiftHop(s.input[c], s.hop);
        if (s.guided) {
            ShiftHop(s.guide[c], s.hop);
        }
        ShiftHop(s.output[c], s.hop);
        ShiftHop(s.removed[c], s.hop);
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
    s.frame.resize(s.size);
    s.source.resize(s.bins);
    s.smoothed.Resize(s.bins);
    for (std::size_t c = 0; c < 2; ++c) {
        s.spectrum[c].resize(s.bins);
        s.guideSpectrum[c].resize(s.bins);
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
        s.output[c].assign(s.size, 0.0);
        s.removed[c].assign(s.size, 0.0);
    }
    s.ready.assign(4 * s.hop, 0);
    s.phase = 0;
    for (Covariances& c : s.history) {
        c.Resize(s.bins);
    }
    s.newest = 0;
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
    for (std::size_t i = 0; i < count; ++i) {
        if (s.phase == 0) {
            s.settings = ReadSettings(params);
        }
        const std::int16_t* going = &s.ready[4 * s.phase];
        out[2 * i] = going[0];
        out[2 * i + 1] = going[1];
        if (vocal != nullptr) {
            vocal[2 * i] = going[2];
            vocal[2 * i + 1] = going[3];
        }
        const std::size_t at = s.size - s.hop + s.phase;
        s.input[0][at] = in[2 * i];
        s.input[1][at] = in[2 * i + 1];
        if (guide != nullptr) {
            s.guide[0][at] = guide[2 * i];
            s.guide[1][at] = guide[2 * i + 1];
        }
        if (++s.phase == s.hop) {
            RunHop(s);
            s.phase = 0;
        }
    }
}

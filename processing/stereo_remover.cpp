#include "stereo_remover.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <new>
#include <numbers>
#include <vector>

namespace {

// Hops whose covariances are summed: about 0.19 s at 44.1 kHz, long enough for a stable
// estimate of where a voice's interference lies, short enough to follow a melody.
constexpr std::size_t kHistory = 8;
// The transform's hops per window: Hann analysis and synthesis windows add up to a constant
// at a quarter of the window.
constexpr std::size_t kOverlap = 4;
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

using Complex = std::complex<double>;

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

// One bin's 2x2 Hermitian covariance: |L|^2, |R|^2 and L conj(R).
struct Covariance {
    double ll = 0.0;
    double rr = 0.0;
    Complex lr;
};

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

std::int16_t ToSample(double x) {
    if (!(x > -32768.5)) {  // NaN lands here: silence rather than full scale
        return std::isnan(x) ? 0 : -32768;
    }
    if (x >= 32767.5) {
        return 32767;
    }
    return static_cast<std::int16_t>(std::lround(x));
}

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
    std::vector<float> synthesis;  // Hann, scaled so that the windows' overlap adds to 1 / size

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

    // Each bin's covariance over the last kHistory hops, the newest at newest.
    std::vector<std::array<Covariance, kHistory>> history;
    std::size_t newest = 0;

    // The band weight of each bin for the cut-offs it was made for.
    std::vector<double> band;
    int bandLow = -1;
    int bandHigh = -1;

    // Scratch of one hop.
    std::vector<float> frame;
    std::array<std::vector<kiss_fft_cpx>, 2> spectrum;
    std::array<std::vector<kiss_fft_cpx>, 2> guideSpectrum;
    std::array<std::vector<kiss_fft_cpx>, 2> vocal;
    bool vocalWanted = false;
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
    for (std::size_t k = 0; k < s.bins; ++k) {
        const double hz = s.rate * static_cast<double>(k) / static_cast<double>(s.size);
        // The upper edge is the rising edge mirrored about its cut-off.
        const double upper =
            hz > 0.0 ? RisingEdge(h.highCutoff * h.highCutoff / hz, h.highCutoff) : 1.0;
        s.band[k] = RisingEdge(hz, h.lowCutoff) * upper;
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

void Analyse(State& s) {
    for (std::size_t c = 0; c < 2; ++c) {
        Transform(s, s.input[c], s.spectrum[c]);
        if (s.guided) {
            Transform(s, s.guide[c], s.guideSpectrum[c]);
        }
    }
}

Complex At(const std::vector<kiss_fft_cpx>& spectrum, std::size_t k) {
    return {spectrum[k].r, spectrum[k].i};
}

void Store(std::vector<kiss_fft_cpx>& spectrum, std::size_t k, Complex value) {
    spectrum[k].r = static_cast<float>(value.real());
    spectrum[k].i = static_cast<float>(value.imag());
}

void RecordCovariance(State& s) {
    s.newest = (s.newest + 1) % kHistory;
    const auto& spectrum = s.guided ? s.guideSpectrum : s.spectrum;
    for (std::size_t k = 0; k < s.bins; ++k) {
        const Complex l = At(spectrum[0], k);
        const Complex r = At(spectrum[1], k);
        s.history[k][s.newest] = {std::norm(l), std::norm(r), l * std::conj(r)};
    }
}

// The sum over the history, oldest first: the same order whatever slot the run started in,
// so that a run from any hop gives the same bits once its history is full.
Covariance SmoothedCovariance(const State& s, std::size_t k) {
    Covariance sum;
    for (std::size_t age = kHistory; age-- > 0;) {
        const Covariance& c = s.history[k][(s.newest + kHistory - age) % kHistory];
        sum.ll += c.ll;
        sum.rr += c.rr;
        sum.lr += c.lr;
    }
    return sum;
}

// The distortionless estimate of the source along d in one bin: w = (C + lambda I)^-1 d /
// (d^T (C + lambda I)^-1 d), written with the adjugate so that the loaded term's share runs
// from 0 (sharp) to 1 (w = d, the plain projection) without an infinite lambda.
Complex EstimateSource(const Covariance& c, double dl, double dr, double loading, Complex xl,
                       Complex xr) {
    const double power = 0.5 * (c.ll + c.rr);
    const double sharp = 1.0 - loading;
    const double loaded = loading * power + kTinyPower;
    // adj(C) d, C = [[ll, lr], [conj lr, rr]]
    const Complex nl = sharp * (c.rr * dl - c.lr * dr) + loaded * dl;
    const Complex nr = sharp * (c.ll * dr - std::conj(c.lr) * dl) + loaded * dr;
    const double quadratic = c.rr * dl * dl + c.ll * dr * dr - 2.0 * dl * dr * c.lr.real();
    // adj(C) is positive semi-definite: a negative quadratic form is rounding.
    const double denominator = sharp * std::max(quadratic, 0.0) + loaded;
    const Complex estimate = (std::conj(nl) * xl + std::conj(nr) * xr) / denominator;
    return std::isfinite(estimate.real()) && std::isfinite(estimate.imag()) ? estimate : Complex();
}

void Remove(State& s) {
    const HopSettings& h = s.settings;
    const double dl = std::cos(h.aim);
    const double dr = std::sin(h.aim);
    for (std::size_t k = 0; k < s.bins; ++k) {
        const Complex xl = At(s.spectrum[0], k);
        const Complex xr = At(s.spectrum[1], k);
        Complex vl;
        Complex vr;
        if (s.band[k] > 0.0) {
            const Complex source =
                s.band[k] * EstimateSource(SmoothedCovariance(s, k), dl, dr, h.loading, xl, xr);
            vl = dl * source;
            vr = dr * source;
        }
        Store(s.spectrum[0], k, (xl - vl) * h.gainLeft);
        Store(s.spectrum[1], k, (xr - vr) * h.gainRight);
        if (s.vocalWanted) {
            Store(s.vocal[0], k, vl * h.gainVocal);
            Store(s.vocal[1], k, vr * h.gainVocal);
        }
    }
}

void Synthesise(State& s, std::vector<kiss_fft_cpx>& spectrum, std::vector<double>& sum) {
    kiss_fftri(s.inverse.get(), spectrum.data(), s.frame.data());
    for (std::size_t i = 0; i < s.size; ++i) {
        sum[i] += static_cast<double>(s.frame[i]) * s.synthesis[i];
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
    Analyse(s);
    RecordCovariance(s);
    Remove(s);
    for (std::size_t c = 0; c < 2; ++c) {
        Synthesise(s, s.spectrum[c], s.output[c]);
        if (s.vocalWanted) {
            Synthesise(s, s.vocal[c], s.removed[c]);
        }
    }
    // The first hop of the sums has had every window over it: it goes out next.
    for (std::size_t i = 0; i < s.hop; ++i) {
        s.ready[4 * i] = ToSample(s.output[0][i]);
        s.ready[4 * i + 1] = ToSample(s.output[1][i]);
        s.ready[4 * i + 2] = ToSample(s.removed[0][i]);
        s.ready[4 * i + 3] = ToSample(s.removed[1][i]);
    }
    for (std::size_t c = 0; c < 2; ++c) {
        ShiftHop(s.input[c], s.hop);
        ShiftHop(s.guide[c], s.hop);
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
    for (std::size_t c = 0; c < 2; ++c) {
        s.spectrum[c].resize(s.bins);
        s.guideSpectrum[c].resize(s.bins);
        s.vocal[c].resize(s.bins);
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
    s.history.assign(s.bins, {});
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
            s.vocalWanted = vocal != nullptr;
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

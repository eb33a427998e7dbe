// Key and tempo libraries side by side: SoundTouch and Rubber Band (its R2 and R3 engines,
// real-time mode, one thread), each fed 1,024 frames at a time as a playback would. Quality:
// the pitch of a shifted 440 Hz sine, how far a shifted click loop smears, how much energy a
// shifted harmonic tone puts between its harmonics. Cost: processor time for a minute of
// stereo at +2 semitones. Built only where both libraries' headers are installed.
//
// Usage: zerbex_stretch_compare

#include <rubberband/RubberBandStretcher.h>
#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "analysis/fft_bands.h"

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kChunk = 1024;
constexpr double kPi = 3.14159265358979323846;

using Signal = std::vector<float>;  // interleaved stereo

class Shifter {
  public:
    virtual ~Shifter() = default;
    // The whole signal through the library, at semitones and tempo (1: unchanged).
    virtual Signal Run(const Signal& in, double semitones, double tempo) = 0;
};

class SoundTouchShifter : public Shifter {
  public:
    explicit SoundTouchShifter(bool quickSeek = false) : m_quickSeek(quickSeek) {}

    Signal Run(const Signal& in, double semitones, double tempo) override {
        soundtouch::SoundTouch touch;
        touch.setSampleRate(kRate);
        touch.setChannels(2);
        touch.setSetting(SETTING_USE_QUICKSEEK, m_quickSeek ? 1 : 0);
        touch.setPitchSemiTones(semitones);
        touch.setTempo(tempo);
        Signal out;
        std::vector<float> buffer(kChunk * 2);
        const auto drain = [&] {
            for (;;) {
                const unsigned got = touch.receiveSamples(buffer.data(), kChunk);
                if (got == 0) {
                    return;
                }
                out.insert(out.end(), buffer.begin(), buffer.begin() + got * 2);
            }
        };
        for (std::size_t at = 0; at < in.size(); at += kChunk * 2) {
            const std::size_t n = std::min(kChunk * 2, in.size() - at) / 2;
            touch.putSamples(in.data() + at, static_cast<unsigned>(n));
            drain();
        }
        touch.flush();
        drain();
        return out;
    }

  private:
    bool m_quickSeek;
};

class RubberBandShifter : public Shifter {
  public:
    explicit RubberBandShifter(bool finer) : m_finer(finer) {}

    Signal Run(const Signal& in, double semitones, double tempo) override {
        using RB = RubberBand::RubberBandStretcher;
        const RB::Options options = RB::OptionProcessRealTime | RB::OptionThreadingNever |
                                    (m_finer ? RB::OptionEngineFiner : RB::OptionEngineFaster);
        RB stretcher(kRate, 2, options, 1.0 / tempo, std::pow(2.0, semitones / 12.0));
        Signal out;
        std::vector<float> left(kChunk);
        std::vector<float> right(kChunk);
        const auto drain = [&] {
            for (int available = stretcher.available(); available > 0;
                 available = stretcher.available()) {
                const auto n = std::min<std::size_t>(static_cast<std::size_t>(available), kChunk);
                float* channels[] = {left.data(), right.data()};
                const std::size_t got = stretcher.retrieve(channels, n);
                for (std::size_t i = 0; i < got; ++i) {
                    out.push_back(left[i]);
                    out.push_back(right[i]);
                }
            }
        };
        const auto feed = [&](const float* frames, std::size_t n, bool final) {
            for (std::size_t i = 0; i < n; ++i) {
                left[i] = frames != nullptr ? frames[2 * i] : 0.0f;
                right[i] = frames != nullptr ? frames[2 * i + 1] : 0.0f;
            }
            const float* channels[] = {left.data(), right.data()};
            stretcher.process(channels, n, final);
            drain();
        };
        for (std::size_t pad = stretcher.getPreferredStartPad(); pad > 0;) {
            const std::size_t n = std::min(pad, kChunk);
            feed(nullptr, n, false);
            pad -= n;
        }
        for (std::size_t at = 0; at < in.size(); at += kChunk * 2) {
            const std::size_t n = std::min(kChunk * 2, in.size() - at) / 2;
            feed(in.data() + at, n, at + n * 2 >= in.size());
        }
        const std::size_t delay = std::min(out.size() / 2, stretcher.getStartDelay());
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(delay * 2));
        return out;
    }

  private:
    bool m_finer;
};

Signal Make(double seconds, const std::function<double(std::size_t)>& sample) {
    Signal s(static_cast<std::size_t>(seconds * kRate) * 2);
    for (std::size_t i = 0; i < s.size() / 2; ++i) {
        s[2 * i] = s[2 * i + 1] = static_cast<float>(sample(i));
    }
    return s;
}

// Frequency of the left channel from its rising zero crossings between from and to seconds,
// each placed between its two samples.
double ZeroCrossingHz(const Signal& s, double from, double to) {
    const auto first = static_cast<std::size_t>(from * kRate);
    const auto last = std::min(s.size() / 2 - 1, static_cast<std::size_t>(to * kRate));
    double firstAt = -1.0;
    double lastAt = -1.0;
    int crossings = 0;
    for (std::size_t i = first; i < last; ++i) {
        const double a = s[2 * i];
        const double b = s[2 * i + 2];
        if (a < 0.0 && b >= 0.0) {
            const double at = static_cast<double>(i) + a / (a - b);
            firstAt = firstAt < 0.0 ? at : firstAt;
            lastAt = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (lastAt - firstAt) : 0.0;
}

// Clicks heard: runs of 1 ms frames whose energy reaches a hundredth of the loudest frame's,
// each after at least 20 ms below that.
int ClickCount(const Signal& s) {
    const std::size_t msFrames = kRate / 1000;
    std::vector<double> energy(s.size() / 2 / msFrames);
    for (std::size_t i = 0; i < energy.size() * msFrames; ++i) {
        energy[i / msFrames] += static_cast<double>(s[2 * i]) * s[2 * i];
    }
    const double threshold = 0.01 * *std::max_element(energy.begin(), energy.end());
    int clicks = 0;
    int quiet = 20;
    for (const double e : energy) {
        if (e >= threshold) {
            clicks += quiet >= 20 ? 1 : 0;
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return clicks;
}

double Cents(double hz, double expected) {
    return 1200.0 * std::log2(hz / expected);
}

// The share of each click period's energy that lies outside its strongest 10 ms, in dB:
// the more a click smears, the higher.
double ClickSmearDb(const Signal& s, double period) {
    const auto periodFrames = static_cast<std::size_t>(period * kRate);
    const std::size_t msFrames = kRate / 1000;
    std::vector<double> energy(s.size() / 2 / msFrames);
    for (std::size_t i = 0; i < energy.size() * msFrames; ++i) {
        energy[i / msFrames] += static_cast<double>(s[2 * i]) * s[2 * i];
    }
    const std::size_t perPeriod = periodFrames / msFrames;
    double outside = 0.0;
    double total = 0.0;
    // Skip the first and last periods: the start and the flush.
    for (std::size_t p = 1; (p + 2) * perPeriod <= energy.size(); ++p) {
        const auto begin = energy.begin() + static_cast<std::ptrdiff_t>(p * perPeriod);
        std::vector<double> frames(begin, begin + static_cast<std::ptrdiff_t>(perPeriod));
        std::sort(frames.rbegin(), frames.rend());
        const double all = std::accumulate(frames.begin(), frames.end(), 0.0);
        total += all;
        outside += all - std::accumulate(frames.begin(), frames.begin() + 10, 0.0);
    }
    return 10.0 * std::log10(std::max(outside, 1e-30) / total);
}

// Energy more than 3 % of the fundamental away from every harmonic of f0, relative to all of
// it, in dB, over 65,536 frames from the middle of the left channel.
double OffHarmonicDb(const Signal& s, double f0) {
    constexpr std::size_t kSize = 65536;
    const std::size_t start = (s.size() / 2 - kSize) / 2;
    const std::vector<double> window = HannWindow(kSize);
    std::vector<std::complex<double>> bins(kSize);
    for (std::size_t i = 0; i < kSize; ++i) {
        bins[i] = s[2 * (start + i)] * window[i];
    }
    Fft(bins);
    double off = 0.0;
    double total = 0.0;
    for (std::size_t k = 1; k < kSize / 2; ++k) {
        const double hz = static_cast<double>(k) * kRate / kSize;
        const double power = std::norm(bins[k]);
        total += power;
        const double harmonic = std::round(hz / f0);
        if (harmonic < 1.0 || std::abs(hz - harmonic * f0) > 0.03 * f0) {
            off += power;
        }
    }
    return 10.0 * std::log10(std::max(off, 1e-30) / total);
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Ratio(double semitones) {
    return std::pow(2.0, semitones / 12.0);
}

}  // namespace

int main() {
    const Signal sine =
        Make(10, [](std::size_t i) { return 0.5 * std::sin(2 * kPi * 440 * i / kRate); });
    constexpr double kClickPeriod = 0.25;
    const Signal clicks = Make(10, [](std::size_t i) {
        const std::size_t at = i % static_cast<std::size_t>(kClickPeriod * kRate);
        // A 2 ms burst of a fixed noise, decaying.
        const auto noise = static_cast<double>((at * 2654435761u) % 2001) / 1000.0 - 1.0;
        return at < 88 ? 0.8 * noise * std::exp(-static_cast<double>(at) / 30.0) : 0.0;
    });
    constexpr double kVoiceF0 = 200.0;
    const Signal voice = Make(60, [](std::size_t i) {
        double v = 0.0;
        for (int h = 1; h <= 20; ++h) {
            v += 0.3 / h * std::sin(2 * kPi * kVoiceF0 * h * i / kRate + h);
        }
        return v;
    });

    std::printf("as input: click smear %.1f dB, off-harmonic energy %.1f dB\n",
                ClickSmearDb(clicks, kClickPeriod), OffHarmonicDb(voice, kVoiceF0));
    std::printf("%-22s %9s %9s %9s %7s %9s %9s %11s\n", "library", "+3 cents", "-5 cents",
                "click dB", "clicks", "harm dB", "len 80%", "CPU x real");
    const std::pair<const char*, std::unique_ptr<Shifter>> libraries[] = {
        {"SoundTouch 2.3", std::make_unique<SoundTouchShifter>()},
        {"SoundTouch, quick seek", std::make_unique<SoundTouchShifter>(true)},
        {"Rubber Band 3.1 R2", std::make_unique<RubberBandShifter>(false)},
        {"Rubber Band 3.1 R3", std::make_unique<RubberBandShifter>(true)},
    };
    for (const auto& [name, shifter] : libraries) {
        const double up = Cents(ZeroCrossingHz(shifter->Run(sine, 3, 1), 2, 8), 440 * Ratio(3));
        const double down = Cents(ZeroCrossingHz(shifter->Run(sine, -5, 1), 2, 8), 440 * Ratio(-5));
        const Signal shiftedClicks = shifter->Run(clicks, 3, 1);
        const double smear = ClickSmearDb(shiftedClicks, kClickPeriod);
        const int heard = ClickCount(shiftedClicks);
        const double begin = CpuSeconds();
        const Signal shifted = shifter->Run(voice, 2, 1);
        const double cpu = CpuSeconds() - begin;
        const double harmonics = OffHarmonicDb(shifter->Run(voice, 3, 1), kVoiceF0 * Ratio(3));
        const Signal slower = shifter->Run(sine, 0, 0.8);
        const double lengthError = (slower.size() / 2.0 - sine.size() / 2.0 / 0.8) / kRate * 1000;
        std::printf("%-22s %9.2f %9.2f %9.1f %3d/%3d %9.1f %7.0fms %11.0f\n", name, up, down, smear,
                    heard, ClickCount(clicks), harmonics, lengthError, 60.0 / cpu);
        (void)shifted;
    }
    return 0;
}

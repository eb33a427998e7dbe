#include "bench/quality/songs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>

namespace {

constexpr double kPi = std::numbers::pi;

std::uint32_t Le32(const char* p) {
    return static_cast<std::uint8_t>(p[0]) | (static_cast<std::uint8_t>(p[1]) << 8) |
           (static_cast<std::uint8_t>(p[2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[3])) << 24);
}

std::vector<double> Resampled(const std::vector<double>& in, double fromRate) {
    if (fromRate == kRate || in.empty()) {
        return in;
    }
    const auto frames = static_cast<std::size_t>(static_cast<double>(in.size()) * kRate / fromRate);
    std::vector<double> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double at = static_cast<double>(i) * fromRate / kRate;
        const auto j = static_cast<std::size_t>(at);
        const double t = at - static_cast<double>(j);
        const double next = j + 1 < in.size() ? in[j + 1] : in[j];
        out[i] = in[j] * (1.0 - t) + next * t;
    }
    return out;
}

double Rms(const Stereo& s) {
    double sum = 0;
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        sum += s.left[i] * s.left[i] + s.right[i] * s.right[i];
    }
    return std::sqrt(sum / (2.0 * static_cast<double>(std::max<std::size_t>(1, s.Frames()))));
}

void Scale(Stereo& s, double gain) {
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        s.left[i] *= gain;
        s.right[i] *= gain;
    }
}

void AddPanned(Stereo& into, const std::vector<double>& mono, double gainL, double gainR) {
    for (std::size_t i = 0; i < into.Frames() && i < mono.size(); ++i) {
        into.left[i] += mono[i] * gainL;
        into.right[i] += mono[i] * gainR;
    }
}

Stereo Silence(std::size_t frames) {
    return {std::vector<double>(frames), std::vector<double>(frames)};
}

double Midi(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

constexpr int kProgression[] = {45, 41, 36, 43};  // A, F, C, G: a bar each
constexpr double kBeat = 0.5;                     // seconds; four beats a bar

int RootAt(double t) {
    return kProgression[static_cast<int>(t / (4 * kBeat)) % 4];
}

std::vector<double> Bass(std::size_t frames) {
    std::vector<double> out(frames);
    double phase = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double inBeat = std::fmod(t, kBeat);
        phase += 2 * kPi * Midi(RootAt(t)) / kRate;
        const double env = std::exp(-inBeat * 3.0);
        out[i] = env * (std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase));
    }
    return out;
}

std::vector<double> Kick(std::size_t frames) {
    std::vector<double> out(frames);
    double phase = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double inBeat = std::fmod(static_cast<double>(i) / kRate, kBeat);
        phase = inBeat < 1.0 / kRate
                    ? 0
                    : phase + 2 * kPi * (50.0 + 90.0 * std::exp(-inBeat * 30)) / kRate;
        out[i] = std::exp(-inBeat * 12) * std::sin(phase);
    }
    return out;
}

// Karplus-Strong plucks on the chord tones, an eighth note apart.
std::vector<double> Plucks(std::size_t frames, std::mt19937& rng) {
    std::vector<double> out(frames);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const std::size_t step = static_cast<std::size_t>(kBeat / 2 * kRate);
    constexpr int kChord[] = {12, 16, 19, 24, 19, 16};
    for (std::size_t start = 0, n = 0; start < frames; start += step, ++n) {
        const double t = static_cast<double>(start) / kRate;
        const auto period = static_cast<std::size_t>(kRate / Midi(RootAt(t) + kChord[n % 6] + 12));
        std::vector<double> line(period);
        for (double& x : line) {
            x = noise(rng);
        }
        for (std::size_t i = 0; i < step * 2 && start + i < frames; ++i) {
            const std::size_t k = i % period;
            const double next = line[(k + 1) % period];
            out[start + i] += line[k];
            line[k] = 0.498 * (line[k] + next);
        }
    }
    return out;
}

// Detuned saws on the chord, smoothed by a one-pole low-pass.
std::vector<double> Pad(std::size_t frames) {
    std::vector<double> out(frames);
    double phases[6] = {};
    double smooth = 0;
    constexpr int kChord[] = {12, 16, 19};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double x = 0;
        for (int v = 0; v < 6; ++v) {
            const double f = Midi(RootAt(t) + kChord[v % 3] + 12) * (v < 3 ? 1.003 : 0.997);
            phases[v] = std::fmod(phases[v] + f / kRate, 1.0);
            x += 2 * phases[v] - 1;
        }
        smooth += 0.08 * (x - smooth);
        out[i] = smooth;
    }
    return out;
}

// Noise bursts an eighth note apart, high-passed, a little different in each channel.
Stereo HiHats(std::size_t frames, std::mt19937& rng) {
    Stereo out = Silence(frames);
    std::normal_distribution<double> noise(0.0, 1.0);
    double prevL = 0, prevR = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double inStep = std::fmod(static_cast<double>(i) / kRate, kBeat / 2);
        const double env = std::exp(-inStep * 40);
        const double common = noise(rng);
        const double l = common + 0.5 * noise(rng);
        const double r = common + 0.5 * noise(rng);
        out.left[i] = env * (l - prevL);
        out.right[i] = env * (r - prevR);
        prevL = l;
        prevR = r;
    }
    return out;
}

// Independent slow noise in each channel: the wide ambience of a mix.
Stereo Ambience(std::size_t frames, std::mt19937& rng) {
    Stereo out = Silence(frames);
    std::normal_distribution<double> noise(0.0, 1.0);
    double l = 0, r = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        l += 0.05 * (noise(rng) - l);
        r += 0.05 * (noise(rng) - r);
        out.left[i] = l;
        out.right[i] = r;
    }
    return out;
}

// The voices one after the other, over and over, to the song's length.
std::vector<double> VocalLine(const std::vector<std::vector<double>>& voices, std::size_t frames) {
    std::vector<double> out(frames);
    std::size_t at = 0;
    for (std::size_t n = 0; at < frames && !voices.empty(); ++n) {
        const std::vector<double>& take = voices[n % voices.size()];
        if (take.empty()) {
            break;
        }
        for (std::size_t i = 0; i < take.size() && at < frames; ++i) {
            out[at++] = take[i];
        }
        at += static_cast<std::size_t>(0.2 * kRate);
    }
    return out;
}

// Stereo reverberation: two decaying noise tails, different in each channel.
Stereo Reverb(const std::vector<double>& dry, std::mt19937& rng) {
    const auto tail = static_cast<std::size_t>(0.6 * kRate);
    std::normal_distribution<double> noise(0.0, 1.0);
    Stereo wet = Silence(dry.size());
    // Sparse taps keep the convolution quick.
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<double>& out = channel == 0 ? wet.left : wet.right;
        for (std::size_t tap = 0; tap < 400; ++tap) {
            const std::size_t delay =
                441 + (tap * tail) / 400 + static_cast<std::size_t>(std::abs(noise(rng)) * 40);
            const double gain =
                noise(rng) *
                std::exp(-3.0 * static_cast<double>(delay) / static_cast<double>(tail)) * 0.08;
            for (std::size_t i = delay; i < dry.size(); ++i) {
                out[i] += dry[i - delay] * gain;
            }
        }
    }
    return wet;
}

struct Arrangement {
    const char* name;
    double vocalLeft;
    double vocalRight;
    bool reverb;
    double vocalToInstruments;  // RMS ratio
};

constexpr Arrangement kArrangements[] = {
    {"centred", 1.0, 1.0, false, 1.0},       {"left 1.0/0.8", 1.0, 0.8, false, 1.0},
    {"right 0.8/1.0", 0.8, 1.0, false, 1.0}, {"reverb", 1.0, 1.0, true, 1.0},
    {"quiet vocal", 1.0, 1.0, false, 0.5},
};

constexpr double kMixRms = 0.08;  // moderate: the processing never saturates

}  // namespace

Stereo ReadWav(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::string(bytes.data(), 4) != "RIFF") {
        return {};
    }
    double rate = 0;
    std::size_t channels = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.data() + at, 4);
        const std::size_t size = Le32(bytes.data() + at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            channels = static_cast<std::uint8_t>(bytes[body + 2]);
            rate = Le32(bytes.data() + body + 4);
        } else if (id == "data" && (channels == 1 || channels == 2)) {
            const std::size_t end = std::min(bytes.size(), body + size);
            Stereo out;
            const auto sample = [&](std::size_t i) {
                return static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                                 (static_cast<std::uint8_t>(bytes[i + 1]) << 8)) /
                       32768.0;
            };
            for (std::size_t i = body; i + 2 * channels <= end; i += 2 * channels) {
                out.left.push_back(sample(i));
                out.right.push_back(sample(i + 2 * (channels - 1)));
            }
            return {Resampled(out.left, rate), Resampled(out.right, rate)};
        }
        at = body + size + (size & 1u);
    }
    return {};
}

std::vector<Song> BuildSongs(const std::vector<std::vector<double>>& voices, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::mt19937 rng(15);
    Stereo bass = Silence(frames);
    AddPanned(bass, Bass(frames), 0.5, 0.5);
    AddPanned(bass, Kick(frames), 0.6, 0.6);
    Stereo instruments = bass;
    AddPanned(instruments, Plucks(frames, rng), 0.30, 0.10);
    AddPanned(instruments, Pad(frames), 0.03, 0.09);
    const Stereo hats = HiHats(frames, rng);
    AddPanned(instruments, hats.left, 0.05, 0.0);
    AddPanned(instruments, hats.right, 0.0, 0.05);
    const Stereo ambience = Ambience(frames, rng);
    AddPanned(instruments, ambience.left, 0.25, 0.0);
    AddPanned(instruments, ambience.right, 0.0, 0.25);
    const double instrumentGain = kMixRms / Rms(instruments);
    Scale(instruments, instrumentGain);
    Scale(bass, instrumentGain);

    const std::vector<double> line = VocalLine(voices, frames);
    std::vector<Song> songs;
    for (const Arrangement& a : kArrangements) {
        Song song{a.name, Silence(frames), instruments, bass};
        AddPanned(song.vocal, line, a.vocalLeft, a.vocalRight);
        if (a.reverb) {
            const Stereo wet = Reverb(line, rng);
            AddPanned(song.vocal, wet.left, 1.0, 0.0);
            AddPanned(song.vocal, wet.right, 0.0, 1.0);
        }
        Scale(song.vocal, a.vocalToInstruments * kMixRms / Rms(song.vocal));
        songs.push_back(std::move(song));
    }
    return songs;
}

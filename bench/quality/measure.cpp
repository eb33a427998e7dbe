#include "bench/quality/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

#include "analysis/fft_bands.h"
#include "processing/fast_frames.h"
#include "processing/stereo_remover.h"
#include "trackbars/parameters.h"

namespace {

const BandEdges kEdges{{200.0, 3000.0, 8000.0}};

std::int16_t ToSample(double x) {
    return static_cast<std::int16_t>(std::clamp(std::lround(x * 32768.0), -32768L, 32767L));
}

std::vector<unsigned char> ToBytes(const Stereo& s) {
    std::vector<unsigned char> bytes(4 * s.Frames());
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        const auto l = static_cast<std::uint16_t>(ToSample(s.left[i]));
        const auto r = static_cast<std::uint16_t>(ToSample(s.right[i]));
        bytes[4 * i] = static_cast<unsigned char>(l);
        bytes[4 * i + 1] = static_cast<unsigned char>(l >> 8);
        bytes[4 * i + 2] = static_cast<unsigned char>(r);
        bytes[4 * i + 3] = static_cast<unsigned char>(r >> 8);
    }
    return bytes;
}

double Db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-15));
}

std::vector<double> Energies(const Stereo& s, double gain) {
    std::vector<double> e = StereoBandEnergies(s.left, s.right, kEdges);
    for (double& x : e) {
        x *= gain * gain;
    }
    return e;
}

double Sum(const std::vector<double>& v) {
    double total = 0;
    for (const double x : v) {
        total += x;
    }
    return total;
}

}  // namespace

Stereo RunEngine(const Stereo& in, PlayMode mode, const Positions& p) {
    ProcessingParameters state;
    ApplyPositions(p, state);
    state.mode = mode;
    std::vector<unsigned char> bytes = ToBytes(in);
    FrameState frames;
    ProcessFrames(frames, state, bytes.data(), in.Frames());
    Stereo out{std::vector<double>(in.Frames()), std::vector<double>(in.Frames())};
    for (std::size_t i = 0; i < in.Frames(); ++i) {
        out.left[i] = static_cast<std::int16_t>(bytes[4 * i] | (bytes[4 * i + 1] << 8)) / 32768.0;
        out.right[i] =
            static_cast<std::int16_t>(bytes[4 * i + 2] | (bytes[4 * i + 3] << 8)) / 32768.0;
    }
    return out;
}

StemOutputs EngineOutputs(const Song& song, PlayMode mode, const Positions& positions) {
    return {RunEngine(song.vocal, mode, positions), RunEngine(song.instruments, mode, positions),
            kInputAttenuation};
}

Figures Measure(const Song& song, const StemOutputs& outputs) {
    const std::vector<double> vocalIn = Energies(song.vocal, outputs.referenceGain);
    const std::vector<double> vocalOut = Energies(outputs.vocal, 1.0);
    const std::vector<double> instrumentsIn = Energies(song.instruments, outputs.referenceGain);
    const std::vector<double> instrumentsOut = Energies(outputs.instruments, 1.0);
    Figures f;
    for (std::size_t b = 0; b < kBands; ++b) {
        f.vocalRemoved[b] = Db(vocalIn[b] / vocalOut[b]);
    }
    f.vocalRemovedTotal = Db(Sum(vocalIn) / Sum(vocalOut));
    f.instrumentKept = Db(Sum(instrumentsOut) / Sum(instrumentsIn));
    f.bassKept = Db(instrumentsOut[0] / instrumentsIn[0]);
    f.vig = f.instrumentKept + f.vocalRemovedTotal;
    return f;
}

namespace {

Stereo Sum(const Stereo& a, const Stereo& b, double scaleB = 1.0) {
    Stereo s = a;
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        s.left[i] += scaleB * b.left[i];
        s.right[i] += scaleB * b.right[i];
    }
    return s;
}

Stereo Scaled(const Stereo& a, double gain) {
    return Sum(Stereo{std::vector<double>(a.Frames()), std::vector<double>(a.Frames())}, a, gain);
}

std::vector<std::int16_t> Interleaved(const Stereo& s) {
    std::vector<std::int16_t> frames(2 * s.Frames());
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        frames[2 * i] = ToSample(s.left[i]);
        frames[2 * i + 1] = ToSample(s.right[i]);
    }
    return frames;
}

// Frames from delay on, as a Stereo of frames frames (silence past the end).
Stereo Deinterleaved(const std::vector<std::int16_t>& frames, std::size_t delay,
                     std::size_t count) {
    Stereo s{std::vector<double>(count), std::vector<double>(count)};
    for (std::size_t i = 0; i < count && 2 * (i + delay) + 1 < frames.size(); ++i) {
        s.left[i] = frames[2 * (i + delay)] / 32768.0;
        s.right[i] = frames[2 * (i + delay) + 1] / 32768.0;
    }
    return s;
}

double Energy(const Stereo& s) {
    double e = 0;
    for (std::size_t i = 0; i < s.Frames(); ++i) {
        e += s.left[i] * s.left[i] + s.right[i] * s.right[i];
    }
    return e;
}

// The energy of both channels in the bands of edges.
std::vector<double> BandsOf(const Stereo& s, const BandEdges& edges) {
    return StereoBandEnergies(s.left, s.right, edges);
}

}  // namespace

SongOutputs FrameModeOutputs(const Song& song, PlayMode mode, const Positions& positions) {
    SongOutputs out{EngineOutputs(song, mode, positions), {}};
    const Stereo played = Sum(out.stems.vocal, out.stems.instruments);
    const Stereo mix = Sum(song.vocal, song.instruments);
    out.vocalStem = Sum(Scaled(mix, out.stems.referenceGain), played, -1.0);
    return out;
}

std::vector<Stereo> GuidedOutputs(const Stereo& mix, const std::vector<const Stereo*>& parts,
                                  const Positions& positions, Stereo* vocal, Stereo* played) {
    ProcessingParameters params;
    ApplyPositions(positions, params);
    // The remover takes what the per-frame processing gives in this mode.
    const std::vector<std::int16_t> guide =
        Interleaved(RunEngine(mix, PlayMode::Stereo, positions));
    const std::size_t frames = mix.Frames();
    const std::size_t padded = frames + 8192;
    std::vector<std::int16_t> in(2 * padded, 0);
    std::vector<std::int16_t> guidePadded(2 * padded, 0);
    std::copy(guide.begin(), guide.end(), guidePadded.begin());
    std::vector<std::int16_t> out(2 * padded);
    std::vector<Stereo> outputs;
    for (const Stereo* part : parts) {
        const std::vector<std::int16_t> stem =
            Interleaved(RunEngine(*part, PlayMode::Stereo, positions));
        std::copy(stem.begin(), stem.end(), in.begin());
        StereoRemover remover(static_cast<unsigned>(kRate));
        remover.ProcessGuided(params, guidePadded.data(), in.data(), out.data(), nullptr, padded);
        outputs.push_back(Deinterleaved(out, remover.Latency(), frames));
    }
    if (vocal != nullptr || played != nullptr) {
        std::vector<std::int16_t> removed(2 * padded);
        StereoRemover remover(static_cast<unsigned>(kRate));
        remover.Process(params, guidePadded.data(), out.data(), removed.data(), padded);
        if (vocal != nullptr) {
            *vocal = Deinterleaved(removed, remover.Latency(), frames);
        }
        if (played != nullptr) {
            *played = Deinterleaved(out, remover.Latency(), frames);
        }
    }
    return outputs;
}

SongOutputs StereoOutputs(const Song& song, const Positions& positions) {
    SongOutputs result;
    result.stems.referenceGain = kInputAttenuation;
    std::vector<Stereo> outputs =
        GuidedOutputs(Sum(song.vocal, song.instruments), {&song.vocal, &song.instruments},
                      positions, &result.vocalStem);
    result.stems.vocal = std::move(outputs[0]);
    result.stems.instruments = std::move(outputs[1]);
    return result;
}

StemFigures MeasureStems(const Song& song, const SongOutputs& outputs, const Positions& p) {
    const double g = outputs.stems.referenceGain;
    const Stereo truth = Scaled(song.instruments, g);
    const Stereo played = Sum(outputs.stems.vocal, outputs.stems.instruments);
    StemFigures f;
    const BandEdges edges{{150.0, 8000.0}};
    const std::vector<double> heard = BandsOf(played, edges);
    const std::vector<double> wanted = BandsOf(truth, edges);
    f.bassDb = Db(heard[0] / wanted[0]);
    f.trebleDb = Db(heard[2] / wanted[2]);
    f.instrumentSdr = Db(Energy(truth) / Energy(Sum(played, truth, -1.0)));
    // The centre as both channels' sum, on the left alone.
    const auto centre = [](const Stereo& s) {
        Stereo c{std::vector<double>(s.Frames()), std::vector<double>(s.Frames(), 0.0)};
        for (std::size_t i = 0; i < s.Frames(); ++i) {
            c.left[i] = s.left[i] + s.right[i];
        }
        return c;
    };
    const BandEdges band{
        {static_cast<double>(LowCutoffFor(p.low)), static_cast<double>(HighCutoffFor(p.high))}};
    f.midKeptDb =
        Db(BandsOf(centre(outputs.stems.instruments), band)[1] / BandsOf(centre(truth), band)[1]);
    const Stereo vocalTruth = Scaled(song.vocal, g);
    f.vocalSdr = Db(Energy(vocalTruth) / Energy(Sum(outputs.vocalStem, vocalTruth, -1.0)));
    return f;
}

std::vector<std::int16_t> MixFrames(const Song& song) {
    std::vector<std::int16_t> frames(2 * song.vocal.Frames());
    for (std::size_t i = 0; i < song.vocal.Frames(); ++i) {
        frames[2 * i] = ToSample(song.vocal.left[i] + song.instruments.left[i]);
        frames[2 * i + 1] = ToSample(song.vocal.right[i] + song.instruments.right[i]);
    }
    return frames;
}

bool WriteWav(const std::filesystem::path& path, const Stereo& s) {
    const std::vector<unsigned char> data = ToBytes(s);
    const auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    std::string header = "RIFF" + le32(static_cast<std::uint32_t>(36 + data.size())) + "WAVEfmt " +
                         le32(16) + std::string("\x01\x00\x02\x00", 4) + le32(44100) +
                         le32(44100 * 4) + std::string("\x04\x00\x10\x00", 4) + "data" +
                         le32(static_cast<std::uint32_t>(data.size()));
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

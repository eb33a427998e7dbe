#include "bench/quality/real_measure.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "analysis/fft_bands.h"
#include "bench/quality/measure.h"
#include "processing/processing.h"

namespace {

double Db(double ratio) {
    return 10.0 * std::log10(std::max(ratio, 1e-15));
}

double Dot(const Stereo& a, const Stereo& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.Frames() && i < b.Frames(); ++i) {
        sum += a.left[i] * b.left[i] + a.right[i] * b.right[i];
    }
    return sum;
}

Stereo Zero(std::size_t frames) {
    return {std::vector<double>(frames), std::vector<double>(frames)};
}

void Add(Stereo& into, const Stereo& s, double gain = 1.0) {
    for (std::size_t i = 0; i < into.Frames() && i < s.Frames(); ++i) {
        into.left[i] += gain * s.left[i];
        into.right[i] += gain * s.right[i];
    }
}

std::optional<PartRole> RoleFrom(const std::string& word) {
    const std::pair<const char*, PartRole> roles[] = {{"instrument", PartRole::Instrument},
                                                      {"lead", PartRole::Lead},
                                                      {"reverb", PartRole::Reverb},
                                                      {"backing", PartRole::Backing}};
    for (const auto& [name, role] : roles) {
        if (word == name) {
            return role;
        }
    }
    return std::nullopt;
}

std::size_t Frames(const RealSong& song) {
    return song.parts.empty() ? 0 : song.parts.front().audio.Frames();
}

// The sum of the outputs of the parts for which keep is true.
template <typename Keep>
Stereo OutputOf(const RealSong& song, const ToolOutputs& outputs, Keep keep) {
    Stereo sum = Zero(Frames(song));
    for (std::size_t i = 0; i < song.parts.size(); ++i) {
        if (keep(song.parts[i].role)) {
            Add(sum, outputs.parts[i]);
        }
    }
    return sum;
}

bool IsVocal(PartRole role) {
    return role != PartRole::Instrument;
}

}  // namespace

std::optional<RealSong> LoadRealSong(const std::filesystem::path& dir, std::string& error) {
    std::ifstream info(dir / "song.txt");
    if (!info) {
        error = "cannot read " + (dir / "song.txt").string();
        return std::nullopt;
    }
    RealSong song;
    song.name = dir.filename().string();
    std::string line;
    while (std::getline(info, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "lead-gains") {
            words >> song.leadLeft >> song.leadRight;
        } else if (key == "reverb") {
            words >> song.reverb;
        } else if (key == "stem") {
            std::string role;
            std::string file;
            words >> role >> file;
            const std::optional<PartRole> parsed = RoleFrom(role);
            Part part{file.substr(0, file.rfind('.')), parsed.value_or(PartRole::Instrument),
                      ReadWav(dir / file)};
            if (!parsed || part.audio.left.empty()) {
                error = "cannot read stem " + (dir / file).string() + " (" + role + ")";
                return std::nullopt;
            }
            if (!song.parts.empty() && part.audio.Frames() != Frames(song)) {
                error = (dir / file).string() + " differs in length from the other stems";
                return std::nullopt;
            }
            song.parts.push_back(std::move(part));
        }
    }
    const auto has = [&](PartRole role) {
        return std::any_of(song.parts.begin(), song.parts.end(),
                           [role](const Part& p) { return p.role == role; });
    };
    if (!has(PartRole::Instrument) || !has(PartRole::Lead)) {
        error = (dir / "song.txt").string() + " names no lead or no instrument";
        return std::nullopt;
    }
    return song;
}

Stereo MixOf(const RealSong& song) {
    Stereo mix = Zero(Frames(song));
    for (const Part& part : song.parts) {
        Add(mix, part.audio);
    }
    return mix;
}

Stereo SumOf(const RealSong& song, PartRole role) {
    Stereo sum = Zero(Frames(song));
    for (const Part& part : song.parts) {
        if (part.role == role) {
            Add(sum, part.audio);
        }
    }
    return sum;
}

ToolOutputs StereoTool(const RealSong& song, const Positions& positions) {
    std::vector<const Stereo*> parts;
    for (const Part& part : song.parts) {
        parts.push_back(&part.audio);
    }
    ToolOutputs out;
    out.referenceGain = kInputAttenuation;
    Stereo vocal;
    Stereo played;
    out.parts = GuidedOutputs(MixOf(song), parts, positions, &vocal, &played);
    out.vocalStem = std::move(vocal);
    out.played = std::move(played);
    return out;
}

ToolOutputs FrameModeTool(const RealSong& song, PlayMode mode, const Positions& positions) {
    ToolOutputs out;
    out.referenceGain = kInputAttenuation;
    // The vocal file: the mix at the output's level less the output.
    Stereo vocal = Zero(Frames(song));
    Add(vocal, MixOf(song), out.referenceGain);
    for (const Part& part : song.parts) {
        out.parts.push_back(RunEngine(part.audio, mode, positions));
        Add(vocal, out.parts.back(), -1.0);
    }
    out.vocalStem = std::move(vocal);
    return out;
}

ToolOutputs AimedDifference(const RealSong& song) {
    ToolOutputs out;
    const double norm = std::max(song.leadLeft, song.leadRight);
    for (const Part& part : song.parts) {
        Stereo s = Zero(part.audio.Frames());
        for (std::size_t i = 0; i < s.Frames(); ++i) {
            const double d =
                (song.leadRight * part.audio.left[i] - song.leadLeft * part.audio.right[i]) / norm;
            s.left[i] = d;
            s.right[i] = -d;
        }
        out.parts.push_back(std::move(s));
    }
    return out;
}

ToolOutputs InputTool(const RealSong& song) {
    ToolOutputs out;
    for (const Part& part : song.parts) {
        out.parts.push_back(part.audio);
    }
    return out;
}

double LeastSquaresWeight(const Stereo& out, const Stereo& in) {
    return Dot(out, in) / std::max(Dot(in, in), 1e-30);
}

std::vector<double> OctaveErrorsDb(const Stereo& out, const Stereo& truth) {
    // Each band from centre / sqrt 2 to centre x sqrt 2; the band below the first is left out.
    BandEdges edges;
    for (const double centre : kOctaveCentres) {
        edges.upperHz.push_back(centre / std::sqrt(2.0));
    }
    const std::vector<double> got = StereoBandEnergies(out.left, out.right, edges);
    const std::vector<double> want = StereoBandEnergies(truth.left, truth.right, edges);
    std::vector<double> errors;
    for (std::size_t b = 1; b < got.size(); ++b) {
        errors.push_back(Db(got[b] / std::max(want[b], 1e-30)));
    }
    return errors;
}

double ToneErrorDb(const std::vector<double>& bandErrors) {
    double sum = 0;
    for (const double error : bandErrors) {
        sum += error * error;
    }
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(1, bandErrors.size())));
}

RealFigures MeasureReal(const RealSong& song, const ToolOutputs& outputs) {
    const double g = outputs.referenceGain;
    std::vector<double> weights;
    double instrumentMean = 0;
    std::size_t instruments = 0;
    for (std::size_t i = 0; i < song.parts.size(); ++i) {
        weights.push_back(std::abs(LeastSquaresWeight(outputs.parts[i], song.parts[i].audio)) / g);
        if (song.parts[i].role == PartRole::Instrument) {
            instrumentMean += weights.back();
            ++instruments;
        }
    }
    instrumentMean /= static_cast<double>(std::max<std::size_t>(1, instruments));
    RealFigures f;
    f.instrumentMin = 1e300;
    f.instrumentMax = -1e300;
    for (std::size_t i = 0; i < song.parts.size(); ++i) {
        // Weights below 1e-5 of the mean (100 dB) read as that: the rest is rounding.
        const double db = 2.0 * Db(std::max(weights[i] / std::max(instrumentMean, 1e-15), 1e-5));
        f.partDb.push_back(db);
        switch (song.parts[i].role) {
            case PartRole::Instrument:
                f.instrumentMin = std::min(f.instrumentMin, db);
                f.instrumentMax = std::max(f.instrumentMax, db);
                break;
            case PartRole::Lead:
                f.leadBelow = -db;
                break;
            case PartRole::Reverb:
                f.reverbBelow = -db;
                break;
            case PartRole::Backing:
                f.backingBelow = -db;
                break;
        }
    }
    const Stereo vocalOut = OutputOf(song, outputs, IsVocal);
    const Stereo instrumentsOut =
        OutputOf(song, outputs, [](PartRole role) { return !IsVocal(role); });
    // As for the weights: 100 dB down reads as nothing left.
    f.vocalLeft = std::max(
        -100.0, Db(Dot(vocalOut, vocalOut) / std::max(Dot(instrumentsOut, instrumentsOut), 1e-30)));

    Stereo truth = Zero(Frames(song));
    Add(truth, SumOf(song, PartRole::Instrument), g);
    f.bandErrors = OctaveErrorsDb(instrumentsOut, truth);
    f.toneError = ToneErrorDb(f.bandErrors);
    Stereo error = vocalOut;
    Add(error, instrumentsOut);
    Add(error, truth, -1.0);
    f.instrumentSdr = Db(Dot(truth, truth) / std::max(Dot(error, error), 1e-30));
    if (outputs.played) {
        Stereo gap = *outputs.played;
        Add(gap, vocalOut, -1.0);
        Add(gap, instrumentsOut, -1.0);
        f.additivity = Db(Dot(gap, gap) / std::max(Dot(*outputs.played, *outputs.played), 1e-30));
    }
    if (outputs.vocalStem) {
        Stereo vocalTruth = Zero(Frames(song));
        for (const Part& part : song.parts) {
            if (IsVocal(part.role)) {
                Add(vocalTruth, part.audio, g);
            }
        }
        Stereo miss = *outputs.vocalStem;
        Add(miss, vocalTruth, -1.0);
        f.vocalSdr = Db(Dot(vocalTruth, vocalTruth) / std::max(Dot(miss, miss), 1e-30));
    }
    return f;
}

// Vocal-removal quality on songs built from stems: every mode at the start-up positions, a
// grid of settings, the suggested settings, and `sox oops` and an FFmpeg band-limited
// channel-difference chain for comparison. Prints the tables and draws removal against the
// pan and level trackbars.
//
//   quality_bench --out DIR VOICE.wav...     (bench/quality.sh renders the voices)
//   quality_bench --suggest-only VOICE.wav...  (the suggestion against the start-up
//                                               positions only: for tuning the analysis)
//   quality_bench --presets-only VOICE.wav...  (the shipped presets over every song only)
//   quality_bench --stereo-only VOICE.wav...   (the stereo mode against mode 2 only: for
//                                               tuning the remover)
//   quality_bench --quick VOICE.wav...         (the stereo mode's own figures alone)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/suggest_settings.h"
#include "bench/quality/measure.h"
#include "bench/quality/plot.h"
#include "bench/quality/songs.h"
#include "settings/presets.h"

namespace fs = std::filesystem;

namespace {

constexpr double kSongSeconds = 12.0;
constexpr double kBassKeptDb = -1.0;  // a setting "keeps the bass" when it loses no more

struct Row {
    std::string what;
    Figures f;
};

struct SongResult {
    std::string name;
    Figures startup;
    Figures suggested;
    Positions suggestion;
    double suggestSeconds = 0;
    Figures gridBest;  // best vocal-to-instrument gain among the settings that keep the bass
    Positions gridBestAt;
    std::vector<Figures> grid;  // in the order of Grid()
    std::vector<Row> rows;
    // The stereo mode aimed by the suggestion, against the channel difference (mode 2) that
    // removes the most of the vocal in the same band.
    Positions stereoAt;
    Figures stereo;
    StemFigures stereoStems;
    Positions differenceAt;
    Figures difference;
    StemFigures differenceStems;
};

std::vector<Positions> Grid() {
    std::vector<Positions> grid;
    for (const int pan : {-30, -15, 0, 15, 30}) {
        for (const int low : {2, 8}) {
            for (const int high : {57, 70, 80}) {
                for (const int left : {13, 17, 21}) {
                    for (const int right : {13, 17, 21}) {
                        grid.push_back({pan, low, high, left, right});
                    }
                }
            }
        }
    }
    return grid;
}

std::string Name(const Positions& p) {
    char text[64];
    std::snprintf(text, sizeof text, "pan %d low %d high %d L %d R %d", p.pan, p.low, p.high,
                  p.left, p.right);
    return text;
}

void PrintRow(const Row& row) {
    std::printf("  %-40s", row.what.c_str());
    for (const double db : row.f.vocalRemoved) {
        std::printf(" %6.1f", db);
    }
    std::printf(" | %6.1f | %6.1f %6.1f | %6.1f\n", row.f.vocalRemovedTotal, row.f.instrumentKept,
                row.f.bassKept, row.f.vig);
}

void PrintHeader(const std::string& title) {
    std::printf("\n%s\n  %-40s", title.c_str(), "vocal removed, dB:");
    for (const char* band : kBandNames) {
        std::printf(" %6s", band);
    }
    std::printf(" | %6s | %6s %6s | %6s\n", "total", "instr", "bass", "V/I");
}

// Runs a shell command on the stem files; false when it failed.
bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// A reference tool run on both stems; the command has IN and OUT in it.
bool ReferenceOutputs(const Song& song, const fs::path& dir, const std::string& command,
                      StemOutputs& out) {
    const Stereo* stems[2] = {&song.vocal, &song.instruments};
    Stereo* outputs[2] = {&out.vocal, &out.instruments};
    for (int i = 0; i < 2; ++i) {
        const fs::path in = dir / "stem.wav";
        const fs::path processed = dir / "processed.wav";
        if (!WriteWav(in, *stems[i])) {
            return false;
        }
        std::string line = command;
        line.replace(line.find("IN"), 2, "'" + in.string() + "'");
        line.replace(line.find("OUT"), 3, "'" + processed.string() + "'");
        if (!Run(line + " 2>/dev/null")) {
            return false;
        }
        *outputs[i] = ReadWav(processed);
        outputs[i]->left.resize(stems[i]->Frames());
        outputs[i]->right.resize(stems[i]->Frames());
    }
    out.referenceGain = 1.0;
    return true;
}

constexpr char kSoxOops[] = "sox -D IN OUT oops";
// Below 200 Hz the channels as they are, above it their difference.
constexpr char kFfmpegChain[] =
    "ffmpeg -v error -y -i IN -filter_complex "
    "\"[0:a]asplit=2[a][b];[a]lowpass=f=200,lowpass=f=200[lo];"
    "[b]highpass=f=200,highpass=f=200,pan=stereo|c0=c0-c1|c1=c1-c0[hi];"
    "[lo][hi]amix=inputs=2:normalize=0\" -c:a pcm_s16le OUT";

// The excerpts the suggestion reads of a mix: for mode 2, or (voice) for the stereo mode's aim.
std::vector<StereoFrames> Excerpts(const std::vector<std::int16_t>& mix, bool voice = false) {
    std::vector<StereoFrames> excerpts;
    const std::uint64_t total = mix.size() / 2;
    for (const std::uint64_t start :
         voice ? VoiceExcerptStarts(total) : SuggestExcerptStarts(total)) {
        const std::size_t count =
            std::min<std::size_t>(kSuggestExcerptFrames, mix.size() / 2 - start);
        excerpts.emplace_back(mix.data() + 2 * start, 2 * count);
    }
    return excerpts;
}

// Mode 2 over pan and levels at the cut-offs of at: the setting that removes the most vocal.
Positions MostRemovedDifference(const Song& song, const Positions& at) {
    Positions best = at;
    double removed = -1e300;
    for (int pan = -30; pan <= 30; pan += 5) {
        for (const int left : {9, 13, 17, 21, 25}) {
            for (const int right : {9, 13, 17, 21, 25}) {
                const Positions p{pan, at.low, at.high, left, right};
                const Figures f = Measure(song, EngineOutputs(song, PlayMode::Mode2, p));
                if (f.vocalRemovedTotal > removed) {
                    removed = f.vocalRemovedTotal;
                    best = p;
                }
            }
        }
    }
    return best;
}

void EvaluateStereo(const Song& song, const std::vector<StereoFrames>& excerpts, SongResult& result,
                    bool stereoAlone) {
    result.stereoAt = SuggestStereoSettings(excerpts);
    const SongOutputs stereo = StereoOutputs(song, result.stereoAt);
    result.stereo = Measure(song, stereo.stems);
    result.stereoStems = MeasureStems(song, stereo, result.stereoAt);
    if (stereoAlone) {
        return;  // mode 2's search is most of the time
    }
    result.differenceAt = MostRemovedDifference(song, result.stereoAt);
    const SongOutputs difference = FrameModeOutputs(song, PlayMode::Mode2, result.differenceAt);
    result.difference = Measure(song, difference.stems);
    result.differenceStems = MeasureStems(song, difference, result.differenceAt);
    result.rows.push_back(
        {"stereo: " + Name(result.stereoAt) + " focus " + std::to_string(result.stereoAt.focus),
         result.stereo});
    result.rows.push_back(
        {"same band, most removed: " + Name(result.differenceAt), result.difference});
}

SongResult Evaluate(const Song& song, const fs::path& dir, bool allModes, bool suggestOnly) {
    SongResult result;
    result.name = song.name;
    const auto engine = [&](PlayMode mode, const Positions& p) {
        return Measure(song, EngineOutputs(song, mode, p));
    };
    result.startup = engine(PlayMode::Mode2, Positions{});
    result.rows.push_back({"mode 2, start-up positions", result.startup});
    const PlayMode others[] = {PlayMode::Mode1, PlayMode::Original, PlayMode::Low,
                               PlayMode::High,  PlayMode::Left,     PlayMode::Right};
    const char* otherNames[] = {"mode 1", "original", "low", "high", "left", "right"};
    const std::size_t otherCount = suggestOnly ? 0 : allModes ? 6 : 1;
    for (std::size_t i = 0; i < otherCount; ++i) {
        result.rows.push_back({otherNames[i], engine(others[i], Positions{})});
    }

    const std::vector<std::int16_t> mix = MixFrames(song);
    const std::vector<StereoFrames> excerpts = Excerpts(mix);
    const auto began = std::chrono::steady_clock::now();
    result.suggestion = SuggestSettings(excerpts);
    result.suggestSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    result.suggested = engine(PlayMode::Mode2, result.suggestion);
    result.rows.push_back({"suggested: " + Name(result.suggestion), result.suggested});
    if (suggestOnly) {
        return result;
    }
    EvaluateStereo(song, Excerpts(mix, true), result, false);

    Figures bestAny;
    Positions bestAnyAt;
    bool first = true;
    for (const Positions& p : Grid()) {
        const Figures f = engine(PlayMode::Mode2, p);
        result.grid.push_back(f);
        if (first || f.vig > bestAny.vig) {
            bestAny = f;
            bestAnyAt = p;
        }
        if (f.bassKept >= kBassKeptDb && (first || f.vig > result.gridBest.vig)) {
            result.gridBest = f;
            result.gridBestAt = p;
        }
        first = false;
    }
    result.rows.push_back({"grid best: " + Name(result.gridBestAt), result.gridBest});
    result.rows.push_back({"grid best, bass free: " + Name(bestAnyAt), bestAny});

    StemOutputs tool;
    if (ReferenceOutputs(song, dir, kSoxOops, tool)) {
        result.rows.push_back({"sox oops", Measure(song, tool)});
    }
    if (ReferenceOutputs(song, dir, kFfmpegChain, tool)) {
        result.rows.push_back({"ffmpeg band-limited L-R", Measure(song, tool)});
    }
    return result;
}

// A setting's figures over every song: the means, and the most bass any song loses.
struct AcrossSongs {
    std::string what;
    double vig = 0;
    double removed = 0;
    double instrumentKept = 0;
    double worstBass = 0;
};

void AddSong(AcrossSongs& across, const Figures& f, std::size_t songs, bool first) {
    const double share = 1.0 / static_cast<double>(songs);
    across.vig += f.vig * share;
    across.removed += f.vocalRemovedTotal * share;
    across.instrumentKept += f.instrumentKept * share;
    across.worstBass = first ? f.bassKept : std::min(across.worstBass, f.bassKept);
}

void PrintAcross(const std::string& title, const std::vector<AcrossSongs>& rows) {
    std::printf("\n%s\n  %-40s %8s %8s %8s %8s\n", title.c_str(), "settings", "V/I", "removed",
                "instr", "bass");
    for (const AcrossSongs& row : rows) {
        std::printf("  %-40s %8.1f %8.1f %8.1f %8.1f\n", row.what.c_str(), row.vig, row.removed,
                    row.instrumentKept, row.worstBass);
    }
}

// The grid's settings that do best over every song, by vocal-to-instrument gain and by vocal
// removed while every song keeps its bass: where the shipped presets come from.
void PrintBestAcrossSongs(const std::vector<SongResult>& results) {
    const std::vector<Positions> grid = Grid();
    std::vector<AcrossSongs> rows(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) {
        rows[i].what = Name(grid[i]);
        for (std::size_t s = 0; s < results.size(); ++s) {
            AddSong(rows[i], results[s].grid[i], results.size(), s == 0);
        }
    }
    const auto keepsBass = [](const AcrossSongs& r) { return r.worstBass >= kBassKeptDb; };
    std::vector<AcrossSongs> byVig;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(byVig), keepsBass);
    std::vector<AcrossSongs> byRemoved = byVig;
    const auto top = [](std::vector<AcrossSongs>& list, double AcrossSongs::*by) {
        constexpr std::size_t kShown = 6;
        std::sort(list.begin(), list.end(),
                  [by](const AcrossSongs& a, const AcrossSongs& b) { return a.*by > b.*by; });
        list.resize(std::min(list.size(), kShown));
    };
    top(byVig, &AcrossSongs::vig);
    top(byRemoved, &AcrossSongs::removed);
    PrintAcross("Grid settings over every song, keeping the bass: best V/I", byVig);
    PrintAcross("Grid settings over every song, keeping the bass: most vocal removed", byRemoved);
}

void PrintShippedPresets(const std::vector<Song>& songs) {
    std::vector<AcrossSongs> rows;
    for (const Preset& preset : ShippedPresets().presets) {
        AcrossSongs row{preset.name};
        for (std::size_t s = 0; s < songs.size(); ++s) {
            const Figures f =
                Measure(songs[s], EngineOutputs(songs[s], preset.mode, preset.positions));
            AddSong(row, f, songs.size(), s == 0);
        }
        rows.push_back(row);
    }
    PrintAcross("Shipped presets over every song", rows);
}

// Vocal removed over the pan and level (left = right) trackbars at low 4, high 70.
RemovalMap MapRemoval(const Song& song) {
    RemovalMap map;
    map.song = song.name;
    for (int pan = -30; pan <= 30; pan += 5) {
        map.pans.push_back(pan);
    }
    for (int level = 9; level <= 25; level += 2) {
        map.levels.push_back(level);
    }
    for (const int level : map.levels) {
        for (const int pan : map.pans) {
            const Positions p{pan, 4, 70, level, level};
            map.removedDb.push_back(
                Measure(song, EngineOutputs(song, PlayMode::Mode2, p)).vocalRemovedTotal);
        }
    }
    return map;
}

// The stereo mode's vocal removed over the pan (its aim) and the focus, at the suggested
// band.
RemovalMap MapStereoRemoval(const Song& song) {
    RemovalMap map;
    map.song = song.name;
    map.rowName = "focus";
    map.caption = "pan, the aim (left -30 .. right +30), low 6, high 57, stereo mode";
    for (int pan = -30; pan <= 30; pan += 5) {
        map.pans.push_back(pan);
    }
    for (int focus = 0; focus <= 100; focus += 20) {
        map.levels.push_back(focus);
    }
    for (const int focus : map.levels) {
        for (const int pan : map.pans) {
            Positions p{pan, 6, 57};
            p.focus = focus;
            map.removedDb.push_back(Measure(song, StereoOutputs(song, p).stems).vocalRemovedTotal);
        }
    }
    return map;
}

// The stereo mode's maps of the centred and the left song; false when the PNG cannot be
// written.
bool DrawStereoMaps(const std::vector<Song>& songs, const fs::path& out) {
    const fs::path png = out / "stereo-removal-aim-focus.png";
    if (!DrawRemovalMaps({MapStereoRemoval(songs[0]), MapStereoRemoval(songs[1])}, png)) {
        std::fprintf(stderr, "quality_bench: cannot write %s\n", png.c_str());
        return false;
    }
    std::printf("plot: %s\n", png.c_str());
    return true;
}

// The stereo mode against the channel difference in the same band, song by song, and its
// goals on the dry vocals; true when they are met.
bool PrintStereo(const std::vector<SongResult>& results) {
    std::printf(
        "\nStereo mode (aimed by the suggestion) against mode 2's most-removing setting in the "
        "same band\n  %-14s %4s %5s | %13s | %13s | %11s | %13s | %13s\n",
        "song", "pan", "focus", "removed S/D", "instr SDR S/D", "bass/treble", "mid kept S/D",
        "vocal SDR S/D");
    double worstRemovedShort = -1e300;
    double sdrGain = 0;
    double worstBassTreble = 0;
    double worstMid = 1e300;
    double vocalSdr = 0;
    std::size_t dry = 0;
    for (const SongResult& r : results) {
        const StemFigures& s = r.stereoStems;
        const StemFigures& d = r.differenceStems;
        std::printf(
            "  %-14s %4d %5d | %6.1f %6.1f | %6.1f %6.1f | %5.1f %5.1f | %6.1f %6.1f | %6.1f "
            "%6.1f\n",
            r.name.c_str(), r.stereoAt.pan, r.stereoAt.focus, r.stereo.vocalRemovedTotal,
            r.difference.vocalRemovedTotal, s.instrumentSdr, d.instrumentSdr, s.bassDb, s.trebleDb,
            s.midKeptDb, d.midKeptDb, s.vocalSdr, d.vocalSdr);
        if (r.name == "reverb") {
            continue;  // the goals are for dry vocals
        }
        ++dry;
        worstRemovedShort = std::max(worstRemovedShort,
                                     r.difference.vocalRemovedTotal - r.stereo.vocalRemovedTotal);
        sdrGain += s.instrumentSdr - d.instrumentSdr;
        worstBassTreble = std::max({worstBassTreble, std::abs(s.bassDb), std::abs(s.trebleDb)});
        worstMid = std::min(worstMid, s.midKeptDb);
        vocalSdr += s.vocalSdr;
    }
    if (dry == 0) {
        return false;
    }
    sdrGain /= static_cast<double>(dry);
    vocalSdr /= static_cast<double>(dry);
    std::printf(
        "  dry vocals: vocal removed short of mode 2's by at most %.1f dB (goal <= 1); "
        "instrument SDR %.1f dB better on average (goal >= 2.5); bass and treble within %.1f dB "
        "(goal <= 1); in-band centre kept %.1f dB at worst (goal >= -12); vocal SDR %.1f dB on "
        "average (goal >= 8)\n",
        worstRemovedShort, sdrGain, worstBassTreble, worstMid, vocalSdr);
    return worstRemovedShort <= 1.0 && sdrGain >= 2.5 && worstBassTreble <= 1.0 &&
           worstMid >= -12.0 && vocalSdr >= 8.0;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path out = ".";
    bool suggestOnly = false;
    bool presetsOnly = false;
    bool stereoOnly = false;
    bool quick = false;
    std::vector<std::vector<double>> voices;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
            continue;
        }
        if (arg == "--suggest-only") {
            suggestOnly = true;
            continue;
        }
        if (arg == "--presets-only") {
            presetsOnly = true;
            continue;
        }
        if (arg == "--stereo-only") {
            stereoOnly = true;
            continue;
        }
        if (arg == "--quick") {
            stereoOnly = true;
            quick = true;
            continue;
        }
        const Stereo voice = ReadWav(arg);
        if (voice.left.empty()) {
            std::fprintf(stderr, "quality_bench: cannot read %s\n", arg.c_str());
            return 1;
        }
        voices.push_back(voice.left);
    }
    if (voices.empty()) {
        std::fprintf(stderr, "usage: quality_bench --out DIR VOICE.wav...\n");
        return 2;
    }
    fs::create_directories(out);
    const std::vector<Song> songs = BuildSongs(voices, kSongSeconds);
    Stereo mix = songs.front().vocal;
    for (std::size_t i = 0; i < mix.Frames(); ++i) {
        mix.left[i] += songs.front().instruments.left[i];
        mix.right[i] += songs.front().instruments.right[i];
    }
    WriteWav(out / "song-centred.wav", mix);
    if (presetsOnly) {
        PrintShippedPresets(songs);
        return 0;
    }
    if (stereoOnly) {
        std::vector<SongResult> results(songs.size());
        for (std::size_t i = 0; i < songs.size(); ++i) {
            results[i].name = songs[i].name;
            const std::vector<std::int16_t> songMix = MixFrames(songs[i]);
            EvaluateStereo(songs[i], Excerpts(songMix, true), results[i], quick);
        }
        const bool met = PrintStereo(results);
        return (quick || DrawStereoMaps(songs, out)) && met ? 0 : 1;
    }

    std::vector<SongResult> results;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        results.push_back(Evaluate(songs[i], out, i == 0, suggestOnly));
        PrintHeader("Song \"" + songs[i].name + "\"");
        for (const Row& row : results.back().rows) {
            PrintRow(row);
        }
        std::fflush(stdout);
    }

    std::printf(
        "\nSuggested settings against the start-up positions and the grid's best "
        "(keeping the bass)\n");
    std::printf("  %-16s %9s %9s %9s | %9s %9s %9s | %7s\n", "song", "start-up", "suggested",
                "gained", "V/I sugg", "V/I best", "short by", "time s");
    double gained = 0;
    double worstShort = 0;
    for (const SongResult& r : results) {
        const double gain = r.suggested.vocalRemovedTotal - r.startup.vocalRemovedTotal;
        const double shortBy = r.gridBest.vig - r.suggested.vig;
        gained += gain;
        worstShort = std::max(worstShort, shortBy);
        std::printf("  %-16s %9.1f %9.1f %9.1f | %9.1f %9.1f %9.1f | %7.3f\n", r.name.c_str(),
                    r.startup.vocalRemovedTotal, r.suggested.vocalRemovedTotal, gain,
                    r.suggested.vig, r.gridBest.vig, shortBy, r.suggestSeconds);
    }
    gained /= static_cast<double>(results.size());
    std::printf(
        "  average gain in vocal removed: %.1f dB (goal >= 6); largest shortfall of "
        "V/I against the grid: %.1f dB (goal <= 2)\n",
        gained, worstShort);
    if (suggestOnly) {
        return 0;
    }
    const bool stereoMet = PrintStereo(results);
    PrintBestAcrossSongs(results);
    PrintShippedPresets(songs);
    std::fflush(stdout);

    const fs::path png = out / "removal-pan-level.png";
    if (!DrawRemovalMaps({MapRemoval(songs[0]), MapRemoval(songs[1])}, png)) {
        std::fprintf(stderr, "quality_bench: cannot write %s\n", png.c_str());
        return 1;
    }
    std::printf("\nplot: %s\n", png.c_str());
    if (!DrawStereoMaps(songs, out)) {
        return 1;
    }
    return gained >= 6.0 && worstShort <= 2.0 && stereoMet ? 0 : 1;
}

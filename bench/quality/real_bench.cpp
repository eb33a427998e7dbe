// Vocal removal on songs that sound like records, made from stems by make_songs.py (so the
// truth is known): the stereo mode at its suggested settings and at settings given here, mode 2
// at its suggested settings, the channel difference aimed at the lead's true pan, and the
// input. Prints a table a song and the means, checks the stereo mode against its goals, and
// draws lead depth and instrument spread song by song.
//
//   real_bench [--out DIR] SONGS_DIR          (every tool; the PNG lands in DIR)
//   real_bench --stereo-only SONGS_DIR        (the stereo mode alone, a line a song: for
//                                              tuning the remover)
//   ... --pan P --low L --high H --focus F    (any of them: these positions in place of the
//                                              suggested ones for the stereo mode)
//   ... --song NAME                           (only the songs whose folder names hold NAME;
//                                              repeatable)
//   ... --aim-sweep                           (the dry lead removed, alone, at each pan position
//                                              within 6 of the true pan, the other positions
//                                              as the stereo mode's: where the best aim lies)
//   ... --write                               (the stereo mode's output and vocal file, as
//                                              stereo-output.wav and stereo-vocal.wav in each
//                                              song's folder, beside mix.wav, and what it made
//                                              of each part, as stereo-PART.wav)
//
// Exit status 0 when the stereo mode (at the suggestion, with any positions given) meets every
// goal.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/quality/measure.h"
#include "bench/quality/plot.h"
#include "bench/quality/real_measure.h"
#include "jobs/suggest.h"
#include "processing/processing.h"
#include "settings/job_messages.h"

namespace fs = std::filesystem;

namespace {

// The goals (dB).
constexpr double kLeadBelowGoal = 25.0;      // on every song
constexpr double kInstrumentLowGoal = -4.0;  // every instrument against the mean
constexpr double kInstrumentHighGoal = 3.0;
constexpr double kVocalLeftGoal = -18.0;  // on average
constexpr double kToneGoal = 3.5;         // on average
constexpr double kSdrGoal = 6.0;          // on average
constexpr double kStemSdrGoal = 4.0;      // on average
constexpr double kReverbBelowGoal = 3.0;  // on every song with a reverberant lead

struct Options {
    fs::path songs;
    fs::path out;
    bool stereoOnly = false;
    bool aimSweep = false;  // the dry lead removed at the pan positions around the true pan
    bool write = false;     // the stereo mode's output and vocal file into each song's folder
    std::vector<std::string> only;  // the songs whose folder names hold one of these
    std::map<Knob, int> overrides;
};

struct Row {
    std::string tool;
    Positions at;
    RealFigures f;
};

struct SongResult {
    std::string name;
    double inputVocalLeft = 0;  // vocal left in the mix itself
    int truePan = 0;            // the stereo mode's pan position nearest the lead's true pan
    std::vector<std::pair<int, double>> aimSweep;  // pan position, the dry lead removed (dB)
    std::vector<std::string> partNames;
    std::vector<Row> rows;
};

// Prints why nothing is suggested.
class SuggestObserver : public JobObserver {
  public:
    void Message(const JobMessage& message) override {
        std::fprintf(stderr, "real_bench: suggest: %s\n", MessageText(message).c_str());
    }
};

std::string Name(const Positions& p, bool stereo) {
    char text[64];
    if (stereo) {
        std::snprintf(text, sizeof text, "pan %d low %d high %d focus %d", p.pan, p.low, p.high,
                      p.focus);
    } else {
        std::snprintf(text, sizeof text, "pan %d low %d high %d L %d R %d", p.pan, p.low, p.high,
                      p.left, p.right);
    }
    return text;
}

std::string Opt(const std::optional<double>& v) {
    char text[16];
    if (!v) {
        return "-";
    }
    std::snprintf(text, sizeof text, "%.1f", *v);
    return text;
}

void PrintHeader() {
    std::printf("  %-64s %6s %13s %6s %7s %6s %5s %5s %5s %5s\n", "tool", "lead", "instruments",
                "reverb", "backing", "vocal", "(in)", "tone", "SDR", "stem");
}

// One row of figures; inputVocalLeft and marks are shown when given.
void PrintRow(const std::string& what, const RealFigures& f,
              std::optional<double> inputVocalLeft = std::nullopt, const std::string& marks = "") {
    std::printf("  %-64s %6.1f %6.1f..%+5.1f %6s %7s %6.1f %5s %5.1f %5.1f %5s  %s\n", what.c_str(),
                f.leadBelow, f.instrumentMin, f.instrumentMax, Opt(f.reverbBelow).c_str(),
                Opt(f.backingBelow).c_str(), f.vocalLeft, Opt(inputVocalLeft).c_str(), f.toneError,
                f.instrumentSdr, Opt(f.vocalSdr).c_str(), marks.c_str());
}

constexpr double kAdditivityLimit = -40.0;  // dB: beyond it the part-by-part figures are off

// A warning when the parts' outputs do not add up to the output of the mix.
void WarnAdditivity(const std::string& song, const RealFigures& f) {
    if (f.additivity && *f.additivity > kAdditivityLimit) {
        std::printf(
            "    WARNING %s: the parts' outputs differ from the output of the mix by %.1f dB "
            "(limit %.0f): the processing is not linear given the mix (ProcessGuided), so "
            "these figures do not describe what a user hears\n",
            song.c_str(), *f.additivity, kAdditivityLimit);
    }
}

// "pass", or "FAIL(lead, instruments)": the goals that hold on each song.
std::string SongMarks(const RealFigures& f) {
    std::string failed;
    const auto check = [&failed](bool met, const char* what) {
        if (!met) {
            failed += failed.empty() ? what : std::string(", ") + what;
        }
    };
    check(f.leadBelow >= kLeadBelowGoal, "lead");
    check(f.instrumentMin >= kInstrumentLowGoal && f.instrumentMax <= kInstrumentHighGoal,
          "instruments");
    check(!f.reverbBelow || *f.reverbBelow >= kReverbBelowGoal, "reverb");
    return failed.empty() ? "pass" : "FAIL(" + failed + ")";
}

// Every instrument of the row against the instruments' mean.
void PrintParts(const SongResult& song, const Row& row) {
    std::printf("    parts against the instruments' mean, dB (%s):", row.tool.c_str());
    for (std::size_t i = 0; i < song.partNames.size(); ++i) {
        std::printf(" %s %+.1f", song.partNames[i].c_str(), row.f.partDb[i]);
    }
    std::printf("\n");
}

// The instruments' tone in the row's output, octave by octave.
void PrintBands(const Row& row) {
    std::printf("    instruments' octave bands against the truth, dB (%s):",
                row.tool.substr(0, row.tool.find(':')).c_str());
    for (std::size_t b = 0; b < row.f.bandErrors.size(); ++b) {
        const double hz = kOctaveCentres[b];
        std::printf(hz < 1000 ? " %.0f %+.1f" : " %.0fk %+.1f", hz < 1000 ? hz : hz / 1000,
                    row.f.bandErrors[b]);
    }
    std::printf("\n");
}

constexpr int kSweepReach = 6;  // pan positions each side of the true pan

// The stereo mode's removal of the dry lead (its own output's weight, dB down) at the pan
// positions around truePan, the estimate made on the mix as always.
std::vector<std::pair<int, double>> SweepAim(const RealSong& song, const Positions& at,
                                             int truePan) {
    const Stereo mix = MixOf(song);
    const auto lead = std::find_if(song.parts.begin(), song.parts.end(),
                                   [](const Part& p) { return p.role == PartRole::Lead; });
    const KnobRow& row = RowOf(Knob::Pan);
    std::vector<std::pair<int, double>> sweep;
    for (int pan = std::max(row.min, truePan - kSweepReach);
         pan <= std::min(row.max, truePan + kSweepReach); ++pan) {
        Positions p = at;
        p.pan = pan;
        const Stereo out = GuidedOutputs(mix, {&lead->audio}, p, nullptr).front();
        const double weight = LeastSquaresWeight(out, lead->audio) / kInputAttenuation;
        sweep.emplace_back(pan, -20.0 * std::log10(std::max(std::abs(weight), 1e-5)));
    }
    return sweep;
}

void PrintSweep(const SongResult& result) {
    if (result.aimSweep.empty()) {
        return;
    }
    std::printf("    aim sweep, dry lead removed (dB) at pan:");
    auto best = result.aimSweep.front();
    for (const auto& [pan, removed] : result.aimSweep) {
        std::printf(" %d %.1f", pan, removed);
        if (removed > best.second) {
            best = {pan, removed};
        }
    }
    std::printf("; best %d (%.1f), true %d\n", best.first, best.second, result.truePan);
}

// The stereo mode's output and vocal file beside the stems, for listening, and what it made of
// each part (stereo-NAME.wav), to see where a part's loss or a lead's remainder lies.
bool WriteOutputs(const fs::path& dir, const RealSong& song, const ToolOutputs& outputs) {
    for (std::size_t i = 0; i < outputs.parts.size() && i < song.parts.size(); ++i) {
        const fs::path path = dir / ("stereo-" + song.parts[i].name + ".wav");
        if (!WriteWav(path, outputs.parts[i])) {
            std::fprintf(stderr, "real_bench: cannot write %s\n", path.c_str());
            return false;
        }
    }
    Stereo played{std::vector<double>(outputs.parts.front().Frames()),
                  std::vector<double>(outputs.parts.front().Frames())};
    for (const Stereo& part : outputs.parts) {
        for (std::size_t i = 0; i < played.Frames(); ++i) {
            played.left[i] += part.left[i];
            played.right[i] += part.right[i];
        }
    }
    const std::pair<const char*, const Stereo*> files[] = {
        {"stereo-output.wav", &played}, {"stereo-vocal.wav", &*outputs.vocalStem}};
    for (const auto& [name, audio] : files) {
        if (!WriteWav(dir / name, *audio)) {
            std::fprintf(stderr, "real_bench: cannot write %s\n", (dir / name).c_str());
            return false;
        }
    }
    return true;
}

Positions WithOverrides(Positions p, const Options& options) {
    for (const auto& [knob, value] : options.overrides) {
        PositionOf(p, knob) = value;
    }
    return p;
}

std::optional<SongResult> Evaluate(const fs::path& dir, const Options& options) {
    std::string error;
    const std::optional<RealSong> song = LoadRealSong(dir, error);
    if (!song) {
        std::fprintf(stderr, "real_bench: %s\n", error.c_str());
        return std::nullopt;
    }
    // The suggestion reads the mix as a user's file.
    const fs::path mixPath = dir / "mix.wav";
    if (!WriteWav(mixPath, MixOf(*song))) {
        std::fprintf(stderr, "real_bench: cannot write %s\n", mixPath.c_str());
        return std::nullopt;
    }
    SuggestObserver observer;
    const std::optional<Suggestion> suggested = SuggestBoth(mixPath, observer);
    if (!suggested) {
        return std::nullopt;
    }
    SongResult result;
    result.name = song->name;
    result.inputVocalLeft = MeasureReal(*song, InputTool(*song)).vocalLeft;
    result.truePan = PanForAim(std::atan2(song->leadRight, song->leadLeft));
    for (const Part& part : song->parts) {
        result.partNames.push_back(part.name);
    }
    const Positions stereoAt = WithOverrides(suggested->stereo, options);
    const std::string stereoName =
        options.overrides.empty() ? "stereo @ suggest: " : "stereo @ given: ";
    const ToolOutputs stereo = StereoTool(*song, stereoAt);
    result.rows.push_back(
        {stereoName + Name(stereoAt, true), stereoAt, MeasureReal(*song, stereo)});
    if (options.write && !WriteOutputs(dir, *song, stereo)) {
        return std::nullopt;
    }
    if (options.aimSweep) {
        result.aimSweep = SweepAim(*song, stereoAt, result.truePan);
    }
    if (options.stereoOnly) {
        return result;
    }
    if (!options.overrides.empty()) {
        result.rows.push_back({"stereo @ suggest: " + Name(suggested->stereo, true),
                               suggested->stereo,
                               MeasureReal(*song, StereoTool(*song, suggested->stereo))});
    }
    result.rows.push_back(
        {"mode 2 @ suggest: " + Name(suggested->mode2, false), suggested->mode2,
         MeasureReal(*song, FrameModeTool(*song, PlayMode::Mode2, suggested->mode2))});
    char aimed[64];
    std::snprintf(aimed, sizeof aimed, "aimed L-R: the true pan, L %.2f R %.2f", song->leadLeft,
                  song->leadRight);
    result.rows.push_back({aimed, {}, MeasureReal(*song, AimedDifference(*song))});
    result.rows.push_back({"input", {}, MeasureReal(*song, InputTool(*song))});
    return result;
}

double Mean(const std::vector<SongResult>& results, std::size_t row,
            const std::function<std::optional<double>(const RealFigures&)>& of,
            std::size_t* count = nullptr) {
    double sum = 0;
    std::size_t n = 0;
    for (const SongResult& r : results) {
        if (const std::optional<double> v = of(r.rows[row].f)) {
            sum += *v;
            ++n;
        }
    }
    if (count != nullptr) {
        *count = n;
    }
    return n == 0 ? 0.0 : sum / static_cast<double>(n);
}

double Worst(const std::vector<SongResult>& results, std::size_t row,
             const std::function<std::optional<double>(const RealFigures&)>& of, bool lowest) {
    double worst = lowest ? 1e300 : -1e300;
    for (const SongResult& r : results) {
        if (const std::optional<double> v = of(r.rows[row].f)) {
            worst = lowest ? std::min(worst, *v) : std::max(worst, *v);
        }
    }
    return worst;
}

// The means of one tool over the songs, as a row.
RealFigures MeanRow(const std::vector<SongResult>& results, std::size_t row) {
    RealFigures m;
    m.leadBelow = Mean(results, row, [](const RealFigures& f) { return f.leadBelow; });
    m.instrumentMin = Mean(results, row, [](const RealFigures& f) { return f.instrumentMin; });
    m.instrumentMax = Mean(results, row, [](const RealFigures& f) { return f.instrumentMax; });
    std::size_t n = 0;
    const double reverb = Mean(
        results, row, [](const RealFigures& f) { return f.reverbBelow; }, &n);
    m.reverbBelow = n ? std::optional(reverb) : std::nullopt;
    const double backing = Mean(
        results, row, [](const RealFigures& f) { return f.backingBelow; }, &n);
    m.backingBelow = n ? std::optional(backing) : std::nullopt;
    m.vocalLeft = Mean(results, row, [](const RealFigures& f) { return f.vocalLeft; });
    m.toneError = Mean(results, row, [](const RealFigures& f) { return f.toneError; });
    m.instrumentSdr = Mean(results, row, [](const RealFigures& f) { return f.instrumentSdr; });
    const double stem = Mean(
        results, row, [](const RealFigures& f) { return f.vocalSdr; }, &n);
    m.vocalSdr = n ? std::optional(stem) : std::nullopt;
    return m;
}

const char* Mark(bool met) {
    return met ? "pass" : "FAIL";
}

// The goals for row 0 (the stereo mode), each with its figure; true when all are met.
bool PrintGoals(const std::vector<SongResult>& results) {
    const auto field = [](double RealFigures::*member) {
        return [member](const RealFigures& f) { return std::optional<double>(f.*member); };
    };
    const double leadWorst = Worst(results, 0, field(&RealFigures::leadBelow), true);
    const double instLow = Worst(results, 0, field(&RealFigures::instrumentMin), true);
    const double instHigh = Worst(results, 0, field(&RealFigures::instrumentMax), false);
    const RealFigures mean = MeanRow(results, 0);
    const double reverbWorst = Worst(
        results, 0, [](const RealFigures& f) { return f.reverbBelow; }, true);
    const bool hasReverb = mean.reverbBelow.has_value();
    const bool goals[] = {leadWorst >= kLeadBelowGoal,
                          instLow >= kInstrumentLowGoal && instHigh <= kInstrumentHighGoal,
                          mean.vocalLeft <= kVocalLeftGoal,
                          mean.toneError <= kToneGoal,
                          mean.instrumentSdr >= kSdrGoal,
                          mean.vocalSdr.value_or(-1e300) >= kStemSdrGoal,
                          !hasReverb || reverbWorst >= kReverbBelowGoal};
    std::printf(
        "  goals: lead >= %.0f dB below on every song: %s (worst %.1f) | every instrument within "
        "%.0f..+%.0f dB: %s (%.1f..%+.1f) | vocal left <= %.0f dB on average: %s (%.1f)\n"
        "         tone <= %.1f dB on average: %s (%.2f) | instrumental SDR >= %.0f dB on average: "
        "%s (%.2f) | vocal stem SDR >= %.0f dB on average: %s (%s) | lead reverb >= %.0f dB "
        "below on every reverberant song: %s (worst %s)\n",
        kLeadBelowGoal, Mark(goals[0]), leadWorst, kInstrumentLowGoal, kInstrumentHighGoal,
        Mark(goals[1]), instLow, instHigh, kVocalLeftGoal, Mark(goals[2]), mean.vocalLeft,
        kToneGoal, Mark(goals[3]), mean.toneError, kSdrGoal, Mark(goals[4]), mean.instrumentSdr,
        kStemSdrGoal, Mark(goals[5]), Opt(mean.vocalSdr).c_str(), kReverbBelowGoal, Mark(goals[6]),
        hasReverb ? Opt(reverbWorst).c_str() : "-");
    const bool all = std::all_of(std::begin(goals), std::end(goals), [](bool g) { return g; });
    std::printf("  stereo mode: %s\n", all ? "PASS" : "FAIL");
    return all;
}

// Lead depth, the instruments' spread and the reverb's depth, song by song, a map a tool.
bool DrawFigures(const std::vector<SongResult>& results, const fs::path& png) {
    std::vector<RemovalMap> maps;
    for (std::size_t row = 0; row < results.front().rows.size(); ++row) {
        RemovalMap map;
        const std::string& tool = results.front().rows[row].tool;
        map.title = tool.substr(0, tool.find(':'));
        map.caption = "song (dB; green: the goal met)";
        map.rowLabels = {"lead below", "instr low", "instr high", "reverb bel."};
        map.levels = {0, 1, 2, 3};
        for (std::size_t s = 0; s < results.size(); ++s) {
            map.pans.push_back(static_cast<int>(s + 1));
            map.columnLabels.push_back(results[s].name.substr(0, results[s].name.find('-')));
        }
        // Each figure with the goal it is held to on a song.
        const std::pair<std::function<std::optional<double>(const RealFigures&)>,
                        std::function<bool(double)>>
            figures[] = {
                {[](const RealFigures& f) { return f.leadBelow; },
                 [](double v) { return v >= kLeadBelowGoal; }},
                {[](const RealFigures& f) { return f.instrumentMin; },
                 [](double v) { return v >= kInstrumentLowGoal; }},
                {[](const RealFigures& f) { return f.instrumentMax; },
                 [](double v) { return v <= kInstrumentHighGoal; }},
                {[](const RealFigures& f) { return f.reverbBelow; },
                 [](double v) { return v >= kReverbBelowGoal; }},
            };
        for (const auto& [of, goal] : figures) {
            for (const SongResult& r : results) {
                const std::optional<double> v = of(r.rows[row].f);
                map.removedDb.push_back(v.value_or(std::nan("")));
                map.met.push_back(v && goal(*v));
            }
        }
        maps.push_back(std::move(map));
    }
    return DrawRemovalMaps(maps, png);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool knob = false;
        for (const Knob k : {Knob::Pan, Knob::Low, Knob::High, Knob::Focus}) {
            const KnobRow& row = RowOf(k);
            if (arg == std::string("--") + row.name && i + 1 < argc) {
                const std::optional<int> value = StepsFromText(argv[++i], row.perUnit);
                if (!value || *value < row.min || *value > row.max) {
                    std::fprintf(stderr, "real_bench: %s must be %s\n", arg.c_str(),
                                 RangeText(row.min, row.max, row.perUnit).c_str());
                    return std::nullopt;
                }
                options.overrides[k] = *value;
                knob = true;
            }
        }
        if (knob) {
            continue;
        }
        if (arg == "--stereo-only") {
            options.stereoOnly = true;
        } else if (arg == "--aim-sweep") {
            options.aimSweep = true;
        } else if (arg == "--write") {
            options.write = true;
        } else if (arg == "--song" && i + 1 < argc) {
            options.only.emplace_back(argv[++i]);
        } else if (arg == "--out" && i + 1 < argc) {
            options.out = argv[++i];
        } else if (!arg.starts_with("--") && options.songs.empty()) {
            options.songs = arg;
        } else {
            std::fprintf(stderr, "real_bench: unknown option %s\n", arg.c_str());
            return std::nullopt;
        }
    }
    if (options.songs.empty()) {
        std::fprintf(stderr,
                     "usage: real_bench [--stereo-only] [--pan P] [--low L] [--high H] "
                     "[--focus F] [--song NAME]... [--aim-sweep] [--write] [--out DIR] "
                     "SONGS_DIR\n");
        return std::nullopt;
    }
    if (options.out.empty()) {
        options.out = options.songs;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        return 2;
    }
    const auto began = std::chrono::steady_clock::now();
    std::vector<fs::path> dirs;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(options->songs, error)) {
        const std::string name = entry.path().filename().string();
        const bool chosen =
            options->only.empty() || std::any_of(options->only.begin(), options->only.end(),
                                                 [&name](const std::string& part) {
                                                     return name.find(part) != std::string::npos;
                                                 });
        if (chosen && fs::exists(entry.path() / "song.txt")) {
            dirs.push_back(entry.path());
        }
    }
    std::sort(dirs.begin(), dirs.end());
    if (error || dirs.empty()) {
        std::fprintf(stderr, "real_bench: no songs (folders with song.txt) in %s%s%s\n",
                     options->songs.c_str(), error ? ": " : "", error.message().c_str());
        return 1;
    }
    std::vector<SongResult> results;
    if (options->stereoOnly) {
        PrintHeader();
    }
    for (const fs::path& dir : dirs) {
        std::optional<SongResult> result = Evaluate(dir, *options);
        if (!result) {
            return 1;
        }
        if (options->stereoOnly) {
            PrintRow(result->name + ": " + Name(result->rows[0].at, true) + " (true pan " +
                         std::to_string(result->truePan) + ")",
                     result->rows[0].f, result->inputVocalLeft, SongMarks(result->rows[0].f));
            WarnAdditivity(result->name, result->rows[0].f);
            PrintParts(*result, result->rows[0]);
            PrintSweep(*result);
        } else {
            std::printf(
                "\nSong %s (dB; lead, reverb and backing: below the instruments' mean "
                "weight)\n",
                result->name.c_str());
            PrintHeader();
            for (const Row& row : result->rows) {
                const bool stereo = row.tool.starts_with("stereo");
                PrintRow(row.tool, row.f, std::nullopt, stereo ? SongMarks(row.f) : "");
                WarnAdditivity(result->name, row.f);
            }
            PrintParts(*result, result->rows[0]);
            PrintBands(result->rows[0]);
            PrintSweep(*result);
            PrintParts(*result, result->rows[result->rows.size() - 3]);
        }
        std::fflush(stdout);
        results.push_back(std::move(*result));
    }
    if (options->stereoOnly) {
        double input = 0;
        for (const SongResult& r : results) {
            input += r.inputVocalLeft / static_cast<double>(results.size());
        }
        PrintRow("mean", MeanRow(results, 0), input);
    } else {
        std::printf("\nMean over %zu songs\n", results.size());
        PrintHeader();
        for (std::size_t row = 0; row < results.front().rows.size(); ++row) {
            const std::string tool = results.front().rows[row].tool;
            PrintRow(tool.substr(0, tool.find(':')), MeanRow(results, row));
        }
    }
    const bool met = PrintGoals(results);
    if (!options->stereoOnly) {
        const fs::path png = options->out / "real-songs.png";
        if (!DrawFigures(results, png)) {
            std::fprintf(stderr, "real_bench: cannot write %s\n", png.c_str());
            return 1;
        }
        std::printf("plot: %s\n", png.c_str());
    }
    std::printf("%zu songs in %.1f s\n", results.size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    return met ? 0 : 1;
}

#include "cli/options.h"

#include <algorithm>
#include <regex>

#include "cli/console.h"
#include "settings/presets.h"
#include "trackbars/parameters.h"

namespace {

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// "pan 0 low 8 high 57 left 13 right 13 output-level 25", the focus, key and tempo unless
// they are the start-up ones, the mode after it unless mode 2.
std::string SettingsText(const Preset& preset) {
    std::string text;
    for (const auto& [key, value] : PresetSettings(preset)) {
        text.append(text.empty() ? "" : " ").append(key).append(" ").append(value);
    }
    return preset.mode == PlayMode::Mode2 ? text : text + " (" + ModeName(preset.mode) + ")";
}

// A time on the command line: seconds with a fraction or an s ("83.4", "83s"), m:ss or m:ss.xx
// ("1:23.40"), in microseconds; nothing for any other text.
std::optional<std::int64_t> ParseTimeMicros(const std::string& text) {
    // Minutes and two digits of seconds below 60, or seconds alone; at most nine digits of
    // either and six places.
    static const std::regex kTime(R"((?:(\d{1,9}):([0-5]\d)|(\d{1,9}))(?:\.(\d{1,6}))?(s?))");
    std::smatch time;
    // A plain number is a trackbar step.
    if (!std::regex_match(text, time, kTime) ||
        (time[3].matched && !time[4].matched && time[5].length() == 0)) {
        return std::nullopt;
    }
    const auto number = [&time](int part) {
        return time[part].matched ? std::stoll(time[part].str()) : 0;
    };
    std::string fraction = time[4].str();
    fraction.resize(6, '0');
    return (number(1) * 60 + number(2) + number(3)) * 1000000 + std::stoll(fraction);
}

}  // namespace

ValueOption ModeOption(PlayMode& mode) {
    return {"--mode", [&mode](const std::string& value) -> std::optional<std::string> {
                const std::optional<PlayMode> parsed = ModeFromName(value);
                if (!parsed) {
                    return "--mode must be one of " + ModeNamesText() + " (got " + Quoted(value) +
                           ")";
                }
                mode = *parsed;
                return std::nullopt;
            }};
}

ValueOption LoudnessOption(Loudness& loudness) {
    return {"--loudness", [&loudness](const std::string& value) -> std::optional<std::string> {
                const std::optional<Loudness> given = ParseLoudness(value);
                if (!given) {
                    return "--loudness takes match, off or a loudness in LUFS from " +
                           LoudnessText({Loudness::Kind::Target, kLoudnessMinLufs}) + " to " +
                           LoudnessText({Loudness::Kind::Target, kLoudnessMaxLufs}) + " (got '" +
                           value + "')";
                }
                loudness = *given;
                return std::nullopt;
            }};
}

ValueOption PresetOption(RenderOptions& options) {
    return {"--preset", [&options](const std::string& name) -> std::optional<std::string> {
                const PresetList list = LoadPresets(DefaultPresetsPath());
                for (const std::string& problem : list.problems) {
                    PrintError(problem);
                }
                const Preset* preset = list.Find(name);
                if (preset == nullptr) {
                    return "unknown preset '" + Printable(name) + "'; the presets are " +
                           Printable(list.Names());
                }
                options.mode = preset->mode;
                options.positions = preset->positions;
                options.loudness = preset->loudness;
                return std::nullopt;
            }};
}

std::string ShippedPresetsHelp() {
    std::string help;
    for (const Preset& preset : ShippedPresets().presets) {
        help += OptionHelpLine(preset.name, SettingsText(preset));
    }
    return help;
}

ValueOption LoopOption(Knob knob, int& steps, std::optional<std::int64_t>& micros) {
    const KnobRow& row = RowOf(knob);
    const std::string name = std::string("--") + row.name;
    return {name, [&steps, &micros, name, row](const std::string& value) {
                if (const std::optional<std::int64_t> time = ParseTimeMicros(value)) {
                    micros = *time;
                    return std::optional<std::string>();
                }
                // A whole number: steps of one have no places.
                const std::optional<int> number = StepsFromText(value, 1);
                if (!number || *number < row.min || *number > row.max) {
                    return std::optional<std::string>(
                        name + " must be " + RangeText(row.min, row.max, 1) +
                        " or a time (seconds, m:ss or m:ss.xx) (got " + Quoted(value) + ")");
                }
                steps = *number;
                micros.reset();
                return std::optional<std::string>();
            }};
}

std::vector<Knob> RenderKnobs() {
    std::vector<Knob> knobs(std::begin(kProcessingKnobs), std::end(kProcessingKnobs));
    knobs.insert(knobs.end(), std::begin(kStereoKnobs), std::end(kStereoKnobs));
    knobs.insert(knobs.end(), std::begin(kKeyTempoKnobs), std::end(kKeyTempoKnobs));
    return knobs;
}

ValueOption IntOption(const std::string& name, int min, int max, int& value, int perUnit) {
    return {name, [=, &value](const std::string& text) -> std::optional<std::string> {
                const std::optional<int> number = StepsFromText(text, perUnit);
                if (!number || *number < min || *number > max) {
                    return name + " must be " + RangeText(min, max, perUnit) + " (got " +
                           Quoted(text) + ")";
                }
                value = *number;
                return std::nullopt;
            }};
}

std::vector<ValueOption> KnobOptions(RenderOptions& options) {
    std::vector<ValueOption> all;
    for (const Knob knob : RenderKnobs()) {
        const KnobRow& row = RowOf(knob);
        all.push_back(IntOption(std::string("--") + row.name, row.min, row.max,
                                PositionOf(options.positions, knob), row.perUnit));
    }
    return all;
}

std::string OptionHelpLine(const std::string& option, const std::string& help) {
    constexpr std::size_t kColumn = 24;
    std::string line = "  " + option;
    line.resize(std::max(kColumn, line.size() + 1), ' ');
    return line + help + "\n";
}

std::optional<std::string> ParseOptions(const std::vector<std::string>& args,
                                        const std::vector<ValueOption>& options,
                                        std::vector<std::string>& flags,
                                        const std::vector<std::string>& knownFlags,
                                        std::vector<std::string>& positional) {
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        if (std::ranges::find(knownFlags, arg) != knownFlags.end()) {
            flags.push_back(arg);
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const auto option = std::ranges::find(options, name, &ValueOption::name);
        if (option == options.end()) {
            return "unknown option " + Quoted(arg);
        }
        if (eq == std::string::npos && i + 1 == args.size()) {
            return "option " + name + " needs a value";
        }
        if (auto refused =
                option->apply(eq != std::string::npos ? arg.substr(eq + 1) : args[++i])) {
            return refused;
        }
    }
    return std::nullopt;
}

void ApplyRenderOptions(const RenderOptions& options, ProcessingParameters& params) {
    ApplyPositions(options.positions, params);
    params.mode = options.mode;
}

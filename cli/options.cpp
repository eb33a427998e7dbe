#include "options.h"

#include <algorithm>

#include "parameters.h"

namespace {

// A whole number as a person writes one: an optional sign, then digits; no blanks, no
// second sign, no base prefix, nothing after.
std::optional<int> ParseInt(const std::string& text) {
    const std::optional<int> steps = StepsFromText(text, 1);
    return text.find('.') == std::string::npos ? steps : std::nullopt;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace

IntOption KnobOption(Knob knob, int& value) {
    const KnobRow& row = RowOf(knob);
    return {std::string("--") + row.name, row.min, row.max, &value, row.perUnit};
}

std::vector<IntOption> RenderIntOptions(RenderOptions& options) {
    std::vector<IntOption> all;
    for (const Knob knob : kProcessingKnobs) {
        all.push_back(KnobOption(knob, PositionOf(options.positions, knob)));
    }
    for (const Knob knob : kStereoKnobs) {
        all.push_back(KnobOption(knob, PositionOf(options.positions, knob)));
    }
    for (const Knob knob : kKeyTempoKnobs) {
        all.push_back(KnobOption(knob, PositionOf(options.positions, knob)));
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
                                        const std::vector<IntOption>& intOptions, PlayMode* mode,
                                        std::vector<std::string>& flags,
                                        const std::vector<std::string>& knownFlags,
                                        std::vector<std::string>& positional,
                                        const std::vector<ValueOption>& valueOptions) {
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
        if (std::find(knownFlags.begin(), knownFlags.end(), arg) != knownFlags.end()) {
            flags.push_back(arg);
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const bool inlineValue = eq != std::string::npos;
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return arg.substr(eq + 1);
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        if (name == "--mode" && mode != nullptr) {
            const std::optional<std::string> value = takeValue();
            if (!value) {
                return "option --mode needs a value";
            }
            const std::optional<PlayMode> parsed = ModeFromName(*value);
            if (!parsed) {
                return "--mode must be one of " + ModeNamesText() + " (got " + Quoted(*value) + ")";
            }
            *mode = *parsed;
            continue;
        }
        const auto valueOption = std::find_if(valueOptions.begin(), valueOptions.end(),
                                              [&](const ValueOption& o) { return name == o.name; });
        if (valueOption != valueOptions.end()) {
            const std::optional<std::string> value = takeValue();
            if (!value) {
                return "option " + name + " needs a value";
            }
            if (std::optional<std::string> refused = valueOption->apply(*value)) {
                return refused;
            }
            continue;
        }
        const auto option = std::find_if(intOptions.begin(), intOptions.end(),
                                         [&](const IntOption& o) { return name == o.name; });
        if (option == intOptions.end()) {
            return "unknown option " + Quoted(arg);
        }
        const std::optional<std::string> value = takeValue();
        if (!value) {
            return "option " + name + " needs a value";
        }
        const std::optional<int> number =
            option->perUnit == 1 ? ParseInt(*value) : StepsFromText(*value, option->perUnit);
        if (!number || *number < option->min || *number > option->max) {
            return name + " must be " + RangeText(option->min, option->max, option->perUnit) +
                   " (got " + Quoted(*value) + ")";
        }
        *option->value = *number;
    }
    return std::nullopt;
}

void ApplyRenderOptions(const RenderOptions& options, ProcessingParameters& params) {
    ApplyPositions(options.positions, params);
    params.mode = options.mode;
}

KeyTempo KeyTempoOf(const RenderOptions& options) {
    return {options.positions.key, options.positions.tempo};
}

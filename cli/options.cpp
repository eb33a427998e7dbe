#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "parameters.h"

namespace {

std::optional<int> ParseInt(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < -1000000000L || value > 1000000000L) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// A number given in steps of 1/perUnit, as a count of those steps.
std::optional<int> ParseSteps(const std::string& text, int perUnit) {
    if (perUnit == 1) {
        return ParseInt(text);
    }
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    const std::size_t digits = std::to_string(perUnit).size() - 1;
    const bool digitsOnly =
        std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digitsOnly || fraction.size() > digits ||
        (point != std::string::npos && fraction.empty())) {
        return std::nullopt;
    }
    const bool negative = !whole.empty() && whole[0] == '-';
    const std::optional<int> units =
        whole == "-" || whole == "+" ? std::optional<int>(0) : ParseInt(whole);
    if (!units || (whole.empty() && fraction.empty())) {
        return std::nullopt;
    }
    int steps = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        steps = steps * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    return *units * perUnit + (negative ? -steps : steps);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// " must be a whole number from 0 to 40", or for steps of a tenth " must be a number from
// -12 to 12 in steps of 0.1".
std::string RangeText(const IntOption& option) {
    if (option.perUnit == 1) {
        return " must be a whole number from " + std::to_string(option.min) + " to " +
               std::to_string(option.max);
    }
    const auto units = [&option](int steps) { return StepsText(steps, option.perUnit); };
    return " must be a number from " + units(option.min) + " to " + units(option.max) +
           " in steps of " + units(1);
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
                return "--mode must be one of mode2, mode1, original, low, high, left, right "
                       "(got " +
                       Quoted(*value) + ")";
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
        const std::optional<int> number = ParseSteps(*value, option->perUnit);
        if (!number || *number < option->min || *number > option->max) {
            return name + RangeText(*option) + " (got " + Quoted(*value) + ")";
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

#include "cli/output_options.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "cli/options.h"

namespace {

constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpColumn = 24;

std::optional<int> WholeNumber(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end ? std::optional<int>(value)
                                                              : std::nullopt;
}

// An option's help, its text wrapped at the help's width under the text's column; never inside
// "6 .. 510" or before "kbps".
std::string Wrapped(const std::string& option, const std::string& text) {
    std::vector<std::string> words;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t to = std::min(text.find(' ', from), text.size());
        const std::string word = text.substr(from, to - from);
        if (!words.empty() &&
            (word == ".." || word.starts_with("kbps") || words.back().ends_with(" .."))) {
            words.back() += " " + word;
        } else {
            words.push_back(word);
        }
        from = to + 1;
    }
    std::string help;
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty() && kHelpColumn + line.size() + 1 + word.size() > kHelpWidth) {
            help += OptionHelpLine(help.empty() ? option : "", line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return help + OptionHelpLine(help.empty() ? option : "", line);
}

std::string FormatNames() {
    std::string names;
    for (const OutputFormatRow& format : kOutputFormats) {
        names += (names.empty() ? "" : ", ") + std::string(format.name);
    }
    return names;
}

std::optional<std::string> TakeValueOption(std::vector<std::string>& args, const std::string& name,
                                           std::optional<std::string>& value) {
    const std::string inlined = name + "=";
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] == "--") {
            break;
        }
        const auto at = args.begin() + static_cast<std::ptrdiff_t>(i);
        if (args[i] == name) {
            if (i + 1 == args.size()) {
                return "option " + name + " needs a value";
            }
            value = args[i + 1];
            args.erase(at, at + 2);
        } else if (args[i].rfind(inlined, 0) == 0) {
            value = args[i].substr(inlined.size());
            args.erase(at);
        } else {
            ++i;
        }
    }
    return std::nullopt;
}

std::string Range(int min, int max) {
    return std::to_string(min) + " .. " + std::to_string(max);
}

std::string Steps(const OutputFormatRow& format) {
    std::string steps;
    for (int q = format.qualityMin; q <= format.qualityMax; ++q) {
        steps += (steps.empty() ? "" : ", ") +
                 std::to_string(format.steps[static_cast<std::size_t>(q - format.qualityMin)]);
    }
    return steps + " kbps";
}

// "--quality 0 .. 9 (LAME V0 (best) .. V9...), default 2; or --bitrate 8 .. 320 kbps,
// constant": what a lossy format takes, for the help.
std::string QualityHelp(const OutputFormatRow& format) {
    const std::string levels =
        format.scale == QualityScale::VbrLevel ? format.qualityNote : Steps(format);
    return "--quality " + Range(format.qualityMin, format.qualityMax) + " (" + levels +
           "), default " + std::to_string(format.qualityStart) + "; or --bitrate " +
           Range(format.bitrateMin, format.bitrateMax) + " kbps, " + format.bitrateNote;
}

}  // namespace

std::optional<std::string> TakeOutputOptions(std::vector<std::string>& args,
                                             OutputOptionTexts& texts) {
    for (auto [name, value] :
         {std::pair{"--output-dir", &texts.outputDir}, std::pair{"--format", &texts.format},
          std::pair{"--quality", &texts.quality}, std::pair{"--bitrate", &texts.bitrate}}) {
        if (auto error = TakeValueOption(args, name, *value)) {
            return error;
        }
        // An empty folder is an error: a script whose variable is unset passes one, and must
        // not write over its inputs.
        if (texts.outputDir && texts.outputDir->empty()) {
            return "option --output-dir needs a folder";
        }
    }
    return std::nullopt;
}

std::variant<const OutputFormatRow*, std::string> BatchFormat(
    const std::optional<std::string>& name, bool flac) {
    const OutputFormatRow* format = name ? FormatNamed(*name) : FormatNamed(flac ? "flac" : "wav");
    if (format == nullptr) {
        return "--format must be one of " + FormatNames() + " (got '" + *name + "')";
    }
    if (flac && format != FormatNamed("flac")) {
        return "--flac and --format " + *name + " ask for different formats";
    }
    return format;
}

std::variant<QualityChoice, std::string> QualityOptions(const OutputFormatRow& format,
                                                        const OutputOptionTexts& texts) {
    if (format.scale == QualityScale::None && (texts.quality || texts.bitrate)) {
        return std::string(texts.quality ? "--quality" : "--bitrate") + " does not apply to " +
               format.label + ", which is written without loss";
    }
    QualityChoice choice;
    struct Given {
        const char* option;
        const std::optional<std::string>& text;
        int min;
        int max;
        std::optional<int>& value;
    };
    const Given given[] = {
        {"--quality", texts.quality, format.qualityMin, format.qualityMax, choice.quality},
        {"--bitrate", texts.bitrate, format.bitrateMin, format.bitrateMax, choice.bitrateKbps}};
    const auto problem = [&format](const Given& g, const std::string& got) {
        return std::string(g.option) + " for " + format.label + " is a whole number from " +
               std::to_string(g.min) + " to " + std::to_string(g.max) + " (got '" + got + "')";
    };
    // A value that is no number is refused first, then both given, then one out of range.
    for (const Given& g : given) {
        if (g.text && !(g.value = WholeNumber(*g.text))) {
            return problem(g, *g.text);
        }
    }
    if (choice.quality && choice.bitrateKbps) {
        return "give --quality or --bitrate, not both";
    }
    for (const Given& g : given) {
        if (g.value && (*g.value < g.min || *g.value > g.max)) {
            return problem(g, std::to_string(*g.value));
        }
    }
    return choice;
}

std::string OutputHelp() {
    std::string help =
        "\nOutput formats (by OUTPUT's extension, any case; with --output-dir, by --format):\n";
    for (const OutputFormatRow& format : kOutputFormats) {
        std::string extensions = format.extensions[0];
        if (format.extensions[1] != nullptr) {
            extensions += std::string(", ") + format.extensions[1];
        }
        std::string text = format.label;
        if (format.rate != 0) {
            text += ", resampled to " + std::to_string(format.rate / 1000) + " kHz";
        }
        if (format.scale != QualityScale::None) {
            text += ": " + QualityHelp(format);
        }
        help += Wrapped(extensions, text);
    }
    help += "\nOutput options:\n";
    help += Wrapped("--format FORMAT", "with --output-dir: write DIR/NAME.FORMAT, FORMAT one of " +
                                           FormatNames() + "; default wav");
    help += Wrapped("--flac", "the same as --format flac");
    help += Wrapped("--quality N", "the encoder's quality level (see Output formats)");
    help += Wrapped("--bitrate N", "the encoder's bit rate in kbps (see Output formats)");
    return help;
}

#pragma once

// The options that choose where and what an output is written as: --output-dir and --format (a
// batch's), --quality and --bitrate, checked against the table of formats.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "codecs/output_formats.h"

// The values of the output options as given.
struct OutputOptionTexts {
    std::optional<std::string> outputDir;
    std::optional<std::string> format;
    std::optional<std::string> quality;
    std::optional<std::string> bitrate;
};

// Takes "--NAME VALUE" and "--NAME=VALUE" of each output option out of args, up to a "--"; the
// last one given counts. Returns an error text for a usage error.
std::optional<std::string> TakeOutputOptions(std::vector<std::string>& args,
                                             OutputOptionTexts& texts);

// A batch's format: the one --format names (wav, flac, ...), --flac's, or WAV; or an error text.
std::variant<const OutputFormatRow*, std::string> BatchFormat(
    const std::optional<std::string>& name, bool flac);

// --quality and --bitrate for the format, or an error text when they do not fit it.
std::variant<QualityChoice, std::string> QualityOptions(const OutputFormatRow& format,
                                                        const OutputOptionTexts& texts);

// The help's paragraphs on the formats and the output options.
std::string OutputHelp();

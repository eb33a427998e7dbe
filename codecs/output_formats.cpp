#include "codecs/output_formats.h"

#include <strings.h>

#include <algorithm>
#include <iterator>

namespace {

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

}  // namespace

const OutputFormatRow* FormatOfExtension(std::string_view extension) {
    const std::string text(extension);
    const auto* found = std::ranges::find_if(kOutputFormats, [&text](const OutputFormatRow& row) {
        return std::ranges::any_of(row.extensions, [&text](const char* own) {
            return own != nullptr && strcasecmp(own, text.c_str()) == 0;
        });
    });
    return found != std::end(kOutputFormats) ? found : nullptr;
}

const OutputFormatRow* FormatNamed(std::string_view name) {
    const auto* found = std::ranges::find(kOutputFormats, name, &OutputFormatRow::name);
    return found != std::end(kOutputFormats) ? found : nullptr;
}

const OutputFormatRow& WavFormat() {
    return kOutputFormats[0];
}

EncoderSettings SettleQuality(const OutputFormatRow& format, const QualityChoice& choice) {
    EncoderSettings settings;
    settings.format = format.name;
    if (format.scale == QualityScale::None) {
        return settings;
    }
    if (choice.bitrateKbps) {
        settings.bitrateKbps = *choice.bitrateKbps;
        return settings;
    }
    const int quality = choice.quality.value_or(format.qualityStart);
    if (format.scale == QualityScale::VbrLevel) {
        settings.vbr = true;
        settings.quality = quality;
    } else {
        settings.bitrateKbps = format.steps[static_cast<std::size_t>(quality - format.qualityMin)];
    }
    return settings;
}

std::string QualityHelp(const OutputFormatRow& format) {
    if (format.scale == QualityScale::None) {
        return "";
    }
    const std::string levels =
        format.scale == QualityScale::VbrLevel ? format.qualityNote : Steps(format);
    return "--quality " + Range(format.qualityMin, format.qualityMax) + " (" + levels +
           "), default " + std::to_string(format.qualityStart) + "; or --bitrate " +
           Range(format.bitrateMin, format.bitrateMax) + " kbps, " + format.bitrateNote;
}

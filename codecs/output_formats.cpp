#include "codecs/output_formats.h"

#include <strings.h>

#include <algorithm>
#include <iterator>

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

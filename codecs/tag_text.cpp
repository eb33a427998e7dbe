#include "codecs/tag_text.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at text[i] and its code point; 0 when invalid.
std::size_t Utf8At(std::string_view text, std::size_t i, char32_t& code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

bool Control(char32_t code) {
    return (code < 0x20 && code != '\t' && code != '\n') || (code >= 0x7F && code <= 0x9F);
}

}  // namespace

std::string CleanTagText(std::string_view text) {
    std::string clean;
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8At(text, i, code);
        const std::string_view piece =
            length == 0 ? std::string_view(kReplacement) : text.substr(i, length);
        if (clean.size() + piece.size() > kMaxTagValueBytes) {
            break;
        }
        if (length == 0 || !Control(code)) {
            clean += piece;
        }
        i += length == 0 ? 1 : length;
    }
    return clean;
}

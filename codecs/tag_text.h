#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kMaxTagValueBytes = 64 * 1024;

// A tag's text as it may be written into another file's tags: valid UTF-8 (each invalid
// sequence becomes U+FFFD), without control characters other than tab and newline, and no
// longer than kMaxTagValueBytes, cut at a character's end.
std::string CleanTagText(std::string_view text);

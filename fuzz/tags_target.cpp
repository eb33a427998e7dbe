#include <algorithm>
#include <cstring>
#include <string>

#include "codecs/metadata_guard.h"
#include "codecs/tag_text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_targets.h"

namespace {

// Whether text is valid UTF-8 free of control characters other than tab and newline.
bool CleanText(const std::string& text) {
    return CleanTagText(text) == text;
}

}  // namespace

int FuzzTags(const std::uint8_t* data, std::size_t size) {
    const auto read = [data, size](std::uint64_t offset, unsigned char* buffer, std::size_t n) {
        if (offset >= size) {
            return std::size_t{0};
        }
        const std::size_t got = std::min<std::size_t>(n, size - offset);
        std::memcpy(buffer, data + offset, got);
        return got;
    };
    const FileView view = GuardMetadata(read, size);
    FUZZ_CHECK(view.hidden <= size);
    // Only an ID3 tag over the bound is hidden (all of a file shorter than its tag says), and
    // only comment counts are changed, down.
    FUZZ_CHECK(view.hidden == 0 || view.hidden > kMaxTagBytes || view.hidden == size);
    FUZZ_CHECK(view.patches.size() % 4 == 0);
    for (std::size_t i = 0; i < view.patches.size(); i += 4) {
        std::uint32_t before = 0;
        std::uint32_t after = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const auto [offset, value] = view.patches[i + k];
            FUZZ_CHECK(offset == view.patches[i].first + k && offset < size);
            before |= static_cast<std::uint32_t>(data[offset]) << (8 * k);
            after |= static_cast<std::uint32_t>(value) << (8 * k);
        }
        FUZZ_CHECK(after == kMaxComments && before > after);
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string clean = CleanTagText(text);
    FUZZ_CHECK(clean.size() <= kMaxTagValueBytes);
    FUZZ_CHECK(CleanText(clean));
    FUZZ_CHECK(size > kMaxTagValueBytes || clean.size() <= 3 * size);
    return 0;
}

// What the codec module makes of tags: bounded before FFmpeg reads them, clean text after.

#include <gtest/gtest.h>

#include <cstring>

#include "codecs/metadata_guard.h"
#include "codecs/tag_text.h"
#include "tests/test_support/wav_builder.h"

namespace {

TEST(CleanTagText, KeepsValidTextAndReplacesOrDropsTheRest) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Night Song", "Night Song"},
        {"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5",
         "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5"},
        {"line\none\ttab", "line\none\ttab"},
        {"bell\x07"
         "esc\x1B"
         "del\x7F"
         "nul",
         "bellescdelnul"},
        {"c1\xC2\x85"
         "end",
         "c1end"},                                                       // NEL, a C1 control
        {"bad\xFFname", "bad\xEF\xBF\xBDname"},                          // not UTF-8 at all
        {"cut\xE6\x97", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},                  // a sequence cut short
        {"long\xC0\xAF", "long\xEF\xBF\xBD\xEF\xBF\xBD"},                // an overlong "/"
        {"sur\xED\xA0\x80", "sur\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanTagText(c.in), c.out) << c.in;
    }
    const std::string huge(3 * kMaxTagValueBytes, 'a');
    EXPECT_EQ(CleanTagText(huge).size(), kMaxTagValueBytes);
    // Cut at a character's end, never inside one.
    std::string wide;
    while (wide.size() < 2 * kMaxTagValueBytes) {
        wide += "\xE6\x97\xA5";
    }
    const std::string cut = CleanTagText(wide);
    EXPECT_LE(cut.size(), kMaxTagValueBytes);
    EXPECT_EQ(cut.size() % 3, 0u);
}

Bytes Id3(std::size_t bodyBytes) {
    Bytes tag = {'I', 'D', '3', 4, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag.push_back(static_cast<std::uint8_t>((bodyBytes >> shift) & 0x7F));
    }
    tag.resize(10 + bodyBytes, 0);
    return tag;
}

Bytes FlacBlock(std::uint8_t type, const Bytes& body, bool last) {
    const Bytes header = {static_cast<std::uint8_t>((last ? 0x80 : 0) | type),
                          static_cast<std::uint8_t>(body.size() >> 16),
                          static_cast<std::uint8_t>(body.size() >> 8),
                          static_cast<std::uint8_t>(body.size())};
    return Concat({header, body});
}

Bytes Comments(std::uint32_t count) {
    Bytes body;
    AppendLe32(body, 4);
    body.insert(body.end(), {'t', 'e', 's', 't'});
    AppendLe32(body, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        AppendLe32(body, 3);
        body.insert(body.end(), {'A', '=', 'b'});
    }
    return body;
}

const Bytes kFlac = {'f', 'L', 'a', 'C'};

FileView Guard(const Bytes& file) {
    return GuardMetadata(
        [&file](std::uint64_t offset, unsigned char* buffer, std::size_t n) {
            if (offset >= file.size()) {
                return std::size_t{0};
            }
            const std::size_t got = std::min<std::size_t>(n, file.size() - offset);
            std::memcpy(buffer, file.data() + offset, got);
            return got;
        },
        file.size());
}

// What FFmpeg is shown of files with tags of every size: small ones as they are, one too
// large hidden or shown as padding, too many comments cut to the most it reads.
TEST(GuardMetadata, HidesOrCutsOnlyWhatIsTooLarge) {
    const Bytes frames = {0xFF, 0xFB, 0x90, 0x00};
    const Bytes small = Concat({Id3(1000), frames});
    EXPECT_EQ(Guard(small).hidden, 0u);
    EXPECT_TRUE(Guard(small).patches.empty());
    const Bytes big = Concat({Id3(kMaxTagBytes + 1), frames});
    EXPECT_EQ(Guard(big).hidden, kMaxTagBytes + 11);

    const Bytes streamInfo(34, 0);
    const Bytes many =
        Concat({kFlac, FlacBlock(0, streamInfo, false), FlacBlock(4, Comments(200000), true)});
    const FileView cut = Guard(many);
    ASSERT_EQ(cut.patches.size(), 4u);
    Bytes shown = many;
    cut.Patch(0, shown.data(), shown.size());
    const std::size_t countAt = 4 + 4 + 34 + 4 + 4 + 4;
    EXPECT_EQ(shown[countAt] | (shown[countAt + 1] << 8) | (shown[countAt + 2] << 16),
              static_cast<int>(kMaxComments));

    // A FLAC file behind a small ID3 tag is looked at too; a few comments stay as they are.
    const Bytes tagged = Concat({Id3(100), kFlac, FlacBlock(4, Comments(3000), true)});
    EXPECT_EQ(Guard(tagged).patches.size(), 4u);
    const Bytes few = Concat({kFlac, FlacBlock(4, Comments(12), true)});
    EXPECT_TRUE(Guard(few).patches.empty());
    // Nonsense is shown as it is.
    for (const Bytes& junk : {Bytes{}, Bytes{'I', 'D', '3'}, Concat({kFlac, Bytes{4, 0xFF}})}) {
        EXPECT_EQ(Guard(junk).hidden, 0u);
        EXPECT_TRUE(Guard(junk).patches.empty());
    }
}

}  // namespace

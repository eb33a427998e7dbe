#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_targets.h"
#include "trackbars/parameters.h"

namespace {

// An independent reading of a number as the tool takes one: an optional sign, one to seven
// digits, then for tenths a point and one digit. Nothing for any other text.
std::optional<std::int64_t> ModelSteps(const std::string& text, int perUnit) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    std::int64_t whole = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (digits < 8) {  // more is no number anyway
            whole = whole * 10 + (text[at] - '0');
        }
        ++digits;
        ++at;
    }
    std::int64_t tenths = 0;
    std::size_t places = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            tenths = text[at] - '0';
            ++places;
            ++at;
        }
        if (places != 1 || perUnit != 10) {
            return std::nullopt;
        }
    }
    if (at != text.size() || digits > 7 || (digits == 0 && places == 0)) {
        return std::nullopt;
    }
    const std::int64_t steps = whole * perUnit + tenths;
    return negative ? -steps : steps;
}

// The bytes split at NUL bytes into words, at most 24 of at most 300 bytes.
std::vector<std::string> Words(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size && words.size() <= 24; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else if (words.back().size() < 300) {
            words.back().push_back(static_cast<char>(data[i]));
        }
    }
    return words;
}

}  // namespace

// The option parser over the bytes as arguments: every number is read as the model reads it
// (no second sign, no overflow, no blank), every value taken is within its option's range, and
// a value given back as text reads as the same value.
int FuzzOptions(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> words = Words(data, size);
    for (const std::string& word : words) {
        for (const int perUnit : {1, 10}) {
            const std::optional<int> parsed = StepsFromText(word, perUnit);
            const std::optional<std::int64_t> model = ModelSteps(word, perUnit);
            FUZZ_CHECK(parsed.has_value() == model.has_value());
            FUZZ_CHECK(!parsed || *parsed == *model);
            if (parsed) {
                FUZZ_CHECK(StepsFromText(StepsText(*parsed, perUnit), perUnit) == parsed);
            }
        }
    }
    RenderOptions options;
    int threads = 1;
    std::vector<ValueOption> known = KnobOptions(options);
    known.push_back(IntOption("-j", 1, 1024, threads));
    std::string preset;
    std::vector<std::string> flags;
    std::vector<std::string> positional;
    known.push_back(ModeOption(options.mode));
    known.push_back({"--preset", [&preset](const std::string& value) {
                         preset = value;
                         return value.empty() ? std::optional<std::string>("empty") : std::nullopt;
                     }});
    const std::optional<std::string> error =
        ParseOptions(words, known, flags, {"--stems", "--no-clobber"}, positional);
    if (error) {
        FUZZ_CHECK(!error->empty());
        return 0;
    }
    for (const Knob knob : RenderKnobs()) {
        const int value = PositionOf(options.positions, knob);
        FUZZ_CHECK(value >= RowOf(knob).min && value <= RowOf(knob).max);
    }
    FUZZ_CHECK(threads >= 1 && threads <= 1024);
    FUZZ_CHECK(ModeFromName(ModeName(options.mode)) == options.mode);
    FUZZ_CHECK(flags.size() + positional.size() <= words.size());
    return 0;
}

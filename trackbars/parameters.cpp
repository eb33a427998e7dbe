#include "trackbars/parameters.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <numbers>

namespace {

// " text", or nothing for an empty text.
std::string Spaced(const char* text) {
    return text[0] != '\0' ? std::string(" ") + text : std::string();
}

}  // namespace

const char* ModeName(PlayMode mode) {
    const auto* found = std::ranges::find(kModeNames, mode, &ModeEntry::mode);
    return found != std::end(kModeNames) ? found->name : "mode2";
}

std::optional<PlayMode> ModeFromName(const std::string& name) {
    const auto* found = std::ranges::find(kModeNames, name, &ModeEntry::name);
    return found != std::end(kModeNames) ? std::optional(found->mode) : std::nullopt;
}

std::string ModeNamesText() {
    std::string text;
    for (const ModeEntry& entry : kModeNames) {
        text += (text.empty() ? "" : ", ") + std::string(entry.name);
    }
    return text;
}

std::string StepsText(int steps, int perUnit) {
    if (steps % perUnit == 0) {
        return std::to_string(steps / perUnit);
    }
    // Tenths: the table has no finer steps.
    const int tenths = steps * 10 / perUnit;
    const std::string sign = tenths < 0 ? "-" : "";
    return sign + std::to_string(std::abs(tenths) / 10) + "." +
           std::to_string(std::abs(tenths) % 10);
}

std::optional<int> StepsFromText(std::string_view text, int perUnit) {
    // One sign at most, then digits, then a point and at most as many digits as perUnit
    // has places: "--3", "+-1.5" and "1e3" are no numbers.
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const std::size_t places = std::to_string(perUnit).size() - 1;
    const auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    constexpr std::size_t kMaxWholeDigits = 7;  // beyond every range, short of overflow
    if (!digits(whole) || !digits(fraction) || fraction.size() > places ||
        (point != std::string_view::npos && fraction.empty()) ||
        (whole.empty() && fraction.empty()) || whole.size() > kMaxWholeDigits) {
        return std::nullopt;
    }
    int steps = 0;
    for (const char c : whole) {
        steps = steps * 10 + (c - '0');
    }
    for (std::size_t i = 0; i < places; ++i) {
        steps = steps * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    return negative ? -steps : steps;
}

std::string RangeText(int min, int max, int perUnit) {
    if (perUnit == 1) {
        return "a whole number from " + std::to_string(min) + " to " + std::to_string(max);
    }
    return "a number from " + StepsText(min, perUnit) + " to " + StepsText(max, perUnit) +
           " in steps of " + StepsText(1, perUnit);
}

std::string KnobHelp(const KnobRow& row) {
    const auto value = [&row](int pos, const char* note) {
        return KnobValueText(row, pos) + Spaced(note);
    };
    return std::string(row.label) + ", " + value(row.min, row.minNote) + " .. " +
           value(row.max, row.maxNote) + Spaced(row.rule) + "; default " +
           value(row.start, row.startNote);
}

int& PositionOf(Positions& positions, Knob knob) {
    struct Field {
        Knob knob;
        int Positions::*position;
    };
    constexpr Field kFields[] = {
        {Knob::Pan, &Positions::pan},     {Knob::Low, &Positions::low},
        {Knob::High, &Positions::high},   {Knob::Left, &Positions::left},
        {Knob::Right, &Positions::right}, {Knob::Key, &Positions::key},
        {Knob::Tempo, &Positions::tempo}, {Knob::Focus, &Positions::focus}};
    const auto* found = std::ranges::find(kFields, knob, &Field::knob);
    // A place in the file is none of them.
    return positions.*(found != std::end(kFields) ? found->position : &Positions::outputLevel);
}

int PositionOf(const Positions& positions, Knob knob) {
    return PositionOf(const_cast<Positions&>(positions), knob);
}

PanGains PanMapping(int pan) {
    const double x = 1.0 + kPanStep * std::abs(pan);
    const float larger = static_cast<float>(x);
    const float smaller = static_cast<float>(1.0 / x);
    const double sign = pan < 0 ? -1.0 : 1.0;
    const float value = static_cast<float>(kPanStep * pan + sign);
    return pan > 0 ? PanGains{larger, smaller, value} : PanGains{smaller, larger, value};
}

int LowCutoffFor(int lowSlider) {
    return 40 + 25 * lowSlider;
}

int HighCutoffFor(int highSlider) {
    return 900 + 175 * highSlider;
}

float ChannelGainFor(int levelSlider) {
    return static_cast<float>(1.0 + 0.1 * (25 - levelSlider));
}

float OutputGainFor(int outputLevel) {
    return static_cast<float>(1.0 + 0.15 * (25 - outputLevel));
}

float AimFor(int pan) {
    const double quarter = std::numbers::pi / 4;
    const double reach = RowOf(Knob::Pan).max;
    return static_cast<float>(quarter * (1.0 - pan / reach));
}

float FocusFor(int focusSlider) {
    return static_cast<float>(focusSlider / 100.0);
}

double KnobValue(Knob knob, int pos) {
    switch (RowOf(knob).unit) {
        case Unit::Hertz:
            return knob == Knob::Low ? LowCutoffFor(pos) : HighCutoffFor(pos);
        case Unit::Decibels:
            return knob == Knob::OutputLevel ? OutputGainFor(pos) : ChannelGainFor(pos);
        case Unit::Semitones:
            return static_cast<double>(pos) / RowOf(knob).perUnit;
        default:
            return pos;
    }
}

void ApplyKnob(Knob knob, int pos, ProcessingParameters& params) {
    switch (knob) {
        case Knob::Pan: {
            const PanGains pan = PanMapping(pos);
            params.pan = PanPair{pan.gainL, pan.gainR};
            params.aim = AimFor(pos);
            break;
        }
        case Knob::Low:
            params.lowCutoff = LowCutoffFor(pos);
            break;
        case Knob::High:
            params.highCutoff = HighCutoffFor(pos);
            break;
        case Knob::Left:
            params.leftGain = ChannelGainFor(pos);
            break;
        case Knob::Right:
            params.rightGain = ChannelGainFor(pos);
            break;
        case Knob::OutputLevel:
            params.outputGain = OutputGainFor(pos);
            break;
        case Knob::Focus:
            params.focus = FocusFor(pos);
            break;
        default:  // a place in the file, the key and the tempo set no parameter
            break;
    }
}

void ApplyPositions(const Positions& positions, ProcessingParameters& params) {
    for (const Knob knob : kProcessingKnobs) {
        ApplyKnob(knob, PositionOf(positions, knob), params);
    }
    ApplyKnob(Knob::Focus, positions.focus, params);
}

std::int64_t PositionSeconds(int v, std::uint64_t dataBytes, std::uint32_t byteRate) {
    if (byteRate == 0) {
        return 0;
    }
    return PositionBytes(v, dataBytes / kPositionSteps) / static_cast<std::int64_t>(byteRate);
}

std::int64_t PositionBytes(int v, std::uint64_t stepBytes) {
    const std::int64_t product =
        static_cast<std::int64_t>(v) * static_cast<std::int64_t>(stepBytes);
    return product / kPositionGranularity * kPositionGranularity;
}

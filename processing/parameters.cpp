#include "parameters.h"

#include <algorithm>
#include <cstdlib>

namespace {

// " text", or nothing for an empty text.
std::string Spaced(const char* text) {
    return text[0] != '\0' ? std::string(" ") + text : std::string();
}

std::string WithNote(int value, const char* note) {
    return std::to_string(value) + Spaced(note);
}

}  // namespace

const char* ModeName(PlayMode mode) {
    for (const ModeEntry& entry : kModeNames) {
        if (entry.mode == mode) {
            return entry.name;
        }
    }
    return "mode2";
}

std::optional<PlayMode> ModeFromName(const std::string& name) {
    for (const ModeEntry& entry : kModeNames) {
        if (name == entry.name) {
            return entry.mode;
        }
    }
    return std::nullopt;
}

std::string KnobHelp(const KnobRow& row) {
    return std::string(row.label) + ", " + WithNote(row.min, row.minNote) + " .. " +
           WithNote(row.max, row.maxNote) + Spaced(row.rule) + "; default " +
           WithNote(row.start, row.startNote);
}

int& PositionOf(Positions& positions, Knob knob) {
    // In the order of Knob; a knob after the six stands for the last.
    static constexpr int Positions::*kMembers[] = {&Positions::pan,   &Positions::low,
                                                   &Positions::high,  &Positions::left,
                                                   &Positions::right, &Positions::outputLevel};
    const auto index = std::min(static_cast<std::size_t>(knob), std::size(kMembers) - 1);
    return positions.*kMembers[index];
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
    if (pan > 0) {
        return {larger, smaller, value};
    }
    return {smaller, larger, value};
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

double KnobValue(Knob knob, int pos) {
    switch (RowOf(knob).unit) {
        case Unit::Hertz:
            return knob == Knob::Low ? LowCutoffFor(pos) : HighCutoffFor(pos);
        case Unit::Decibels:
            return knob == Knob::OutputLevel ? OutputGainFor(pos) : ChannelGainFor(pos);
        default:
            return pos;
    }
}

void ApplyPositions(const Positions& positions, ProcessingParameters& params) {
    const PanGains pan = PanMapping(positions.pan);
    params.panGainL = pan.gainL;
    params.panGainR = pan.gainR;
    params.leftGain = ChannelGainFor(positions.left);
    params.rightGain = ChannelGainFor(positions.right);
    params.highCutoff = HighCutoffFor(positions.high);
    params.lowCutoff = LowCutoffFor(positions.low);
    params.outputGain = OutputGainFor(positions.outputLevel);
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

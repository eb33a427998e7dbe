#pragma once

// The positions a user sets on the trackbars, and what they give the processing. One table
// describes every trackbar: the window's sliders, the command line's options, the tooltips
// and the manual page all come from it. Every rule is evaluated in double precision and
// rounded to float once; the cut-offs are integer arithmetic.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "processing/processing_parameters.h"

enum class Knob {
    Pan,
    Low,
    High,
    Left,
    Right,
    OutputLevel,
    LoopStart,
    LoopEnd,
    PlayPos,
    Key,
    Tempo,
    Focus
};

// How a position reads to the user.
enum class Unit {
    Pan,        // centre, or a side and a distance
    Hertz,      // a cut-off
    Decibels,   // a gain
    Position,   // a place in the file: position v stands for v/110 of the sample data
    Semitones,  // a key, in tenths of a semitone
    Percent,    // a speed
};

struct KnobRow {
    Knob knob;
    const char* name;   // its command-line option without "--"; empty when it has none
    const char* label;  // what it sets
    int min;
    int max;
    int start;  // the window's start-up position and the command line's default
    Unit unit;
    const char* minNote = "";    // what the lowest position means, e.g. "(left)"
    const char* maxNote = "";    // what the highest position means
    const char* rule = "";       // how a position becomes the value, e.g. "(40 + 25 N Hz)"
    const char* startNote = "";  // what the start position means
    int perUnit = 1;             // positions in one unit of the option's value: 10 for 0.1 steps
};

inline constexpr KnobRow kKnobs[] = {
    {Knob::Pan, "pan", "pan", -30, 30, 0, Unit::Pan, "(left)", "(right)",
     "(in every mode, toward the right aims at a voice heavier on the left)"},
    {Knob::Low, "low", "low cut-off", 0, 40, 8, Unit::Hertz, "", "", "(40 + 25 N Hz)"},
    {Knob::High, "high", "high cut-off", 0, 80, 57, Unit::Hertz, "", "", "(900 + 175 N Hz)"},
    {Knob::Left, "left", "left level", 0, 25, 13, Unit::Decibels, "(loudest)"},
    {Knob::Right, "right", "right level", 0, 25, 13, Unit::Decibels, "(loudest)"},
    {Knob::OutputLevel, "output-level", "output level", 0, 25, 25, Unit::Decibels, "(top, +)",
     "(bottom, 0)"},
    {Knob::LoopStart, "loop-start", "loop start", 0, 100, 0, Unit::Position},
    {Knob::LoopEnd, "loop-end", "loop end", 0, 100, 100, Unit::Position, "", "", "",
     "(100/110 of the data)"},
    {Knob::PlayPos, "", "play position", 0, 100, 0, Unit::Position},
    {Knob::Key, "key", "key", -120, 120, 0, Unit::Semitones, "", "", "(semitones, steps of 0.1)",
     "", 10},
    {Knob::Tempo, "tempo", "tempo", 50, 150, 100, Unit::Percent, "", "",
     "(% of the original speed)"},
    {Knob::Focus, "focus", "focus", 0, 100, 50, Unit::Percent, "(channel difference)", "(sharpest)",
     "(stereo mode: how narrowly the removal aims)"},
};

// The trackbars whose positions set the processing, those of Positions.
inline constexpr Knob kProcessingKnobs[] = {Knob::Pan,  Knob::Low,   Knob::High,
                                            Knob::Left, Knob::Right, Knob::OutputLevel};

constexpr const KnobRow& RowOf(Knob knob) {
    return *std::find_if(std::begin(kKnobs), std::end(kKnobs),
                         [knob](const KnobRow& row) { return row.knob == knob; });
}

// The trackbars of the stage after the processing, those of Positions too: key and tempo.
inline constexpr Knob kKeyTempoKnobs[] = {Knob::Key, Knob::Tempo};

// The trackbars only the stereo mode reads, those of Positions too.
inline constexpr Knob kStereoKnobs[] = {Knob::Focus};

// The modes by the names the command line and the presets file give them, in the order the
// help lists them.
struct ModeEntry {
    PlayMode mode;
    const char* name;
};
inline constexpr ModeEntry kModeNames[] = {
    {PlayMode::Mode2, "mode2"}, {PlayMode::Mode1, "mode1"},   {PlayMode::Original, "original"},
    {PlayMode::Low, "low"},     {PlayMode::High, "high"},     {PlayMode::Left, "left"},
    {PlayMode::Right, "right"}, {PlayMode::Stereo, "stereo"},
};
const char* ModeName(PlayMode mode);
std::optional<PlayMode> ModeFromName(const std::string& name);
// "mode2, mode1, ..., stereo": every name, in that order.
std::string ModeNamesText();

// "pan, -30 (left) .. 30 (right); default 0": the option's help, from the table.
std::string KnobHelp(const KnobRow& row);
// A count of steps of 1/perUnit as a number: "-0.4" for -4 tenths.
std::string StepsText(int steps, int perUnit);
// The count of steps of 1/perUnit a number stands for: -4 for "-0.4" in tenths. Nothing for a
// text that is no plain decimal number or is finer than the steps.
std::optional<int> StepsFromText(std::string_view text, int perUnit);
// What a value from min to max steps must be: "a whole number from 0 to 40", "a number from
// -12 to 12 in steps of 0.1".
std::string RangeText(int min, int max, int perUnit);
// A position as the option's value: "-0.4" for key position -4.
inline std::string KnobValueText(const KnobRow& row, int pos) {
    return StepsText(pos, row.perUnit);
}

// The positions of the trackbars that set the processing, and the key and tempo after it.
struct Positions {
    int pan = RowOf(Knob::Pan).start;
    int low = RowOf(Knob::Low).start;
    int high = RowOf(Knob::High).start;
    int left = RowOf(Knob::Left).start;
    int right = RowOf(Knob::Right).start;
    int outputLevel = RowOf(Knob::OutputLevel).start;
    int key = RowOf(Knob::Key).start;
    int tempo = RowOf(Knob::Tempo).start;
    int focus = RowOf(Knob::Focus).start;

    auto operator<=>(const Positions&) const = default;
};

int& PositionOf(Positions& positions, Knob knob);  // one of the nine above
int PositionOf(const Positions& positions, Knob knob);

struct PanGains {
    float gainL;
    float gainR;
    float panValue;  // signed; its magnitude is the larger of the two gains
};

inline constexpr double kPanStep = 0.00625;

PanGains PanMapping(int pan);
int LowCutoffFor(int lowSlider);        // Hz
int HighCutoffFor(int highSlider);      // Hz
float ChannelGainFor(int levelSlider);  // left and right levels alike
float OutputGainFor(int outputLevel);
// The stereo mode's direction for a pan position. It aims where mode 2 cancels: toward the
// right end at a source heavier on the left (the left channel alone at the highest position),
// toward the left end at one heavier on the right; the centre at 0.
float AimFor(int pan);
float FocusFor(int focusSlider);  // 0 .. 1

// What a trackbar at pos gives, in its unit: Hz, a gain, semitones, the pan position; for a
// position in the file or a speed, pos itself.
double KnobValue(Knob knob, int pos);

// Positions in the file: one step is the sample data's length divided by kPositionSteps, and
// position v lies ((v x step) / 32) x 32 bytes after the first sample byte, always on a frame
// boundary. The highest position, 100, thus stands for 100/110 of the data.
inline constexpr int kPositionSteps = 110;
inline constexpr int kPositionGranularity = 32;
std::int64_t PositionBytes(int v, std::uint64_t stepBytes);
// Whole seconds into data of that length at position v; 0 without a byte rate.
std::int64_t PositionSeconds(int v, std::uint64_t dataBytes, std::uint32_t byteRate);

// Stores the parameters a knob at pos gives; a place in the file, the key and the tempo give
// none.
void ApplyKnob(Knob knob, int pos, ProcessingParameters& params);
// Stores every parameter the positions give (not the mode).
void ApplyPositions(const Positions& positions, ProcessingParameters& params);

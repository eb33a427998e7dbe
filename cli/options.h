#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "processing/loudness.h"
#include "trackbars/parameters.h"

// Trackbar positions given on the command line; the defaults are the window's start-up
// positions.
struct RenderOptions {
    PlayMode mode = PlayMode::Mode2;
    Positions positions;
    Loudness loudness = {};  // of writes
};

// An option whose value a function takes, in its turn among the others ("--preset NAME");
// apply returns an error text for a value it refuses.
struct ValueOption {
    std::string name;
    std::function<std::optional<std::string>(const std::string& value)> apply;
};

// A bounded integer option: its name ("--pan"), range and where its value goes. With
// perUnit 10 its value is given in tenths ("--key -0.4" stores -4); min and max are in
// those steps too.
ValueOption IntOption(const std::string& name, int min, int max, int& value, int perUnit = 1);

// Parses "--name VALUE" and "--name=VALUE" forms of the options, in the order given, and the
// known flags. Non-option words go to positional. Returns an error text for a usage error.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args,
                                        const std::vector<ValueOption>& options,
                                        std::vector<std::string>& flags,
                                        const std::vector<std::string>& knownFlags,
                                        std::vector<std::string>& positional);

// "--mode MODE": the mode by its name.
ValueOption ModeOption(PlayMode& mode);

// "--loudness match|off|LUFS": the loudness writes bring their output to.
ValueOption LoudnessOption(Loudness& loudness);

// "--preset NAME": puts the preset's mode and positions into options where the option stands
// among the others, so that those after it change them. The user's presets file is read then;
// what is damaged in it is told on standard error and the rest still serves. An unknown NAME is
// a usage error that lists the names.
ValueOption PresetOption(RenderOptions& options);
// The help's lines for the shipped presets: "  Start-up   pan 0 low 8 ...".
std::string ShippedPresetsHelp();

// A loop trackbar's option that takes a time too: steps go to steps, a time to micros.
ValueOption LoopOption(Knob knob, int& steps, std::optional<std::int64_t>& micros);
// The trackbars render and play take, in the help's order: processing, stereo, key and tempo.
std::vector<Knob> RenderKnobs();
// Their options, each into its position in options.
std::vector<ValueOption> KnobOptions(RenderOptions& options);

// Puts every parameter the positions give, and the mode, into params.
void ApplyRenderOptions(const RenderOptions& options, ProcessingParameters& params);

// The help's line for an option: "  --pan N               pan, -30 (left) .. 30 (right); ...".
std::string OptionHelpLine(const std::string& option, const std::string& help);

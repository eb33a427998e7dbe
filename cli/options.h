#pragma once

#include <optional>
#include <string>
#include <vector>

#include "processing.h"
#include "window_state.h"

// Trackbar positions given on the command line; the defaults are the window's start-up
// positions.
struct RenderOptions {
    PlayMode mode = PlayMode::Mode2;
    int pan = 0;           // -30 .. 30
    int low = 8;           // 0 .. 40
    int high = 57;         // 0 .. 80
    int left = 13;         // 0 .. 25
    int right = 13;        // 0 .. 25
    int outputLevel = 25;  // 0 .. 25
};

// A bounded integer option: its name, range and where its value goes.
struct IntOption {
    const char* name;
    int min;
    int max;
    int* value;
};

// Parses "--name VALUE" and "--name=VALUE" forms of the integer options and --mode.
// Non-option words go to positional. Returns an error text for a usage error.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args,
                                        const std::vector<IntOption>& intOptions, PlayMode* mode,
                                        std::vector<std::string>& flags,
                                        const std::vector<std::string>& knownFlags,
                                        std::vector<std::string>& positional);

std::vector<IntOption> RenderIntOptions(RenderOptions& options);

// Puts the positions and the mode into the window state, with every derived parameter.
void ApplyRenderOptions(const RenderOptions& options, WindowState& state);

const char* ModeName(PlayMode mode);
std::optional<PlayMode> ModeFromName(const std::string& name);

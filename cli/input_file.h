#pragma once

#include <optional>
#include <string>

#include "console_window.h"
#include "engine_input.h"

// Makes INPUT ready for the engine, decoding it when it is no 16-bit stereo WAV, with a
// progress line on a terminal; a stop request cancels the decoding. Nothing when the input
// cannot be used: the reason was printed, with the input's name where the message has none.
std::optional<EngineInput> PrepareCliInput(const std::string& path, ConsoleWindow& window);

// Tells why an input cannot be used, as PrepareCliInput does; nothing for a cancelled one.
void ReportUnusableInput(const std::string& path, InputStatus status, ConsoleWindow& window);

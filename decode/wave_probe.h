#pragma once

#include <filesystem>

// Whether the engine reads the file as it is: a RIFF/WAVE file whose first top-level
// "fmt " chunk holds 16-bit stereo integer PCM (plain or extensible). A RIFF/WAVE file
// without such a chunk at the top level (nested, missing or cut short) is the engine's
// too, as it always was. Everything else is for the decoder.
bool EngineTakesAsIs(const std::filesystem::path& path);

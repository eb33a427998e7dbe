#pragma once

// A write job of an input the engine cannot take as it is, done in one pass: the decoder
// runs while the blocks it already produced are processed and written, straight into the
// output. The output is what writing the decoded copy with the engine gives, byte for
// byte: the same header chunks, the data processed from its first frame with the
// parameters and mode of the window state, as a write job does.

#include <string>

#include "engine_input.h"

// Whether a write job of this input into this output goes the one-pass way: an input that
// is a regular file the decoder must read, and a WAV output. Everything else (FLAC
// outputs, inputs the engine takes, paths it refuses) goes through WriteOutputFile.
bool StreamsToOutput(const std::string& inputPath, const std::string& outputPath);

// Writes the output; refused (status says why, nothing shown) when the input is no
// usable audio or the output's folder has no room for it. Other failures are shown
// through the window. The output is replaced only when everything succeeded; a stop
// request leaves it as it was. Progress follows the decoding.
JobResult StreamOutputFile(JobContext& context, const std::string& inputPath,
                           const std::string& outputPath, InputStatus& status,
                           const ProgressFn& progress = {});

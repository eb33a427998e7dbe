#pragma once

#include <string>
#include <vector>

#include "options.h"

struct BatchOptions {
    std::string outputDir;
    int threads = 1;    // 1 .. 1024
    bool flac = false;  // DIR/NAME.flac instead of DIR/NAME.wav
};

// Renders every input to DIR/NAME.wav, or DIR/NAME.flac (NAME: the input's name without
// its extension), on a pool of at most batch.threads threads, with one progress bar for
// the whole batch on a terminal. Inputs that would write the same output, or an output
// that is an input, are refused before anything starts. Each failure is reported as
// "zerbex2-cli: INPUT: message"; the other files are still written. Returns the exit
// status.
int RunBatchRender(const RenderOptions& options, const BatchOptions& batch,
                   const std::vector<std::string>& inputs);

#pragma once

#include <string>
#include <vector>

#include "options.h"

struct BatchOptions {
    std::string outputDir;
    int threads = 1;         // 1 .. kMaxThreads
    bool flac = false;       // DIR/NAME.flac instead of DIR/NAME.wav
    bool noClobber = false;  // an output that exists is left alone, the input skipped
};

// Renders every input to DIR/NAME.wav, or DIR/NAME.flac, with one progress bar for the whole
// batch on a terminal; each failure is reported as "zerbex2-cli: INPUT: message" and the
// other files are still written. Returns the exit status.
int RunBatchRender(const RenderOptions& options, const BatchOptions& batch,
                   const std::vector<std::string>& inputs);

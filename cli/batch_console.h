#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "codecs/output_formats.h"

struct BatchOptions {
    std::string outputDir;
    int threads = 1;                 // 1 .. kMaxThreads
    std::string extension = ".wav";  // of every output, with its dot: it picks the format
    bool noClobber = false;          // an output that exists is left alone, the input skipped
    QualityChoice quality;           // for a lossy format; unset: its defaults
    bool stems = false;              // DIR/NAME-vocals.EXT too
};

// Renders every input to DIR/NAME.EXT, with one progress bar for the whole
// batch on a terminal; each failure is reported as "zerbex2-cli: INPUT: message" and the
// other files are still written. Returns the exit status.
int RunBatchRender(const RenderOptions& options, const BatchOptions& batch,
                   const std::vector<std::string>& inputs);

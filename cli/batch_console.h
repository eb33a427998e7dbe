#pragma once

#include <stop_token>
#include <string>
#include <vector>

#include "jobs/job_runner.h"

struct BatchOptions {
    std::string outputDir;
    int threads = 1;                 // 1 .. kMaxThreads
    std::string extension = ".wav";  // of every output, with its dot: it picks the format
    bool noClobber = false;          // an output that exists is left alone, the input skipped
};

// Renders every input to DIR/NAME.EXT as request says (with stems, DIR/NAME-vocals.EXT too),
// with one progress bar for the whole batch on a terminal; each failure is reported as
// "zerbex2-cli: INPUT: message" and the other files are still written. stop: the source of
// the request's stop token. Returns the exit status.
int RunBatchRender(const WriteRequest& request, std::stop_source& stop, const BatchOptions& batch,
                   const std::vector<std::string>& inputs);

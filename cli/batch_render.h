#pragma once

#include <string>
#include <vector>

#include "options.h"

// Renders every input to DIR/NAME.wav (NAME: the input's name without its extension) on
// a pool of threads threads, with one progress bar for the whole batch on a terminal.
// Inputs that would write the same output, or an output that is an input, are refused
// before anything starts. Each failure is reported as "zerbex2-cli: INPUT: message";
// the other files are still written. Returns the exit status.
int RunBatchRender(const RenderOptions& options, int threads, const std::string& outputDir,
                   const std::vector<std::string>& inputs);

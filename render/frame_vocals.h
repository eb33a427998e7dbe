#pragma once

// What a frame mode removed, for a write that keeps it too: the attenuated input at the
// output level less the output, frame for frame.

#include <cstddef>

#include "processing/processing_parameters.h"

// Saturated (attenuated input x output gain - output) of each whole frame of the blocks;
// bytes after the last whole frame are silence.
void FrameVocals(const ProcessingParameters& params, const unsigned char* input,
                 const unsigned char* output, unsigned char* vocals, std::size_t bytes);

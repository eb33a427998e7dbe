#pragma once

// Runs engine jobs the way the tests need them and computes what a write job must write.

#include <string>
#include <vector>

#include "fake_window.h"
#include "wav_builder.h"
#include "wave_job.h"

struct WriteOutcome {
    JobResult result;
    Bytes output;  // empty when no output file exists
    bool outputExists;
    std::vector<std::string> messages;
};

// Writes input to a temporary file and runs a write job over it in mode 2 (or the mode
// the window's flags select) with the window's parameters.
WriteOutcome RunWriteJob(const Bytes& input, FakeWindow& window);

// The data body as the processing turns it: whole frames processed in order from a fresh
// filter state, with the parameters of the window; trailing bytes of a partial frame kept.
Bytes ProcessedBody(const Bytes& body, const WindowState& params);

// Where the "data" bodies of a RIFF/WAVE file lie, found by an independent walk.
struct ByteRange {
    std::size_t offset;
    std::size_t size;
};
std::vector<ByteRange> DataBodies(const Bytes& file);

// The input with every data body replaced by ProcessedBody of it.
Bytes ExpectedWrite(const Bytes& input, const WindowState& params);

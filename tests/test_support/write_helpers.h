#pragma once

// Runs write jobs the way the tests need them and computes what a write job must write.

#include <string>
#include <vector>

#include "jobs/job_runner.h"
#include "tests/test_support/recording_observer.h"
#include "tests/test_support/wav_builder.h"

struct WriteOutcome {
    JobResult result;
    Bytes output;  // empty when no output file exists
    bool outputExists;
    std::vector<std::string> messages;
};

// Writes input to a temporary file and runs a write job over it with the parameters (mode
// included), through runner when one is given.
WriteOutcome RunWriteJob(const Bytes& input, const ProcessingParameters& params,
                         RecordingObserver& observer, JobRunner* runner = nullptr,
                         int loopEnd = RowOf(Knob::LoopEnd).start);

// Runs the container walk of a write job over input as it is, whatever it holds (no
// decoding): the pipeline from a WAV source into a WAV sink. format carries from one such
// job to the next, as a job runner's does.
WriteOutcome RenderWave(const Bytes& input, const ProcessingParameters& params,
                        RecordingObserver& observer, WaveFormat& format);

// The data body as the processing turns it: whole frames processed in order from a fresh
// filter state; trailing bytes of a partial frame kept.
Bytes ProcessedBody(const Bytes& body, const ProcessingParameters& params);

// Where the "data" bodies of a RIFF/WAVE file lie, found by an independent walk.
struct ByteRange {
    std::size_t offset;
    std::size_t size;
};
std::vector<ByteRange> DataBodies(const Bytes& file);

// The input with every data body replaced by ProcessedBody of it.
Bytes ExpectedWrite(const Bytes& input, const ProcessingParameters& params);

// The parameters the trackbars at these positions give, in a mode.
void SetParameters(ProcessingParameters& params, const Positions& positions = {},
                   PlayMode mode = PlayMode::Mode2);

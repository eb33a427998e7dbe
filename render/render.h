#pragma once

// The write pipeline: a source's container bytes and sample data, the processing, a sink.
// Every write job runs through here, whatever its input and output.

#include <cstddef>
#include <stop_token>

#include "processing/block.h"
#include "processing/processing_parameters.h"
#include "processing/segmented_render.h"
#include "render/job_observer.h"
#include "render/render_source.h"
#include "stretch/key_tempo.h"
#include "trackbars/parameters.h"

class RenderPool;

struct RenderSettings {
    // Constant for the whole job; null: the frames pass as they are (a decoded copy).
    const ProcessingParameters* params = nullptr;
    // A write whose loop would be empty says so, as a playback does.
    int loopEnd = RowOf(Knob::LoopEnd).start;
    std::stop_token stop;        // ends the write early
    RenderPool* pool = nullptr;  // threads for segments; null: in one piece, in order
    std::size_t segments = 0;    // at most this many; 0: two for each thread of the pool
    bool ioThreads = false;      // read ahead and write behind on threads of their own
    SegmentSettings segmentSettings;
    // After the processing; other than neutral, each run of sample data is played in that key
    // and at that tempo, in order, and lasts StretchedFrames of its frames.
    KeyTempo keyTempo;
    // Where the removed part goes too, frame for frame with the output: the stereo mode's
    // remover's, or what a frame mode took from the attenuated input at the output level.
    // It gets the container's bytes and the end of the data as the sink does. Null: nowhere.
    RenderSink* vocals = nullptr;
};

enum class RenderStatus { Done, Refused, Stopped, ReadFailed, WriteFailed };

// Runs the input through the processing into the sink, in the input's order; each run of
// sample data from a fresh filter state. format: the format of the job before, which a file
// without a "fmt " chunk is processed with; it ends as the input's last. A refusal is told
// to the observer where it is found; failures are returned.
RenderStatus Render(RenderSource& source, RenderSink& sink, const RenderSettings& settings,
                    WaveFormat& format, JobObserver& observer);

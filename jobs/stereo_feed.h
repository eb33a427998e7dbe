#pragma once

// The stereo mode's remover in a playback, between the processing and the key and tempo
// stage, with the source bytes each frame it gives was made of. A run starts with the first
// frame put, the remover's lead-in of silence dropped, and ends with what it still holds
// flushed by silence, as a write aligns it: a run from the data's start to its end plays what
// `render --mode stereo` writes. A loop back or a seek goes on through the same run, so that
// the sound at the jump is the remover's blend of both sides, heard a latency later.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "processing/processing_parameters.h"
#include "processing/stereo_remover.h"

class StereoFeed {
  public:
    // Frames of the source the remover gave back as one piece of sound.
    struct Run {
        std::size_t offset;  // bytes into Out()
        std::size_t bytes;
        std::uint64_t from;  // source byte of its first frame
    };

    // maxFrames: the most frames one Put takes.
    StereoFeed(unsigned rate, std::size_t maxFrames);

    bool Running() const { return m_running; }
    std::size_t Latency() const { return m_remover.Latency(); }
    // A run starts empty.
    void Start();
    // The run is left without its end: a stop, or another run of sample data.
    void Drop() { m_running = false; }
    // Puts the frames of bytes made of the source from `from` on; what comes out is Out(),
    // in Runs(). The parameters are read as the remover reads them: at every call.
    void Put(const ProcessingParameters& params, const unsigned char* bytes, std::size_t n,
             std::uint64_t from);
    // Ends the run: the frames still inside come out.
    void Finish(const ProcessingParameters& params);

    const unsigned char* Out() const { return m_out.data(); }
    const std::vector<Run>& Runs() const { return m_runs; }

  private:
    struct Fed {
        std::uint64_t from;  // source byte
        std::size_t frames;
    };
    void Process(const ProcessingParameters& params, std::size_t frames);
    void Account(std::size_t frames);

    StereoRemover m_remover;
    bool m_running = false;
    std::size_t m_leadIn = 0;  // frames of the remover's lead-in still to drop
    std::vector<std::int16_t> m_in;
    std::vector<std::int16_t> m_made;
    std::vector<unsigned char> m_out;
    std::vector<Run> m_runs;
    std::deque<Fed> m_fed;  // put and not yet come out
};

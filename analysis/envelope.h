#pragma once

// A song's envelope for its waveform: over each bucket of frames, the peak of the song and the
// peak of the part the removal takes, the centre (what both channels share) within the vocal
// band. Fed frames as they come, so that a waveform grows while the song is decoded.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/band_filters.h"

inline constexpr std::size_t kEnvelopeFrames = 512;  // frames a bucket

struct EnvelopeBucket {
    float peak = 0;  // of either channel, 0 .. 1 of full scale
    float band = 0;  // of the centre within the band
};

class EnvelopeMeter {
  public:
    // rate: the frames' rate; the band runs from lowHz to highHz.
    EnvelopeMeter(unsigned rate, double lowHz, double highHz);
    // Interleaved 16-bit stereo frames; each bucket they complete is appended to out.
    void Feed(const std::int16_t* frames, std::size_t count, std::vector<EnvelopeBucket>& out);
    // The last bucket, when frames are in it.
    void Finish(std::vector<EnvelopeBucket>& out);

  private:
    Biquad m_highPass;
    Biquad m_lowPass;
    EnvelopeBucket m_bucket;
    std::size_t m_filled = 0;
};

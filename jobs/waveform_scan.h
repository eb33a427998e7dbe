#pragma once

// The envelope of an input for its waveform, computed on a thread of the scan's own as the
// input is there to be read: a decoded copy while its decoder writes it, so the waveform grows
// as the song is decoded. Each batch of buckets goes to the sink on that thread.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>
#include <vector>

#include "analysis/envelope.h"

class InputFile;

struct EnvelopeBatch {
    std::uint64_t firstBucket = 0;  // the index of buckets[0]
    std::vector<EnvelopeBucket> buckets;
    std::uint64_t totalFrames = 0;  // in the data, as far as it is known by then
    unsigned rate = 0;
    bool done = false;  // the last batch: the data is read to its end
};

class WaveformScan {
  public:
    using Sink = std::function<void(EnvelopeBatch batch)>;

    WaveformScan() = default;
    ~WaveformScan() { Stop(); }
    WaveformScan(const WaveformScan&) = delete;
    WaveformScan& operator=(const WaveformScan&) = delete;

    // Stops a scan that runs, then scans input's first "data" chunk with the centre measured
    // from lowHz to highHz. Nothing comes of an input that cannot be read.
    void Start(const InputFile& input, double lowHz, double highHz, Sink sink);
    // Ends the scan and waits for its thread: the sink is not called after it returns.
    void Stop();

  private:
    std::stop_source m_stop;
    std::thread m_thread;
};

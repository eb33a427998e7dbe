#pragma once

// Sound output: one device of the sound system, fed block by block. Each block is copied
// once, into memory set aside when the device opens, and played in order; the real-time
// side takes no locks and allocates nothing.

#include <cstddef>
#include <string>
#include <vector>

#include "processing/block.h"

struct AudioFormat {
    int rate = 44100;  // frames per second
    int channels = 2;  // 16-bit signed samples, interleaved, little-endian

    bool operator==(const AudioFormat&) const = default;
};

// An output device as the sound system lists it.
struct AudioDevice {
    int index = -1;       // what Open takes, written in digits
    std::string name;     // what Open takes too
    std::string hostApi;  // the sound system behind it: ALSA, JACK, ...
    bool isDefault = false;
};

// The sound system's output devices.
class AudioDevices {
  public:
    virtual ~AudioDevices() = default;
    // The devices that play, in the sound system's order.
    virtual std::vector<AudioDevice> Devices() const = 0;
    // Whether a device of that name or index, as AudioOut::Open takes them, is there.
    virtual bool Has(const std::string& device) const = 0;
};

class AudioOut {
  public:
    // Blocks kept waiting to be played: at most these, unless the device takes more at once.
    static constexpr int kQueuedBlocks = 2;

    virtual ~AudioOut() = default;

    // Opens device (empty: the system's default; else a name or an index as Devices()
    // lists them) for format. False when it cannot; Error() says why.
    virtual bool Open(const AudioFormat& format, const std::string& device = {}) = 0;
    // The device an Open without one opens; empty for the system's default. Only while no
    // job opens the output.
    virtual void SetDevice(std::string device) = 0;
    virtual bool IsOpen() const = 0;
    // Waits until fewer than kQueuedBlocks blocks wait to be played, or (PortAudioOut) less
    // sound than the device has been seen to take at once.
    virtual void WaitForRoom() = 0;
    // Queues a copy of the block (at most kBlockBytes), waiting for room first. False when the
    // device failed or was aborted; Error() says why.
    virtual bool Write(const unsigned char* data, std::size_t bytes) = 0;
    // Waits until every queued block has gone to the device.
    virtual void Drain() = 0;
    // Lets what went to the device play out, then closes it; what is still queued is
    // dropped (Drain first for it to be heard).
    virtual void Close() = 0;
    // From any thread: drops what is queued, wakes every wait and silences the device at
    // once; Write fails until the next Open. Close then returns without waiting on the
    // device, which the next Open or the output's end releases.
    virtual void Abort() = 0;
    virtual std::string Error() const = 0;
};

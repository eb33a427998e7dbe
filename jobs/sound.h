#pragma once

// The sound system the programs play on (PortAudio), with its one output, for as long as the
// program runs.

#include <memory>
#include <string>

#include "playback/audio_out.h"

class PortAudioSystem;
class PortAudioOut;

class Sound {
  public:
    Sound();
    // An output still holding an aborted stream (a window closed while it played) is left to
    // the system, which releases the device with the process at once: closing it waits until
    // the device has let go of the sound it had taken.
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // Empty when the system started, else why it did not.
    std::string InitError() const;
    const AudioDevices& Devices() const;
    AudioOut& Out();

  private:
    std::unique_ptr<PortAudioSystem> m_system;
    std::unique_ptr<PortAudioOut> m_out;
};

#pragma once

// The sound device the user chose to play on. Each play opens it while the sound system has
// it; one that is gone (unplugged, or no longer in the configuration) leaves the system's
// default playing rather than nothing, and the observer hears of it once.

#include <string>
#include <utility>

#include "audio_out.h"
#include "job_observer.h"

class DeviceChoice {
  public:
    DeviceChoice() = default;
    explicit DeviceChoice(std::string device) : m_device(std::move(device)) {}

    // A name or an index as AudioOut::Open takes them; empty for the system's default.
    void Choose(std::string device);
    const std::string& Chosen() const { return m_device; }

    // Before a play opens out: points it at the chosen device when devices has it, else at
    // the default, telling observer (JobError::DeviceGone) the first time since the device
    // was chosen or last found. False when the default stands in.
    bool Apply(const AudioDevices& devices, AudioOut& out, JobObserver& observer);

  private:
    std::string m_device;
    bool m_toldGone = false;
};

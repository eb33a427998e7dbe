#pragma once

// The sound device the user chose to play on. Each play opens it while the sound system has
// it; one that is gone (unplugged, or no longer in the configuration) leaves the system's
// default playing rather than nothing, and the observer hears of it once.

#include <string>
#include <utility>

#include "playback/audio_out.h"
#include "render/job_observer.h"

// No sound system names a device longer than this: a longer choice (a damaged profile's) is
// no device, and is never looked for.
inline constexpr std::size_t kMaxDeviceNameBytes = 256;

// A name as a message shows it: at most about max bytes, cut at a character and marked
// with "…" where it was cut.
std::string ElidedName(const std::string& name, std::size_t max = 64);

class DeviceChoice {
  public:
    DeviceChoice() = default;
    explicit DeviceChoice(std::string device) : m_device(std::move(device)) {}

    // A name or an index as AudioOut::Open takes them; empty for the system's default.
    void Choose(std::string device);
    const std::string& Chosen() const { return m_device; }

    // Before a play opens out: points it at the chosen device when devices has it, else at
    // the default, telling observer (JobError::DeviceGone, the name elided) the first time
    // since the device was chosen or last found. False when the default stands in.
    bool Apply(const AudioDevices& devices, AudioOut& out, JobObserver& observer);

  private:
    std::string m_device;
    bool m_toldGone = false;
};

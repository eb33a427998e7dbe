#include "jobs/device_choice.h"

void DeviceChoice::Choose(std::string device) {
    m_device = std::move(device);
    m_toldGone = false;
}

std::string ElidedName(const std::string& name, std::size_t max) {
    if (name.size() <= max) {
        return name;
    }
    std::size_t cut = max;
    // Not inside a UTF-8 sequence: back to the start of the character.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return name.substr(0, cut) + "\u2026";
}

bool DeviceChoice::Apply(const AudioDevices& devices, AudioOut& out, JobObserver& observer) {
    if (m_device.empty() || (m_device.size() <= kMaxDeviceNameBytes && devices.Has(m_device))) {
        m_toldGone = false;
        out.SetDevice(m_device);
        return true;
    }
    out.SetDevice({});
    if (!m_toldGone) {
        m_toldGone = true;
        observer.Message({JobError::DeviceGone, ElidedName(m_device)});
    }
    return false;
}

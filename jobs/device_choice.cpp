#include "device_choice.h"

void DeviceChoice::Choose(std::string device) {
    m_device = std::move(device);
    m_toldGone = false;
}

bool DeviceChoice::Apply(const AudioDevices& devices, AudioOut& out, JobObserver& observer) {
    if (m_device.empty() || devices.Has(m_device)) {
        m_toldGone = false;
        out.SetDevice(m_device);
        return true;
    }
    out.SetDevice({});
    if (!m_toldGone) {
        m_toldGone = true;
        observer.Message({JobError::DeviceGone, m_device});
    }
    return false;
}

#include "jobs/sound.h"

#include "playback/portaudio_out.h"

Sound::Sound()
    : m_system(std::make_unique<PortAudioSystem>()),
      m_out(std::make_unique<PortAudioOut>(*m_system)) {}

Sound::~Sound() {
    if (m_out->HoldsAbortedStream()) {
        static_cast<void>(m_out.release());
        static_cast<void>(m_system.release());
    }
}

std::string Sound::InitError() const {
    return m_system->InitError();
}

const AudioDevices& Sound::Devices() const {
    return *m_system;
}

AudioOut& Sound::Out() {
    return *m_out;
}

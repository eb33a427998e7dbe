#include "stretch/key_tempo.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "processing/block.h"

namespace {

constexpr unsigned kChannels = 2;
constexpr std::size_t kChunkFrames = 4096;  // frames converted at a time
constexpr float kScale = 32768.0f;
// The rates SoundTouch takes (it throws above 192 kHz). The rate only sets the length of its
// splicing windows in frames; pitch and tempo are ratios, so a file outside the range is
// shifted as exactly with the nearest rate told.
constexpr unsigned kLowestRate = 8000;
constexpr unsigned kHighestRate = 192000;

float SampleAt(const unsigned char* bytes) {
    std::int16_t sample = 0;
    std::memcpy(&sample, bytes, sizeof sample);  // little-endian, as the machine
    return static_cast<float>(sample) / kScale;
}

std::int16_t ToSample(float value) {
    const float scaled = std::nearbyint(value * kScale);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

std::uint64_t StretchedFrames(std::uint64_t frames, int tempo) {
    return (frames * 100 + static_cast<std::uint64_t>(tempo) / 2) /
           static_cast<std::uint64_t>(tempo);
}

KeyTempoStage::KeyTempoStage(unsigned sampleRate)
    : m_touch(std::make_unique<soundtouch::SoundTouch>()), m_samples(kChunkFrames * kChannels) {
    m_touch->setSampleRate(std::clamp(sampleRate, kLowestRate, kHighestRate));
    m_touch->setChannels(kChannels);
    // Twice as fast, and no worse on bench/stretch_compare.cpp's pitch, clicks and harmonics.
    m_touch->setSetting(SETTING_USE_QUICKSEEK, 1);
}

KeyTempoStage::~KeyTempoStage() = default;

void KeyTempoStage::Set(const KeyTempo& settings) {
    if (settings == m_settings) {
        return;
    }
    m_settings = settings;
    m_touch->setPitchSemiTones(settings.key / 10.0);
    m_touch->setTempo(settings.tempo / 100.0);
}

void KeyTempoStage::Put(const unsigned char* frames, std::size_t count) {
    while (count > 0) {
        const std::size_t n = std::min(count, kChunkFrames);
        for (std::size_t i = 0; i < n * kChannels; ++i) {
            m_samples[i] = SampleAt(frames + i * sizeof(std::int16_t));
        }
        m_touch->putSamples(m_samples.data(), static_cast<unsigned>(n));
        frames += n * kBytesPerFrame;
        count -= n;
    }
}

std::size_t KeyTempoStage::Take(unsigned char* frames, std::size_t count) {
    std::size_t taken = 0;
    while (taken < count) {
        const auto want = static_cast<unsigned>(std::min(count - taken, kChunkFrames));
        const unsigned got = m_touch->receiveSamples(m_samples.data(), want);
        if (got == 0) {
            break;
        }
        for (std::size_t i = 0; i < std::size_t{got} * kChannels; ++i) {
            const std::int16_t sample = ToSample(m_samples[i]);
            std::memcpy(frames + (taken * kChannels + i) * sizeof sample, &sample, sizeof sample);
        }
        taken += got;
    }
    return taken;
}

std::size_t KeyTempoStage::Ready() const {
    return m_touch->numSamples();
}

void KeyTempoStage::Flush() {
    m_touch->flush();
}

void KeyTempoStage::Clear() {
    m_touch->clear();
}

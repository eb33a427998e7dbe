#pragma once

// ALSA configurations for playing through the real PortAudio path without a sound card,
// and the check of what such a device captured.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "wav_builder.h"

// The default device writes everything played into capture. The null device behind it
// takes sound as fast as it comes, so paced_sink sits in between and takes it at
// bytesPerSecond, as a sound card would.
// With append, every opening of the device adds to the capture instead of replacing it.
inline std::string PacedFileDeviceConfig(const std::filesystem::path& capture, long bytesPerSecond,
                                         bool append = false) {
    std::ostringstream config;
    config << "pcm.!default {\n"
           << "  type file\n"
           << "  slave { pcm { type null } }\n"
           << "  file \"|exec " << ZERBEX_PACED_SINK << " " << capture.string() << " "
           << bytesPerSecond << (append ? " append" : "") << "\"\n"
           << "  format \"raw\"\n"
           << "}\n";
    return config.str();
}

// The default device is a sound card that is not there.
inline std::string MissingCardConfig() {
    return "pcm.!default { type hw card 7 }\n";
}

inline bool SilentFrame(const Bytes& bytes, std::size_t offset, std::size_t frameBytes) {
    for (std::size_t i = offset; i < offset + frameBytes && i < bytes.size(); ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

inline std::size_t FirstSoundingFrame(const Bytes& bytes, std::size_t frameBytes) {
    std::size_t offset = 0;
    while (offset < bytes.size() && SilentFrame(bytes, offset, frameBytes)) {
        offset += frameBytes;
    }
    return offset;
}

// Whether capture is silence, then expected byte for byte, then silence.
inline ::testing::AssertionResult PlayedExactly(const Bytes& capture, const Bytes& expected,
                                                std::size_t frameBytes = 4) {
    const std::size_t expectedStart = FirstSoundingFrame(expected, frameBytes);
    const std::size_t captureStart = FirstSoundingFrame(capture, frameBytes);
    if (expectedStart == expected.size()) {
        return ::testing::AssertionFailure() << "the expected sound is all silence";
    }
    if (captureStart == capture.size()) {
        return ::testing::AssertionFailure()
               << "nothing but silence was captured (" << capture.size() << " bytes)";
    }
    if (captureStart < expectedStart) {
        return ::testing::AssertionFailure() << "sound starts too early in the capture";
    }
    const std::size_t offset = captureStart - expectedStart;
    const std::size_t common = std::min(expected.size(), capture.size() - offset);
    for (std::size_t i = 0; i < common; ++i) {
        if (capture[offset + i] != expected[i]) {
            return ::testing::AssertionFailure()
                   << "byte " << i << " of the sound differs (captured " << int{capture[offset + i]}
                   << ", expected " << int{expected[i]} << "; " << offset
                   << " bytes of leading silence)";
        }
    }
    if (common < expected.size()) {
        return ::testing::AssertionFailure()
               << "only " << common << " of " << expected.size() << " bytes were captured";
    }
    for (std::size_t i = offset + expected.size(); i < capture.size(); ++i) {
        if (capture[i] != 0) {
            return ::testing::AssertionFailure()
                   << "sound after the end, " << i - offset - expected.size() << " bytes on";
        }
    }
    return ::testing::AssertionSuccess();
}

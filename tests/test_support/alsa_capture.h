#pragma once

// ALSA configurations for playing through the real PortAudio path without a sound card,
// and the checks of what such a device captured.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/test_support/wav_builder.h"

// The default device writes everything played into capture, raw. The null device behind it
// takes sound as fast as it comes, so paced_sink sits in between and takes it at
// bytesPerSecond, as a sound card would. With append, every opening of the device adds to
// the capture instead of replacing it.
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

// A device named pcm that writes everything played into capture, as a WAV file whose header
// holds the rate, channel count and sample size the device was opened with. The null device
// behind it takes sound as fast as it comes, so paced_sink sits in between and takes it at
// bytesPerSecond, as a sound card would. ALSA starts paced_sink when the stream is set up,
// not when PortAudio merely probes the device.
inline std::string PacedFileDevice(const std::string& pcm, const std::filesystem::path& capture,
                                   long bytesPerSecond) {
    std::ostringstream config;
    config << "pcm." << pcm << " {\n"
           << "  type file\n"
           << "  slave { pcm { type null } }\n"
           << "  file \"|exec " << ZERBEX_PACED_SINK << " " << capture.string() << " "
           << bytesPerSecond << "\"\n"
           << "  format \"wav\"\n"
           << "}\n";
    return config.str();
}

// The default device is a sound card that is not there.
inline std::string MissingCardConfig() {
    return "pcm.!default { type hw card 7 }\n";
}

// What a file device captured: the header's format and the sound after it.
struct CapturedSound {
    int rate = 0;
    int channels = 0;
    int bits = 0;
    Bytes sound;
};

// ALSA writes a plain 44-byte header; it cannot fill in the sizes on a pipe.
inline ::testing::AssertionResult ReadCapture(const std::filesystem::path& path,
                                              CapturedSound& captured) {
    const Bytes file = ReadFile(path);
    constexpr std::size_t kHeader = 44;
    if (file.size() < kHeader || !std::equal(file.begin(), file.begin() + 4, "RIFF") ||
        !std::equal(file.begin() + 36, file.begin() + 40, "data")) {
        return ::testing::AssertionFailure()
               << path << " holds no WAV header (" << file.size() << " bytes)";
    }
    const auto le = [&file](std::size_t at, std::size_t n) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            v |= std::uint32_t{file[at + i]} << (8 * i);
        }
        return static_cast<int>(v);
    };
    captured.channels = le(22, 2);
    captured.rate = le(24, 4);
    captured.bits = le(34, 2);
    captured.sound.assign(file.begin() + kHeader, file.end());
    return ::testing::AssertionSuccess();
}

// Whether anything but silence was captured; a device never opened captured nothing.
inline bool HeardAnything(const std::filesystem::path& path) {
    if (!std::filesystem::exists(path)) {
        return false;
    }
    CapturedSound captured;
    return ReadCapture(path, captured) &&
           std::any_of(captured.sound.begin(), captured.sound.end(), [](auto b) { return b; });
}

inline bool SilentFrame(const Bytes& bytes, std::size_t offset, std::size_t frameBytes) {
    return std::all_of(
        bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes.size())),
        bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset + frameBytes, bytes.size())),
        [](auto b) { return b == 0; });
}

inline std::size_t FirstSoundingFrame(const Bytes& bytes, std::size_t frameBytes) {
    std::size_t offset = 0;
    while (offset + frameBytes <= bytes.size() &&
           std::all_of(bytes.begin() + offset, bytes.begin() + offset + frameBytes,
                       [](auto b) { return b == 0; })) {
        offset += frameBytes;
    }
    return offset;
}

// Whether capture is silence, then the first heard bytes of expected, then silence; expected
// must not start with a silent frame. heard is left at the length of the sound.
inline ::testing::AssertionResult PlayedPrefix(const Bytes& capture, const Bytes& expected,
                                               std::size_t frameBytes, std::size_t& heard) {
    heard = 0;
    const std::size_t start = FirstSoundingFrame(capture, frameBytes);
    while (start + heard < capture.size() && heard < expected.size() &&
           capture[start + heard] == expected[heard]) {
        ++heard;
    }
    for (std::size_t i = start + heard; i < capture.size(); ++i) {
        if (capture[i] != 0) {
            return ::testing::AssertionFailure()
                   << "unexpected sound " << i - start << " bytes into the sound (" << heard
                   << " of " << expected.size() << " bytes matched; captured " << int{capture[i]}
                   << ")";
        }
    }
    return ::testing::AssertionSuccess();
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

#pragma once

// The fuzz targets: each takes arbitrary bytes, runs a part of the engine on them and
// aborts when an invariant breaks. libFuzzer drives them (libfuzzer_entry.cpp); the
// regression tests feed them the inputs that once failed.

#include <cstddef>
#include <cstdint>

// A write job over the bytes as an input file: the output must have the input's length
// and equal it outside the sample data, and no temporary file may be left behind.
int FuzzWriteJob(const std::uint8_t* data, std::size_t size);

// A playback job over the bytes into an output system that completes at once, stopped
// after a few blocks; the last bytes choose the loop and a seek.
int FuzzPlayJob(const std::uint8_t* data, std::size_t size);

// Frame processing driven by a little program in the bytes: frames, mode changes and
// parameter changes, raw values far outside the trackbar ranges included.
int FuzzProcessing(const std::uint8_t* data, std::size_t size);

// The decoding front-end over the bytes as a file of any kind: a decoded copy must be a
// whole 16-bit stereo WAV, and nothing may be left in the cache folder.
int FuzzDecode(const std::uint8_t* data, std::size_t size);

#pragma once

// The fuzz targets: each takes arbitrary bytes, runs a part of the engine on them and
// aborts when an invariant breaks. libFuzzer drives them (libfuzzer_entry.cpp); the
// regression tests feed them the inputs that once failed.

#include <cstddef>
#include <cstdint>

// A write job over the bytes as an input file. One the engine reads as it is must come out
// with the input's length, equal to it outside the sample data and processed frame by frame
// inside; any other must come out as a whole decoded WAV or be refused with a reason. No
// temporary file may be left behind.
int FuzzWriteJob(const std::uint8_t* data, std::size_t size);

// A playback job over the bytes into a test output that completes at once, stopped after a
// few blocks; the last bytes choose the loop, the play position, a seek, a move of the loop
// end and a mode switch while it plays.
int FuzzPlayJob(const std::uint8_t* data, std::size_t size);

// Frame processing driven by a little program in the bytes: frames, mode changes and
// parameter changes, raw values far outside the trackbar ranges included; the block path
// in every instruction set must match the frame-by-frame processing.
int FuzzProcessing(const std::uint8_t* data, std::size_t size);

// The decoding front-end over the bytes as a file of any kind: a decoded copy must be a
// whole 16-bit stereo WAV, and nothing may be left in the cache folder.
int FuzzDecode(const std::uint8_t* data, std::size_t size);

// The bounds of a file's tags (metadata_guard.h) and the cleaning of their text over the
// bytes as a file's start and as a tag: only comment counts are ever changed, downwards, and
// clean text is valid UTF-8 without control characters.
int FuzzTags(const std::uint8_t* data, std::size_t size);

// The cache folder's clean-up over names the bytes give: only this program's copies that no
// running program holds are removed, never a file of another name, a link or what it names.
int FuzzCache(const std::uint8_t* data, std::size_t size);

// The presets file over the bytes: what loads is sound (names told apart, positions in range,
// at most kMaxPresets), and a save and a delete keep every other entry as it loaded.
int FuzzPresets(const std::uint8_t* data, std::size_t size);

// The command line's option parser over the bytes as arguments (split at NUL bytes): numbers
// read exactly as a model of the grammar reads them, values within their ranges.
int FuzzOptions(const std::uint8_t* data, std::size_t size);

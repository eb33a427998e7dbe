#pragma once

// One step of the processing chain that a playback and a write both run: 16-bit stereo frames
// in, frames out, each stage built once for a job from its settings and prepared for each run
// of sample data. A playback hands a stage pieces as the device has room for them, a write
// whole blocks; a stage gives the same frames however its input is cut.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "container/wave_format.h"
#include "processing/block.h"

using StageBytes = std::vector<unsigned char>;

class Stage {
  public:
    virtual ~Stage() = default;
    // A run of sample data in this format starts: the stage holds nothing.
    virtual void Prepare(const WaveFormat& format) = 0;
    // Whole frames in; what is ready comes out, appended to out.
    virtual void Process(const unsigned char* in, std::size_t bytes, StageBytes& out) = 0;
    // The run ends: what the stage still holds comes out, appended to out.
    virtual void Finish(StageBytes& out) = 0;
    // Forgets every frame put: a run starts afresh at the same format.
    virtual void Reset() = 0;
    // Frames between an input frame and the output frame made of it, inside the stage.
    virtual std::size_t Latency() const = 0;
    // Whether the settings make the stage a no-op that frames may go around.
    virtual bool Bypassed() const = 0;
};

// Samples lie in files little-endian, as in the memory of the machines the program runs on
// (the decoder and the encoders take them so too): a copy is the conversion.
static_assert(std::endian::native == std::endian::little);

// Appends a copy of the given number of bytes at from to the vector, as whole elements of
// it. Nothing to append may come as a null pointer (an empty vector's data), which memcpy
// must not be given.
template <typename To, typename From>
void AppendCopy(std::vector<To>& to, const From* from, std::size_t bytes) {
    if (bytes == 0) {
        return;
    }
    const std::size_t size = to.size();
    to.resize(size + bytes / sizeof(To));
    std::memcpy(to.data() + size, from, bytes);
}

// Whole 4-byte frames of bytes go to take(frames, count), with partial: the bytes of a frame
// cut short before them, and after them the bytes of one cut short now.
template <typename Take>
void WholeFrames(std::vector<unsigned char>& partial, const unsigned char* bytes, std::size_t n,
                 Take take) {
    while (!partial.empty() && partial.size() < kBytesPerFrame && n > 0) {
        partial.push_back(*bytes++);
        --n;
    }
    if (partial.size() == kBytesPerFrame) {
        take(partial.data(), 1);
        partial.clear();
    }
    const std::size_t whole = n / kBytesPerFrame;
    if (whole > 0) {
        take(bytes, whole);
    }
    partial.insert(partial.end(), bytes + whole * kBytesPerFrame, bytes + n);
}

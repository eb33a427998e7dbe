#pragma once

// The walk of a RIFF/WAVE file in file order, as a job reads it: the container's bytes go
// to the handler as they are read, each "data" chunk's body is the handler's to read.

#include <cstddef>
#include <cstdint>

#include "container/wave_format.h"

// Where a walk reads. A read falls short only at the end of the input or on a failure.
class ByteInput {
  public:
    virtual ~ByteInput() = default;
    virtual std::size_t Read(unsigned char* buffer, std::size_t n) = 0;
};

class WalkHandler {
  public:
    virtual ~WalkHandler() = default;
    // Bytes of the container in file order: the 12-byte blocks of the scan, chunk headers,
    // list types, format and other bodies. False ends the walk.
    virtual bool Container(const unsigned char* bytes, std::size_t n) = 0;
    virtual void Format(const WaveFormat& format) = 0;
    // A "data" chunk's body of length bytes (pad byte included) starts at the input's
    // position; the handler reads what it takes of it, and the walk goes on from wherever
    // the input then stands. False ends the walk.
    virtual bool Data(std::uint64_t length) = 0;
};

// Reads the input 12 bytes at a time and walks every RIFF/WAVE form met while no block
// before it failed the check, until the input ends or the handler ends the walk. Bytes
// that are no part of such a form reach the handler unchanged, so a file that is no
// RIFF/WAVE file is all container.
void WalkWave(ByteInput& input, WalkHandler& handler);

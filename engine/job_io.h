#pragma once

#include <cstddef>
#include <cstdint>

#include "wave_job.h"

// Reads up to n bytes; a short count means the end of the file, or an error that the job
// then records. Nothing is read once the job has failed.
std::size_t ReadBytes(Job& job, void* buffer, std::size_t n);
// Appends n bytes to the output of a write job; a playback job writes nothing.
void WriteBytes(Job& job, const void* buffer, std::size_t n);
// Moves the input to an absolute position; a failure is recorded as a read error.
void SeekInput(Job& job, std::int64_t position);
// Reads (and in a write job copies) n bytes of a chunk body in pieces that fit the block
// buffer. Stops early at the end of the input.
void CopyBody(Job& job, std::uint64_t n);

inline bool JobFailed(const Job& job) {
    return job.readFailed || job.writeFailed;
}

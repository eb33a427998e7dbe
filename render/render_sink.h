#pragma once

// Where a write job's output goes: the container's bytes and the processed sample data, in
// order. A sink over a regular file also lets a job store sample data at any offset, which
// segments finished out of order need.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "container/wave_format.h"

// A stretch of bytes in a regular file, for positioned reads or writes.
struct FilePlace {
    int fd = -1;
    std::int64_t offset = 0;  // of the first byte
    std::uint64_t bytes = 0;  // how many there are to read from there (inputs)
};

class RenderSink {
  public:
    virtual ~RenderSink() = default;
    // Bytes of the container; a sink that writes no container of its own (an encoder, a
    // meter) takes them as done.
    virtual bool Container(const unsigned char* /*bytes*/, std::size_t /*n*/) { return true; }
    // The sample data that follows has this format (the first call decides for an encoder).
    virtual bool Format(const WaveFormat& format) = 0;
    // Processed sample bytes, in order.
    virtual bool Frames(const unsigned char* bytes, std::size_t n) = 0;
    // The input's last sample data was given: what a sink holds goes on, and a header of the
    // sink's own gets its sizes.
    virtual bool EndOfData() { return true; }
    // Where the next frames go when they may be stored at any offset; nothing when the sink
    // takes them only in order. Once the job stored bytes there, SkipFrames moves past them.
    virtual std::optional<FilePlace> FramesPlace() { return std::nullopt; }
    virtual bool SkipFrames(std::uint64_t /*bytes*/) { return false; }
    // Whether finished bytes should be on their way to the disk while the job runs, and the
    // start of that for every byte written so far.
    virtual bool WritesBackEarly() const { return false; }
    virtual void StartWriteBack() {}
    // Everything was written: the output becomes what the job wrote.
    virtual bool Commit() = 0;
    // The system's error number of the last failure; 0 when there was none or it is unknown.
    virtual int Error() const { return 0; }
    // A write of the job's own into the file (FramesPlace) failed with this error number.
    virtual void WriteFailedWith(int /*error*/) {}
    // The last failure in words: the system's, or the encoder's.
    virtual std::string ErrorDetail() const { return Error() != 0 ? std::strerror(Error()) : ""; }
};

// A sink in front of another, next: the container, the formats, the end and the commit pass
// on to it as they are.
class ForwardingSink : public RenderSink {
  public:
    explicit ForwardingSink(RenderSink& next) : m_next(next) {}

    bool Container(const unsigned char* bytes, std::size_t n) override {
        return m_next.Container(bytes, n);
    }
    bool Format(const WaveFormat& format) override { return m_next.Format(format); }
    bool EndOfData() override { return m_next.EndOfData(); }
    bool Commit() override { return m_next.Commit(); }

  protected:
    RenderSink& m_next;
};

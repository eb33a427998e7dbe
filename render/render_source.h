#pragma once

// Where a write job's input comes from: a WAV file walked as it is, or a decoder's frames with
// their format and tags and no container.

#include <cstdint>
#include <limits>
#include <optional>

#include "codecs/codec_module.h"
#include "container/wave_walk.h"
#include "render/job_observer.h"
#include "render/render_sink.h"

// The length of sample data that is known only once it has all been read.
inline constexpr std::uint64_t kUnknownLength = std::numeric_limits<std::uint64_t>::max();

enum class SourceStatus {
    Ok,
    ReadFailed,  // the file could not be read
    Changed,     // the file changed while it was read
    NotAudio,
    NotStereo,
    NoSpace,      // the decoded audio grew past what the disk may take
    TooLong,      // the decoded audio grew past what a WAV file can hold
    Interrupted,  // the stop control ended the reading
};

class RenderSource {
  public:
    virtual ~RenderSource() = default;
    // Walks the input: container bytes, formats and, for each run of sample data, a call of
    // Data through which the handler reads the run from DataInput. A source of frames alone
    // gives a format and one run of unknown length.
    virtual void Walk(WalkHandler& handler) = 0;
    virtual ByteInput& DataInput() = 0;
    // The run being read, in a regular file, for reads at any offset (available: the bytes of
    // it the file holds); once the job took bytes that way, SkipData moves past them.
    virtual std::optional<FilePlace> DataPlace(std::uint64_t /*length*/) { return std::nullopt; }
    virtual bool SkipData(std::uint64_t /*bytes*/) { return false; }
    // How far through the input the walk is, 0 .. 1, where the length of a run is unknown.
    virtual double Progress() const { return 0; }
    virtual AudioTags Tags() = 0;
    // For a source of frames alone: the tags of the header a WAV output writes for them.
    // Nothing for a walked WAV, whose own container a WAV output keeps.
    virtual std::optional<AudioTags> WaveTags() const { return std::nullopt; }
    virtual CoverArt Cover() { return {}; }
    virtual SourceStatus Status() const = 0;
    // Whether the sample data fits, for sources whose length is only declared (a tiny file
    // that declares hours of audio must not fill the disk): in diskBytes, and, for a WAV
    // output, in what a RIFF size can count. Ok, NoSpace or TooLong; a source that turns out
    // longer than it declared stops there with the same status.
    virtual SourceStatus Limit(std::uint64_t /*diskBytes*/, bool /*wav*/) {
        return SourceStatus::Ok;
    }
    // Sample bytes the input declares it holds, where only declared; 0 when not.
    virtual std::uint64_t DeclaredBytes() const { return 0; }
    // Bytes of sample data a second, where DeclaredBytes is declared; 0 when not.
    virtual std::uint32_t DeclaredByteRate() const { return 0; }
    // Something the user should know of an input that was read to its end: a decoded input
    // that held less than it declared, or damaged parts that were skipped.
    virtual std::optional<JobMessage> Warning() const { return std::nullopt; }
};

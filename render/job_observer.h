#pragma once

// What a job tells whoever runs it, in the engine's own terms: the window turns these into
// message boxes, trackbar positions and meter images, the command-line tool into its lines
// and progress bars. A job calls its observer from the thread it runs on and waits for each
// call to return.

#include <cstdint>
#include <string>

enum class JobError {
    ReadInput,          // the input could not be opened or read, or changed while it was read
    CreateOutput,       // the output could not be created
    WriteOutput,        // the output could not be written
    NotStereo,          // the sample data does not have two channels
    Not16Bit,           // the samples are not 16-bit
    NotAudio,           // nothing in the input is audio
    NoDecodeSpace,      // the decoded input does not fit the disk
    TooLongForWav,      // the decoded input is longer than a WAV file can hold
    CacheUnusable,      // the cache folder cannot be used (detail: why)
    DecodedShort,       // a warning: the decoded input held less than it declared (detail: what)
    NoDevice,           // no sound device can be opened
    DeviceFailed,       // the sound device failed while playing
    DeviceGone,         // a warning: the chosen sound device (detail) is not there
    SameFile,           // the output is the input
    CannotWriteFormat,  // no format this program writes has the output's extension (detail), or
                        // the name is an extension alone (detail: the name)
    CannotStream,       // the format (detail: its label) cannot be written to a pipe or FIFO
    LoopAtStart,        // a job started with its loop start at or after its loop end
    LoopAtReposition,   // a playback found its loop start at or after its loop end
};

struct JobMessage {
    JobError error;
    std::string detail = {};  // the system's or the device's own words, when there are any
    std::string file = {};    // the file it is about, when the job knows it
    std::string format = {};  // an output's format in words ("MP3 (LAME)"); empty for a WAV
};

class JobObserver {
  public:
    virtual ~JobObserver() = default;
    virtual void Message(const JobMessage& /*message*/) {}
    // The play-position counter moved to step (trackbar steps).
    virtual void Position(int /*step*/) {}
    // The sound handed to the device has reached this frame of the source: where a play head
    // that follows the sound to the frame stands.
    virtual void HeardFrame(std::int64_t /*frame*/) {}
    // The loop region now runs from start to end (trackbar steps).
    virtual void Loop(int /*start*/, int /*end*/) {}
    // The level meter's lit segments, 0 .. 8.
    virtual void Level(int /*segments*/) {}
    // How much of a write is done, 0 .. 1.
    virtual void Progress(double /*done*/) {}
    // The last block a stopped playback had queued has played.
    virtual void PlayedOut() {}
};

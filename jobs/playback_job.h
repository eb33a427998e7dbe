#pragma once

// A playback job: a WAV file's sample data processed with the settings of each moment and
// played, over and over within the loop region, moving on a released play position, until
// the data ends or the user stops it.

#include <cstdint>

#include "container/wave_format.h"
#include "jobs/controls.h"
#include "jobs/play_input.h"
#include "playback/audio_out.h"
#include "render/job_observer.h"

// How a job ended: every job returns one, a playback with the bytes it played.
struct JobResult {
    enum Kind {
        Done,     // ran to its end (a non-RIFF input copied unchanged counts)
        Stopped,  // the stop request ended it
        Refused,  // the input was refused (not 16-bit stereo, no audio, no sound device)
        Failed,   // a file could not be opened, read or written
        Busy,     // another job was running: nothing was done
    };
    constexpr JobResult(Kind ended = Done, std::uint64_t played = 0)
        : kind(ended), bytesPlayed(played) {}
    constexpr operator Kind() const { return kind; }

    Kind kind;
    std::uint64_t bytesPlayed;  // a playback's sample bytes handed to the device
};

// The playback job behind JobRunner::Play. format: the format of the job before, which a file
// without a "fmt " chunk plays with; it ends as the file's last. once: the loop end ends the
// job instead of going back.
JobResult PlayWave(PlayInput& input, PlayControls& controls, AudioOut& out, WaveFormat& format,
                   JobObserver& observer, bool once);

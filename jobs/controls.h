#pragma once

// What the user changes while a job runs, written by the window from its own thread. A job
// takes the settings whole at the moments its loop says, and reads the move and stop requests
// without a lock.

#include <cstdint>
#include <optional>
#include <stop_token>

#include "jobs/mailbox.h"
#include "jobs/shared_value.h"
#include "processing/processing_parameters.h"
#include "trackbars/parameters.h"

// Where and how a playback plays, besides the processing: the play position, the loop region
// and the key and tempo the window shows. A playback takes them whole at each block and piece,
// so that it never meets a loop's new start with its old end.
struct PlaySettings {
    // Trackbar steps: where a playback starts, and where a move asked for without a frame
    // goes. A playback advances its own copy and tells the steps to its observer.
    int playPos = RowOf(Knob::PlayPos).start;
    int loopStart = RowOf(Knob::LoopStart).start;  // trackbar steps
    int loopEnd = RowOf(Knob::LoopEnd).start;
    // A loop region to the frame, end exclusive (the waveform's, the command line's times):
    // while the end lies after the start it stands for the loop trackbars, which then show
    // only the nearest steps; -1 (or an end not after the start) leaves the steps in force.
    std::int64_t loopStartFrame = -1;
    std::int64_t loopEndFrame = -1;
    // After the processing: a playback plays its next frames in this key and at this tempo.
    int key = RowOf(Knob::Key).start;
    int tempo = RowOf(Knob::Tempo).start;
    // Read when a playback starts: its sound is brought to the input's loudness as it plays.
    bool matchLoudness = false;
};

struct PlayControls {
    // The processing's settings as the window last set them; a playback takes them before each
    // piece it prepares.
    Mailbox<ProcessingParameters> settings;
    // The position, loop, key and tempo; a playback tells where it is and a loop it had to
    // reset to its observer instead.
    Mailbox<PlaySettings> play;
    // Asks the running job to stop; a new one is set before each job, while none runs.
    std::stop_source stop;
    // A move was asked for (the play-position trackbar released, the waveform clicked): a
    // playback moves to seekFrame, or to play's playPos when seekFrame is negative, and clears
    // it. Whoever asks publishes the position and writes seekFrame, then seek.
    Shared<int> seek{0};
    Shared<std::int64_t> seekFrame{-1};
    // Set before any playback, where the key and tempo may change while one runs: its blocks
    // then go out in small pieces at every key and tempo, so that a change is heard at once.
    bool keyTempoLive = false;
    // Where the command line gives a target in LUFS, a playback's sound is brought to it as it
    // plays; set before the playback starts, never during.
    std::optional<double> loudnessTarget;
};

#pragma once

// What the user changes while a job runs. A job reads these without a lock at the moments
// its loop says; the window writes them from its own thread.

#include <optional>

#include "parameters.h"
#include "processing_parameters.h"
#include "shared_value.h"

struct PlayControls {
    ProcessingParameters params;
    Shared<int> stop{0};
    // The play-position trackbar was released: a playback moves to playPos and clears it.
    Shared<int> seek{0};
    Shared<int> playPos{RowOf(Knob::PlayPos).start};  // trackbar steps; a playback advances it
    Shared<int> loopStart{RowOf(Knob::LoopStart).start};
    Shared<int> loopEnd{RowOf(Knob::LoopEnd).start};
    // After the processing: a playback plays its next frames in this key and at this tempo.
    Shared<int> key{RowOf(Knob::Key).start};
    Shared<int> tempo{RowOf(Knob::Tempo).start};
    // Set where they may change while a playback runs: its blocks then go out in small pieces
    // at every key and tempo, so that a change is heard at once.
    Shared<int> keyTempoLive{0};
    // Read when a playback starts: its sound is brought to the input's loudness as it plays,
    // or, where the command line gives a target in LUFS, to that.
    Shared<int> matchLoudness{0};
    std::optional<double> loudnessTarget;  // set before the playback starts, never during

    RunInterrupts Interrupts() const { return {&seek, &stop}; }
};

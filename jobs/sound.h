#pragma once

// The sound system the programs play on (PortAudio), with its one output, for as long as the
// program runs.

#include "playback/portaudio_out.h"

struct Sound {
    PortAudioSystem system;
    PortAudioOut out{system};  // gone before the system
};

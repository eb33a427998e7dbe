#pragma once

#include <QString>

#include "jobs/input_file.h"
#include "trackbars/parameters.h"

// The value a trackbar stands for, in the unit its table row gives: the cut-offs in Hz, the
// levels in dB, the pan by side, the key in semitones, the tempo in percent, and places in the
// file as minutes:seconds of the loaded file (or as a percentage of it when its length is
// unknown).
QString TrackbarTip(Knob knob, int pos, const WaveLength& input);

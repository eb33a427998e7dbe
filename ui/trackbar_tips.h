#pragma once

#include <QString>

#include "wave_probe.h"

// The value a trackbar stands for, as its tooltip shows it: the cut-offs in Hz, the levels
// in dB, the pan by side, and the loop and play positions as minutes:seconds of the loaded
// file (or as a percentage of it when its length is unknown). Empty for any other control.
QString TrackbarTipText(int controlId, int pos, const WaveLength& input);

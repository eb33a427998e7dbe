#pragma once

// The vocal removal measured part by part on songs made from stems (make_songs.py): each
// stem's least-squares weight in the output, how much of the vocals is left, the tone of the
// instruments, and the signal-to-distortion of the instrumental and of the vocal file.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/quality/songs.h"
#include "processing/processing_parameters.h"
#include "trackbars/parameters.h"

enum class PartRole { Instrument, Lead, Reverb, Backing };

struct Part {
    std::string name;
    PartRole role = PartRole::Instrument;
    Stereo audio;
};

struct RealSong {
    std::string name;
    std::vector<Part> parts;
    double leadLeft = 1.0;  // the dry lead's true gains
    double leadRight = 1.0;
    std::string reverb;  // "plate", "room", "hall" or "dry"
};

// The song in dir as song.txt describes it; nothing, with the reason in error, when a stem is
// missing, unreadable or of another length than the others.
std::optional<RealSong> LoadRealSong(const std::filesystem::path& dir, std::string& error);

// The sum of the parts, or of those of one role.
Stereo MixOf(const RealSong& song);
Stereo SumOf(const RealSong& song, PartRole role);

// What a tool made of each part (in the song's order, its delay taken out), the level it
// gives sound it leaves alone, and the vocal file it writes, if any.
struct ToolOutputs {
    std::vector<Stereo> parts;
    double referenceGain = 1.0;
    std::optional<Stereo> vocalStem;
    std::optional<Stereo> played;  // the tool's output of the mix itself, where it was made
};

ToolOutputs StereoTool(const RealSong& song, const Positions& positions);
ToolOutputs FrameModeTool(const RealSong& song, PlayMode mode, const Positions& positions);
// The channel difference aimed at the lead's true pan, full band: (r L - l R) / max(l, r) on
// the left, its negative on the right.
ToolOutputs AimedDifference(const RealSong& song);
ToolOutputs InputTool(const RealSong& song);

struct RealFigures {
    std::vector<double> partDb;  // each part's weight against the instruments' mean weight
    double leadBelow = 0;        // dB the dry lead's weight lies below the instruments' mean
    double instrumentMin = 0;    // the lowest and highest instrument against the mean, dB
    double instrumentMax = 0;
    std::optional<double> reverbBelow;   // the lead reverb's, below the mean, dB
    std::optional<double> backingBelow;  // the backing vocals'
    double vocalLeft = 0;  // lead, backing and reverb against the instruments in the output
    double toneError = 0;  // octave bands 31 Hz .. 16 kHz, RMS of the level errors, dB
    std::vector<double> bandErrors;  // each band's level error, dB (kOctaveCentres)
    double instrumentSdr = 0;
    std::optional<double> vocalSdr;  // the vocal file against lead, reverb and backing
    // How far the parts' outputs are from adding up to the output of the mix, dB against it:
    // the figures hold only while the processing is linear given the mix (rounding: ~ -80).
    std::optional<double> additivity;
};

RealFigures MeasureReal(const RealSong& song, const ToolOutputs& outputs);

// The least-squares gain of in in out (both channels): <out, in> / <in, in>.
double LeastSquaresWeight(const Stereo& out, const Stereo& in);
// The octave bands' centres, Hz.
inline constexpr double kOctaveCentres[] = {31.25, 62.5, 125,  250,  500,
                                            1000,  2000, 4000, 8000, 16000};
// Each octave band's level of out against truth's, dB.
std::vector<double> OctaveErrorsDb(const Stereo& out, const Stereo& truth);
// Their RMS, dB.
double ToneErrorDb(const std::vector<double>& bandErrors);

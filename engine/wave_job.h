#pragma once

// One job over an input WAV file: a playback job plays its sample data, a write job
// writes a copy in which only the bodies of "data" chunks are replaced by processed
// samples.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "job_state.h"
#include "segmented_render.h"
#include "window_link.h"

class RenderPool;
class WaveOutBackend;
class WriteJobStreams;

// What a job needs from outside the engine.
struct JobContext {
    WindowLink& window;
    WaveOutBackend* audio = nullptr;    // the output system for playback jobs
    std::uint64_t dataBytesPlayed = 0;  // set by a playback job: sample bytes it played
    // Threads for the segments of a write job; null: a pool of every core for the job.
    RenderPool* pool = nullptr;
    std::size_t segments = 0;  // at most this many; 0: two for each thread of the pool
    // Whether a write job run in one piece reads ahead and writes behind on threads of its
    // own: only where the threads the user allows and the cores leave room for them.
    bool ioThreads = true;
    SegmentSettings segmentSettings{};
};

enum class JobResult {
    Done,     // the job ran to its end (a non-RIFF input is copied unchanged and counts)
    Refused,  // the sample data was refused (not 16-bit stereo, no sound device)
    Failed,   // a file could not be opened, read or written
    Busy,     // another job was running: nothing was done
};

// One running job's files and what went wrong with them.
struct Job {
    JobContext& context;
    std::FILE* input = nullptr;
    std::FILE* output = nullptr;  // null in a playback job
    bool syncOutput = false;      // the output is synced at the end: start its write-back early
    bool readFailed = false;
    bool writeFailed = false;
    bool loopWarningShown = false;       // "Error 86" was shown in this job already
    bool refused = false;                // the sample data was refused; the job ended there
    bool stopped = false;                // the stop request ended the job
    std::uint64_t dataBytesPlayed = 0;   // sample bytes handed to the device
    WriteJobStreams* streams = nullptr;  // while a write job streams its sample data
    JobState* jobState = &g_job;         // a batch's write jobs each have their own

    WindowState& State() { return context.window.State(); }
};

// Messages, exactly as the user sees them.
inline constexpr char kMsgReadError[] = "Error reading input wave file...\n";
inline constexpr char kMsgCreateError[] = "Error creating output wave file...\n";
inline constexpr char kMsgWriteError[] = "Error writing output wave file...\n";
inline constexpr char kMsgNotStereo[] = "Error code 1101, Input not stereo! \n";
inline constexpr char kMsgNot16Bit[] = "Error code 1102, Input not 16-bit! \n";
inline constexpr char kMsgNotAudio[] = "Error code 1103, Input is not an audio file! \n";
inline constexpr char kMsgNoDecodeSpace[] =
    "Error code 1104, Not enough disk space to decode the input! \n";
inline constexpr char kMsgNoDevice[] =
    "A sound device was not found!\nPlease install one and try again.";
inline constexpr char kMsgError86[] = "Error 86: Play start is after play end. Play starts at 0.";
inline constexpr char kMsgError87[] = "Error 87: Play start is after play end. Play starts at 0.";
inline constexpr char kMsgSameFile[] =
    "Enter a different filename. Trying to write to the input filename is not allowed.";

inline constexpr int kMaxListDepth = 64;  // deeper "LIST" chunks are copied as they are

// Runs one job; playFlag 1 plays, 0 writes. A write job replaces the output only when it
// succeeds; otherwise the output is left as it was. Failures are shown through the window.
JobResult ProcessWaveFile(JobContext& context, const char* inputPath, const char* outputPath,
                          int playFlag);

// A write job with a job state of its own, so that several can run at the same time;
// otherwise the same as ProcessWaveFile with playFlag 0.
JobResult WriteWaveFile(JobContext& context, const char* inputPath, const char* outputPath);

// Walks a run of chunks of the given total length from the input's position.
// Returns false when the job must end: the data was refused, a playback was stopped,
// or a file failed.
bool WalkChunks(Job& job, std::int32_t remaining, int depth = 0);

// Reads (and in a write job copies) a "fmt " body of the given rounded size.
void ReadFormatChunk(Job& job, std::uint64_t size);

// Whether two paths name the same existing file (device and inode), whatever the spelling.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

#pragma once

// The jobs layer: what the window, a single render and a batch all call. It runs the checks
// every write needs (the output is not the input under any spelling, the output is replaced
// only by a whole file, one job at a time) and picks the pipeline for the input and output.

#include <filesystem>
#include <mutex>
#include <optional>

#include "codecs/output_formats.h"
#include "container/wave_format.h"
#include "jobs/controls.h"
#include "jobs/input_file.h"
#include "jobs/playback_job.h"
#include "playback/audio_out.h"
#include "processing/loudness.h"
#include "render/disk_space.h"
#include "render/job_observer.h"
#include "render/render.h"

// The parameters are copied when the job starts; the vocals sink is the job's own. A key and
// tempo other than neutral have the input decoded as any file that is no 16-bit WAV is, and
// the output is a WAV of our own header (or an encoded file) whose tags note the change.
struct WriteRequest : RenderSettings {
    std::filesystem::path input;   // as the user named it
    std::filesystem::path reads;   // its decoded copy, when there is one already
    std::filesystem::path output;  // its extension picks the format
    QualityChoice quality;         // for a lossy format; unset: its defaults
    DiskSpace* disk = nullptr;     // what jobs running beside this one set aside; null: none run
    // Where no pool is given: a pool of the write's own of this many threads (0: one for each
    // core); unset: none, the write in one piece, in order.
    std::optional<int> threads;
    // Also the removed part, in the output's format, under VocalsPath(output).
    bool stems = false;
    // The output's integrated loudness brought to the input's or a target, its true peak
    // limited: the processing then runs twice, once to measure. The removed part is left as
    // it is.
    Loudness loudness = {};
};

// Where the removed part of a write to output goes: its name with "-vocals" before the
// extension ("out.wav" -> "out-vocals.wav").
std::filesystem::path VocalsPath(const std::filesystem::path& output);

// Whether the output names the existing input, whatever the spelling (a link, a hard link,
// a path through ".."): the one check every write makes before it starts.
bool SameFile(const std::filesystem::path& input, const std::filesystem::path& output);

// The format an output's name asks for, by its extension in any case. A name without one
// that exists already (a device, a FIFO, /dev/stdout redirected to a file) takes a WAV
// stream, as it always has. Null for a name of no format this program writes: such a write
// is refused before anything is written.
const OutputFormatRow* OutputFormatFor(const std::filesystem::path& output);

// The refusal of such a name: "cannot write .xyz files; ..." (file: the output).
JobMessage CannotWriteMessage(const std::filesystem::path& output);

// Runs one job at a time and keeps what carries from one job to the next: the format of the
// last "fmt " chunk read, which a file without one is played and written with. Jobs side by
// side (a batch) each have a runner of their own.
class JobRunner {
  public:
    JobRunner() = default;
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;
    DiskSpace& Disk() { return m_disk; }

    JobResult Write(const WriteRequest& request, JobObserver& observer);
    // Plays the input as it is, or its decoded copy as far as it is written; once: the loop
    // end ends the job instead of going back.
    JobResult Play(const InputFile& input, PlayControls& controls, AudioOut& out,
                   JobObserver& observer, bool once = false);

  private:
    std::mutex m_running;  // held by the job that runs: a second one finds it taken
    WaveFormat m_format;
    DiskSpace m_disk;
};

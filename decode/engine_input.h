#pragma once

// The one door through which the window and the command-line tool hand a file to the
// engine, and take its output back: a 16-bit stereo WAV goes to the engine as it is;
// anything else FFmpeg's libraries read is decoded first into the cache folder. A write
// job whose output name ends in ".flac" is encoded as FLAC once the engine wrote it.

#include <string>

#include "cache_folder.h"
#include "decode_to_wave.h"
#include "wave_job.h"

enum class InputStatus { Ready, NotAudio, NotStereo, NoSpace, Cancelled };

// How a decoding that did not finish is told to the user.
InputStatus InputStatusOf(DecodeStatus status);
// What the user is told about an input that cannot be used; null when it can (or when the
// user cancelled the decoding).
const char* RefusalOf(InputStatus status);

// An input made ready for the engine; a decoded copy lives as long as the object.
class EngineInput {
  public:
    InputStatus Status() const { return m_status; }
    bool Decoded() const { return !m_decoded.Path().empty(); }
    // The file the engine reads: the input itself or its decoded copy.
    const char* EnginePath() const { return m_enginePath.c_str(); }
    const char* Refusal() const { return RefusalOf(m_status); }

  private:
    friend EngineInput PrepareEngineInput(const std::string& path, const ProgressFn& progress);

    InputStatus m_status = InputStatus::Ready;
    std::string m_enginePath;
    CacheFile m_decoded;
};

// Looks at the input and decodes it when the engine cannot take it as it is. A path the
// engine cannot open (missing, a FIFO, a device) is left to the engine, which says so.
// Files left in the cache folder by processes that no longer run are removed first.
EngineInput PrepareEngineInput(const std::string& path, const ProgressFn& progress = {});

// Whether an output name asks for FLAC.
bool WantsFlac(const std::string& outputPath);

// Which job state a write job uses: the process's one job (the window, a single render),
// or one of its own, so that it can run beside others (a batch).
enum class WriteJobState { Process, Own };

// A write job from a prepared input: refused with its message when the input cannot be
// used, otherwise the engine's WAV, or FLAC by the output's name. The output is replaced
// only when everything succeeded; a stop request leaves it as it was.
JobResult WriteOutputFile(JobContext& context, const EngineInput& input,
                          const std::string& inputPath, const std::string& outputPath,
                          const ProgressFn& encodeProgress = {},
                          WriteJobState jobState = WriteJobState::Process);

// A playback job from a prepared input; an input that cannot be used is refused with its
// message and, as for any refused playback, not started again.
JobResult PlayInputFile(JobContext& context, const EngineInput& input);

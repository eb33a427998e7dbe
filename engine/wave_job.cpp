#include "wave_job.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <system_error>

#include "job_io.h"
#include "job_state.h"
#include "safe_output.h"
#include "stream_driver.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRiffHeaderBytes = 12;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::size_t kFileBufferBytes = 1 << 20;

std::uint16_t ReadLe16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IdIs(const unsigned char* id, const char (&name)[5]) {
    return std::memcmp(id, name, 4) == 0;
}

// Remaining lengths are signed 32-bit counts that may wrap, as the size fields dictate.
std::int32_t SubtractWrapping(std::int32_t remaining, std::uint64_t amount) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(remaining) -
                                     static_cast<std::uint32_t>(amount));
}

void RefuseRestart(WindowState& state) {
    state.m_bStopRequest = 1;
    state.m_bNoRestart = 1;
}

std::FILE* OpenInput(const char* path) {
    std::error_code ec;
    // Only regular files: a directory, a FIFO or a device would block or never end.
    if (!fs::is_regular_file(path, ec)) {
        return nullptr;
    }
    return std::fopen(path, "rb");
}

// Reads 12-byte blocks to the end of the input, walking every RIFF/WAVE form met while
// no block before it failed the check, until the job ends.
void ScanForms(Job& job) {
    bool scanOk = true;
    unsigned char header[kRiffHeaderBytes];
    for (;;) {
        const std::size_t got = ReadBytes(job, header, sizeof header);
        if (got == 0) {
            return;
        }
        WriteBytes(job, header, got);
        if (got < sizeof header || !IdIs(header, "RIFF") || !IdIs(header + 8, "WAVE")) {
            scanOk = false;
        } else if (scanOk) {
            const std::int32_t remaining =
                SubtractWrapping(static_cast<std::int32_t>(ReadLe32(header + 4)), 4);
            if (!WalkChunks(job, remaining)) {
                return;
            }
        }
    }
}

}  // namespace

void ReadFormatChunk(Job& job, std::uint64_t size) {
    unsigned char body[sizeof(WaveFormat)];
    const std::size_t got = ReadBytes(job, body, sizeof body);
    WriteBytes(job, body, got);
    if (got < sizeof body) {
        return;
    }
    JobState& state = *job.jobState;
    WaveFormat& format = state.waveFormat;
    format.wFormatTag = ReadLe16(body);
    format.nChannels = ReadLe16(body + 2);
    format.nSamplesPerSec = ReadLe32(body + 4);
    format.nAvgBytesPerSec = ReadLe32(body + 8);
    format.nBlockAlign = ReadLe16(body + 12);
    format.wBitsPerSample = ReadLe16(body + 14);
    state.channels = format.nChannels;
    state.bytesPerSample = format.wBitsPerSample / 8;
    CopyBody(job, size - sizeof body);
}

bool WalkChunks(Job& job, std::int32_t remaining, int depth) {
    while (remaining != 0) {
        unsigned char header[kChunkHeaderBytes];
        const std::size_t got = ReadBytes(job, header, sizeof header);
        // A header cut short by the end of the file is still the input's bytes: keep them.
        WriteBytes(job, header, got);
        if (got < sizeof header) {
            return !JobFailed(job);
        }
        const std::uint32_t size = ReadLe32(header + 4);
        const std::uint64_t rounded = static_cast<std::uint64_t>(size) + (size & 1u);
        remaining = SubtractWrapping(remaining, rounded + kChunkHeaderBytes);

        if (IdIs(header, "fmt ") && rounded >= sizeof(WaveFormat)) {
            ReadFormatChunk(job, rounded);
        } else if (IdIs(header, "data")) {
            if (ProcessDataChunk(job, rounded) != 0) {
                job.refused = true;
                if (job.jobState->playJob) {
                    RefuseRestart(job.State());
                }
                return false;
            }
            // A stopped playback has nothing more to do in this file.
            if (job.jobState->playJob && job.State().m_bStopRequest) {
                return false;
            }
        } else if (IdIs(header, "LIST") && rounded >= 4 && depth < kMaxListDepth) {
            unsigned char listType[4];
            const std::size_t typeGot = ReadBytes(job, listType, sizeof listType);
            WriteBytes(job, listType, typeGot);
            if (typeGot < sizeof listType) {
                return !JobFailed(job);
            }
            if (!WalkChunks(job, SubtractWrapping(static_cast<std::int32_t>(rounded), 4),
                            depth + 1)) {
                return false;
            }
        } else {
            CopyBody(job, rounded);
        }
        if (JobFailed(job)) {
            return false;
        }
    }
    return true;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

namespace {

JobResult RunJob(Job& job) {
    std::setvbuf(job.input, nullptr, _IOFBF, kFileBufferBytes);
    ScanForms(job);
    if (job.readFailed) {
        job.context.window.ShowMessage(kMsgReadError);
        return JobResult::Failed;
    }
    if (job.writeFailed) {
        job.context.window.ShowMessage(kMsgWriteError);
        return JobResult::Failed;
    }
    return job.refused ? JobResult::Refused : JobResult::Done;
}

JobResult RunPlaybackJob(JobContext& context, std::FILE* input) {
    Job job{context, input};
    const JobResult result = RunJob(job);
    context.dataBytesPlayed = job.dataBytesPlayed;
    if (result == JobResult::Failed) {
        RefuseRestart(context.window.State());
    }
    return result;
}

// Size and modification time of an open file: a write job whose input changed while it
// was read has written neither the old file nor the new one.
struct FileStamp {
    bool known = false;
    off_t size = 0;
    timespec modified{};
};

FileStamp StampOf(std::FILE* file) {
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) {
        return {};
    }
    return {true, info.st_size, info.st_mtim};
}

bool Unchanged(const FileStamp& before, const FileStamp& after) {
    return before.known && after.known && before.size == after.size &&
           before.modified.tv_sec == after.modified.tv_sec &&
           before.modified.tv_nsec == after.modified.tv_nsec;
}

JobResult RunWriteJob(JobContext& context, JobState& state, std::FILE* input, const char* inputPath,
                      const char* outputPath) {
    WindowLink& window = context.window;
    if (SameFile(inputPath, outputPath)) {
        window.ShowMessage(kMsgSameFile);
        return JobResult::Failed;
    }
    SafeOutput output;
    if (!output.Create(ResolveOutputTarget(outputPath))) {
        window.ShowMessage(kMsgCreateError);
        return JobResult::Failed;
    }
    std::setvbuf(output.File(), nullptr, _IOFBF, kFileBufferBytes);
    const FileStamp inputBefore = StampOf(input);
    Job job{context, input, output.File()};
    job.syncOutput = output.Syncs();
    job.jobState = &state;
    const JobResult result = RunJob(job);
    if (result != JobResult::Done) {
        return result;
    }
    if (job.stopped) {
        return JobResult::Failed;  // half a file is no copy: the output stays as it was
    }
    if (!Unchanged(inputBefore, StampOf(input))) {
        window.ShowMessage(kMsgReadError);
        return JobResult::Failed;
    }
    if (!output.Commit()) {
        window.ShowMessage(kMsgWriteError);
        return JobResult::Failed;
    }
    return JobResult::Done;
}

JobResult RunFileJob(JobContext& context, JobState& state, const char* inputPath,
                     const char* outputPath, int playFlag) {
    state.playJob = playFlag;
    std::FILE* input = OpenInput(inputPath);
    if (input == nullptr) {
        context.window.ShowMessage(kMsgReadError);
        if (playFlag) {
            RefuseRestart(context.window.State());
        }
        return JobResult::Failed;
    }
    const JobResult result = playFlag ? RunPlaybackJob(context, input)
                                      : RunWriteJob(context, state, input, inputPath, outputPath);
    std::fclose(input);
    return result;
}

}  // namespace

JobResult ProcessWaveFile(JobContext& context, const char* inputPath, const char* outputPath,
                          int playFlag) {
    const JobGuard guard;
    if (!guard.Acquired()) {
        return JobResult::Busy;  // the running job keeps the job state to itself
    }
    return RunFileJob(context, g_job, inputPath, outputPath, playFlag);
}

JobResult WriteWaveFile(JobContext& context, const char* inputPath, const char* outputPath) {
    const auto state = std::make_unique<JobState>();
    return RunFileJob(context, *state, inputPath, outputPath, 0);
}

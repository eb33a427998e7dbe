#include "engine_input.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "flac_writer.h"
#include "safe_output.h"
#include "wave_probe.h"

namespace fs = std::filesystem;

namespace {

JobResult Refuse(JobContext& context, const EngineInput& input) {
    if (const char* refusal = input.Refusal()) {
        context.window.ShowMessage(refusal);
    }
    return JobResult::Refused;
}

// Encodes the engine's WAV into the FLAC output, which is replaced only on success.
JobResult EncodeFlacOutput(JobContext& context, const fs::path& rendered, SafeOutput& flac,
                           const ProgressFn& progress) {
    WindowLink& window = context.window;
    const ProgressFn untilStopped = [&](double done) {
        return window.State().m_bStopRequest == 0 && (!progress || progress(done));
    };
    switch (WriteFlac(rendered, flac.File(), untilStopped)) {
        case FlacStatus::Done:
            if (flac.Commit()) {
                return JobResult::Done;
            }
            break;
        case FlacStatus::Cancelled:
            return JobResult::Failed;
        case FlacStatus::ReadError:
            window.ShowMessage(kMsgReadError);
            return JobResult::Failed;
        case FlacStatus::WriteError:
            break;
    }
    window.ShowMessage(kMsgWriteError);
    return JobResult::Failed;
}

}  // namespace

InputStatus InputStatusOf(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::Done:
            return InputStatus::Ready;
        case DecodeStatus::NotStereo:
            return InputStatus::NotStereo;
        case DecodeStatus::NoSpace:
        case DecodeStatus::WriteError:
            return InputStatus::NoSpace;
        case DecodeStatus::Cancelled:
            return InputStatus::Cancelled;
        case DecodeStatus::NotAudio:
            break;
    }
    return InputStatus::NotAudio;
}

const char* RefusalOf(InputStatus status) {
    switch (status) {
        case InputStatus::NotAudio:
            return kMsgNotAudio;
        case InputStatus::NotStereo:
            return kMsgNotStereo;
        case InputStatus::NoSpace:
            return kMsgNoDecodeSpace;
        case InputStatus::Ready:
        case InputStatus::Cancelled:
            break;
    }
    return nullptr;
}

EngineInput PrepareEngineInput(const std::string& path, const ProgressFn& progress) {
    EngineInput input;
    input.m_enginePath = path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        input.m_status = InputStatus::NotAudio;
        return input;
    }
    // Missing files, FIFOs and devices are the engine's to refuse, without blocking.
    if (!fs::is_regular_file(status) || EngineTakesAsIs(path)) {
        return input;
    }
    const fs::path cache = CacheFolder();
    RemoveStaleCacheFiles(cache);
    input.m_status = InputStatusOf(DecodeToWave(path, cache, input.m_decoded, progress));
    if (input.m_status == InputStatus::Ready) {
        input.m_enginePath = input.m_decoded.Path().string();
    } else {
        input.m_decoded.Remove();
    }
    return input;
}

bool WantsFlac(const std::string& outputPath) {
    const std::string extension = fs::path(outputPath).extension().string();
    return extension.size() == 5 &&
           std::equal(extension.begin(), extension.end(), ".flac", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

JobResult WriteOutputFile(JobContext& context, const EngineInput& input,
                          const std::string& inputPath, const std::string& outputPath,
                          const ProgressFn& encodeProgress, WriteJobState jobState) {
    const auto writeWave = [&](const char* output) {
        return jobState == WriteJobState::Own
                   ? WriteWaveFile(context, input.EnginePath(), output)
                   : ProcessWaveFile(context, input.EnginePath(), output, 0);
    };
    if (input.Status() != InputStatus::Ready) {
        return Refuse(context, input);
    }
    WindowLink& window = context.window;
    // The engine compares the output with the file it reads, which may be a decoded copy.
    if (SameFile(inputPath, outputPath)) {
        window.ShowMessage(kMsgSameFile);
        return JobResult::Failed;
    }
    if (!WantsFlac(outputPath)) {
        return writeWave(outputPath.c_str());
    }
    SafeOutput flac;
    CacheFile rendered;
    const fs::path cache = CacheFolder();
    if (!flac.Create(ResolveOutputTarget(outputPath)) || !rendered.Create(cache, "render") ||
        !rendered.Close()) {
        window.ShowMessage(kMsgCreateError);
        return JobResult::Failed;
    }
    const JobResult result = writeWave(rendered.Path().c_str());
    if (result != JobResult::Done) {
        return result;
    }
    return EncodeFlacOutput(context, rendered.Path(), flac, encodeProgress);
}

JobResult PlayInputFile(JobContext& context, const EngineInput& input) {
    if (input.Status() != InputStatus::Ready) {
        WindowState& state = context.window.State();
        state.m_bStopRequest = 1;
        state.m_bNoRestart = 1;
        return Refuse(context, input);
    }
    return ProcessWaveFile(context, input.EnginePath(), nullptr, 1);
}

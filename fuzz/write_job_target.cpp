#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_io.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch_dir.h"
#include "fuzz/walk_model.h"
#include "jobs/job_runner.h"
#include "processing/processing.h"
#include "settings/job_messages.h"
#include "tests/test_support/recording_observer.h"

namespace fs = std::filesystem;

namespace {

std::vector<bool> DataMask(const WalkPrediction& prediction, std::size_t size) {
    std::vector<bool> mask(size, false);
    for (const auto& [begin, end] : prediction.dataRanges) {
        for (std::size_t i = begin; i < end; ++i) {
            mask[i] = true;
        }
    }
    return mask;
}

// The input with each run of sample data processed frame by frame from a fresh filter state,
// the reference the block path must match; a partial frame at a run's end stays as it is.
std::vector<std::uint8_t> Processed(const std::uint8_t* data, std::size_t size,
                                    const WalkPrediction& prediction,
                                    const ProcessingParameters& params) {
    std::vector<std::uint8_t> out(data, data + size);
    for (const auto& [begin, end] : prediction.dataRanges) {
        FrameState state;
        for (std::size_t i = begin; i + 4 <= end; i += 4) {
            const StereoSample o = ProcessFrame(state, params, FrameSample(out.data() + i));
            const auto left = static_cast<std::uint16_t>(o.left);
            const auto right = static_cast<std::uint16_t>(o.right);
            out[i] = static_cast<std::uint8_t>(left);
            out[i + 1] = static_cast<std::uint8_t>(left >> 8);
            out[i + 2] = static_cast<std::uint8_t>(right);
            out[i + 3] = static_cast<std::uint8_t>(right >> 8);
        }
    }
    return out;
}

bool IsOneOf(const std::string& text, std::initializer_list<JobError> errors) {
    for (const JobError error : errors) {
        if (text == MessageText({error})) {
            return true;
        }
    }
    return false;
}

// A file too short for a position step starts every write job with the loop warning.
bool OnlyLoopWarnings(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        if (!IsOneOf(message, {JobError::LoopAtStart})) {
            return false;
        }
    }
    return true;
}

// A damaged or cut-short input is written as far as it decodes, with a warning that says
// how far ("decoded 3 s of the 6 s it declares").
bool OnlyLoopOrDecodingWarnings(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        if (!IsOneOf(message, {JobError::LoopAtStart}) && message.rfind("decoded ", 0) != 0) {
            return false;
        }
    }
    return true;
}

void CheckRefusal(JobResult result, const RecordingObserver& observer, const fs::path& folder,
                  std::initializer_list<JobError> reasons) {
    FUZZ_CHECK(result == JobResult::Refused);
    const std::vector<std::string> messages = observer.Messages();
    FUZZ_CHECK(!messages.empty() && IsOneOf(messages.back(), reasons));
    FUZZ_CHECK(FolderEntries(folder) == std::vector<std::string>{"in.wav"});
}

// A file the engine reads as it is comes out with its length and every byte outside the
// sample data as they were; the sample data as the frame-by-frame processing gives it.
void CheckAsIs(const std::uint8_t* data, std::size_t size, const ProcessingParameters& params,
               JobResult result, const RecordingObserver& observer, const fs::path& folder,
               const fs::path& output) {
    // A fresh job has no format from a job before.
    const WalkPrediction prediction = PredictWriteJob(data, size, 0, 0);
    if (prediction.refused) {
        CheckRefusal(result, observer, folder, {JobError::NotStereo, JobError::Not16Bit});
        return;
    }
    FUZZ_CHECK(result == JobResult::Done);
    FUZZ_CHECK(OnlyLoopWarnings(observer.Messages()));
    FUZZ_CHECK((FolderEntries(folder) == std::vector<std::string>{"in.wav", "out.wav"}));
    const std::vector<std::uint8_t> written = ReadWhole(output);
    FUZZ_CHECK(written.size() == size);
    const std::vector<bool> mask = DataMask(prediction, size);
    for (std::size_t i = 0; i < size; ++i) {
        if (written[i] != data[i] && !mask[i]) {
            std::fprintf(stderr, "byte %zu changed outside the sample data\n", i);
            FUZZ_CHECK(written[i] == data[i]);
        }
    }
    FUZZ_CHECK(written == Processed(data, size, prediction, params));
}

// Anything else is decoded on the way: a whole 16-bit stereo WAV, or a refusal.
void CheckDecoded(JobResult result, const RecordingObserver& observer, const fs::path& folder,
                  const fs::path& output) {
    if (result == JobResult::Refused) {
        // A stream may declare more than a WAV output can hold.
        CheckRefusal(result, observer, folder,
                     {JobError::NotAudio, JobError::NotStereo, JobError::NoDecodeSpace,
                      JobError::TooLongForWav});
        return;
    }
    FUZZ_CHECK(result == JobResult::Done);
    FUZZ_CHECK(OnlyLoopOrDecodingWarnings(observer.Messages()));
    FUZZ_CHECK((FolderEntries(folder) == std::vector<std::string>{"in.wav", "out.wav"}));
    CheckDecodedWave(output);
}

}  // namespace

int FuzzWriteJob(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = ScratchSubfolder("write");
    const fs::path input = folder / "in.wav";
    const fs::path output = folder / "out.wav";
    std::error_code ec;
    fs::remove(output, ec);
    WriteWhole(input, data, size);

    // The input's length picks the mode and whether the data passes through the reading and
    // writing threads, so that every input runs one way only and a finding reproduces.
    ProcessingParameters params;
    params.mode = static_cast<PlayMode>(size % 7);
    WriteRequest request;
    request.input = input;
    request.output = output;
    request.params = &params;
    request.ioThreads = (size / 7) % 2 == 1;
    RecordingObserver observer;
    const JobResult result = JobRunner().Write(request, observer);

    if (PredictEngineReads(data, size)) {
        CheckAsIs(data, size, params, result, observer, folder, output);
    } else {
        CheckDecoded(result, observer, folder, output);
    }
    return 0;
}

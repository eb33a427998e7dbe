#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_window.h"
#include "fuzz_check.h"
#include "fuzz_targets.h"
#include "job_state.h"
#include "scratch_dir.h"
#include "walk_model.h"
#include "wave_job.h"

namespace fs = std::filesystem;

namespace {

void WriteWhole(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

std::vector<std::uint8_t> ReadWhole(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    std::uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(f);
    return bytes;
}

std::vector<bool> DataMask(const WalkPrediction& prediction, std::size_t size) {
    std::vector<bool> mask(size, false);
    for (const auto& [begin, end] : prediction.dataRanges) {
        for (std::size_t i = begin; i < end; ++i) {
            mask[i] = true;
        }
    }
    return mask;
}

// A file too short for a position step starts every write job with the loop warning.
bool OnlyLoopWarnings(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        if (message != kMsgError86) {
            return false;
        }
    }
    return true;
}

}  // namespace

int FuzzWriteJob(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = ScratchSubfolder("write");
    const fs::path input = folder / "in.wav";
    const fs::path output = folder / "out.wav";
    std::error_code ec;
    fs::remove(output, ec);
    WriteWhole(input, data, size);

    // The format is kept between jobs; start every input from the same state.
    g_job.Reset();
    const WalkPrediction prediction = PredictWriteJob(data, size, 0, 0);

    FakeWindow window;
    JobContext context{window};
    const JobResult result = ProcessWaveFile(context, input.c_str(), output.c_str(), 0);

    if (prediction.refused) {
        FUZZ_CHECK(result == JobResult::Refused);
        const std::vector<std::string> messages = window.Messages();
        FUZZ_CHECK(!messages.empty());
        FUZZ_CHECK(messages.back() == kMsgNotStereo || messages.back() == kMsgNot16Bit);
        FUZZ_CHECK(FolderEntries(folder) == std::vector<std::string>{"in.wav"});
        return 0;
    }
    FUZZ_CHECK(result == JobResult::Done);
    FUZZ_CHECK(OnlyLoopWarnings(window.Messages()));
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
    return 0;
}

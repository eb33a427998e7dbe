#include <atomic>
#include <cstdio>
#include <filesystem>

#include "fake_window.h"
#include "fuzz_check.h"
#include "fuzz_targets.h"
#include "job_state.h"
#include "scratch_dir.h"
#include "test_audio_backend.h"
#include "wave_job.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kStopAfterBlocks = 4;

// The trailing bytes of an input, read as what the user did with the trackbars.
struct UserActions {
    int loopStart = 0;
    int loopEnd = 100;
    int playPos = 0;
    bool seekAfterFirstBlock = false;
};

UserActions ActionsFrom(const std::uint8_t* data, std::size_t size) {
    UserActions actions;
    if (size >= 4) {
        const std::uint8_t* tail = data + size - 4;
        // Anything the 0..100 trackbars can hold, loop start after loop end included.
        actions.loopStart = tail[0] % 101;
        actions.loopEnd = tail[1] % 101;
        actions.playPos = tail[2] % 101;
        actions.seekAfterFirstBlock = (tail[3] & 1) != 0;
    }
    return actions;
}

}  // namespace

int FuzzPlayJob(const std::uint8_t* data, std::size_t size) {
    static const fs::path input = ScratchSubfolder("play") / "in.wav";
    {
        std::FILE* f = std::fopen(input.c_str(), "wb");
        FUZZ_CHECK(f != nullptr);
        FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
        FUZZ_CHECK(std::fclose(f) == 0);
    }
    g_job.Reset();

    const UserActions actions = ActionsFrom(data, size);
    FakeWindow window;
    WindowState& state = window.State();
    state.m_nLoopStart = actions.loopStart;
    state.m_nLoopEnd = actions.loopEnd;
    state.m_nPlayPos = actions.playPos;

    TestAudioBackend backend;
    backend.onWrite = [&](std::size_t blockIndex) {
        if (blockIndex == 0 && actions.seekAfterFirstBlock) {
            state.m_bSeekRequest = 1;
        }
        if (blockIndex + 1 >= kStopAfterBlocks) {
            state.m_bStopRequest = 1;
        }
    };
    JobContext context{window, &backend};
    const JobResult result = ProcessWaveFile(context, input.c_str(), nullptr, 1);

    FUZZ_CHECK(result != JobResult::Failed);
    FUZZ_CHECK(backend.Opens() == backend.Closes());
    FUZZ_CHECK(backend.MaxInFlight() <= 2);
    const std::vector<std::size_t> blocks = backend.BlockSizes();
    FUZZ_CHECK(blocks.size() <= kStopAfterBlocks);
    FUZZ_CHECK(backend.Completions() == blocks.size());
    for (const std::size_t bytes : blocks) {
        FUZZ_CHECK(bytes > 0 && bytes <= kBlockBytes);
    }
    if (result == JobResult::Refused) {
        FUZZ_CHECK(state.m_bNoRestart && state.m_bStopRequest);
    }
    return 0;
}

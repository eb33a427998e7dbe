#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_input.h"
#include "fuzz_check.h"
#include "fuzz_targets.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A decoded copy must be a whole 16-bit stereo PCM WAV whose sizes add up.
void CheckDecodedWave(const fs::path& path) {
    std::vector<unsigned char> head(64 * 1024);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(file != nullptr);
    const std::size_t got = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
    const std::uintmax_t size = fs::file_size(path);
    FUZZ_CHECK(got >= 44);
    FUZZ_CHECK(std::memcmp(head.data(), "RIFF", 4) == 0 && Le32(&head[4]) + 8 == size);
    FUZZ_CHECK(std::memcmp(&head[8], "WAVEfmt ", 8) == 0 && Le32(&head[16]) == 16);
    const unsigned char pcmStereo16[] = {1, 0, 2, 0};
    FUZZ_CHECK(std::memcmp(&head[20], pcmStereo16, 4) == 0 && head[34] == 16);
    std::size_t at = 36;
    if (std::memcmp(&head[at], "LIST", 4) == 0) {
        at += 8 + Le32(&head[at + 4]);
    }
    FUZZ_CHECK(at + 8 <= got && std::memcmp(&head[at], "data", 4) == 0);
    const std::uint32_t data = Le32(&head[at + 4]);
    FUZZ_CHECK(data > 0 && data % 4 == 0 && at + 8 + data == size);
}

}  // namespace

int FuzzDecode(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = ScratchSubfolder("decode");
    static const fs::path cache = [] {
        const fs::path path = ScratchSubfolder("decode-cache");
        setenv("XDG_CACHE_HOME", path.c_str(), 1);
        return path / "zerbex2";
    }();
    const fs::path input = folder / "in";
    std::FILE* f = std::fopen(input.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
    {
        const EngineInput prepared = PrepareEngineInput(input.string());
        FUZZ_CHECK(prepared.Status() != InputStatus::Cancelled);
        if (prepared.Decoded()) {
            FUZZ_CHECK(prepared.Status() == InputStatus::Ready);
            CheckDecodedWave(prepared.EnginePath());
        } else {
            FUZZ_CHECK(input == prepared.EnginePath());
        }
    }
    // Nothing decoded outlives its input.
    FUZZ_CHECK(!fs::exists(cache) || fs::is_empty(cache));
    return 0;
}

#include "fuzz/fuzz_io.h"

#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_check.h"

namespace fs = std::filesystem;

namespace {

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

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
    FUZZ_CHECK(std::ferror(f) == 0);
    std::fclose(f);
    return bytes;
}

void CheckDecodedWave(const fs::path& path) {
    const std::vector<std::uint8_t> file = ReadWhole(path);
    const std::size_t size = file.size();
    FUZZ_CHECK(size >= 44);
    const unsigned char* head = file.data();
    FUZZ_CHECK(std::memcmp(head, "RIFF", 4) == 0 && Le32(head + 4) + 8ull == size);
    FUZZ_CHECK(std::memcmp(head + 8, "WAVEfmt ", 8) == 0 && Le32(head + 16) == 16);
    const unsigned char pcmStereo16[] = {1, 0, 2, 0};
    FUZZ_CHECK(std::memcmp(head + 20, pcmStereo16, 4) == 0 && head[34] == 16 && head[35] == 0);
    std::size_t at = 36;
    if (at + 8 <= size && std::memcmp(head + at, "LIST", 4) == 0) {
        const std::uint32_t list = Le32(head + at + 4);
        at += 8 + list + (list & 1u);
    }
    FUZZ_CHECK(at + 8 <= size && std::memcmp(head + at, "data", 4) == 0);
    const std::uint32_t data = Le32(head + at + 4);
    // A stream that decodes to no frame gives an empty copy, as an empty WAV plays and writes.
    FUZZ_CHECK(data % 4 == 0 && at + 8 + data == size);
}

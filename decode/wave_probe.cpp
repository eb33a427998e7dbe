#include "wave_probe.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::size_t kExtensibleBytes = 40;  // with the sub-format GUID

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(Le16(p)) | (static_cast<std::uint32_t>(Le16(p + 2)) << 16);
}

bool IsStereo16BitPcm(const unsigned char* fmt, std::size_t size) {
    const std::uint16_t tag = Le16(fmt);
    // The extensible sub-format GUID begins with the plain format tag.
    const bool pcm = tag == kTagPcm || (tag == kTagExtensible && size >= kExtensibleBytes &&
                                        Le16(fmt + 24) == kTagPcm);
    return pcm && Le16(fmt + 2) == 2 && Le16(fmt + 14) == 16;
}

bool FirstFormatIsEngines(std::FILE* file) {
    unsigned char header[8];
    while (std::fread(header, 1, sizeof header, file) == sizeof header) {
        const std::uint32_t size = Le32(header + 4);
        const bool fmt = std::memcmp(header, "fmt ", 4) == 0;
        if (std::memcmp(header, "data", 4) == 0 || (fmt && size < 16)) {
            return true;  // sample data before any format: the engine's rules decide
        }
        if (fmt) {
            unsigned char body[kExtensibleBytes] = {};
            const std::size_t want = size < sizeof body ? size : sizeof body;
            return std::fread(body, 1, want, file) < 16 || IsStereo16BitPcm(body, want);
        }
        const off_t skip = static_cast<off_t>(size) + (size & 1u);
        if (fseeko(file, skip, SEEK_CUR) != 0) {
            return true;
        }
    }
    return true;
}

}  // namespace

bool EngineTakesAsIs(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return true;  // the engine reports what cannot be read
    }
    unsigned char riff[12];
    const bool wave = std::fread(riff, 1, sizeof riff, file) == sizeof riff &&
                      std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(riff + 8, "WAVE", 4) == 0;
    const bool engines = wave && FirstFormatIsEngines(file);
    std::fclose(file);
    return engines;
}

WaveLength ProbeWaveLength(const std::filesystem::path& path) {
    std::error_code ec;
    const std::uintmax_t fileSize = std::filesystem::file_size(path, ec);
    std::FILE* file = ec ? nullptr : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return {};
    }
    WaveLength length;
    unsigned char riff[12];
    bool wave = std::fread(riff, 1, sizeof riff, file) == sizeof riff &&
                std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(riff + 8, "WAVE", 4) == 0;
    unsigned char header[8];
    while (wave && std::fread(header, 1, sizeof header, file) == sizeof header) {
        const std::uint32_t size = Le32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            const off_t here = ftello(file);
            const std::uint64_t left = here < 0 ? 0 : fileSize - static_cast<std::uint64_t>(here);
            length.dataBytes = size < left ? size : left;
            break;
        }
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
            unsigned char body[16];
            wave = std::fread(body, 1, sizeof body, file) == sizeof body;
            length.byteRate = Le32(body + 8);
            const off_t rest = static_cast<off_t>(size - 16) + (size & 1u);
            wave = wave && fseeko(file, rest, SEEK_CUR) == 0;
            continue;
        }
        wave = fseeko(file, static_cast<off_t>(size) + (size & 1u), SEEK_CUR) == 0;
    }
    std::fclose(file);
    return length.Known() ? length : WaveLength{};
}

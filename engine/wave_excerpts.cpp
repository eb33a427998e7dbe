#include "wave_excerpts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "wave_job.h"

namespace {

constexpr int kMaxDepth = 64;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct Located {
    bool formatSeen = false;
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    bool dataSeen = false;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;
};

bool SeekTo(std::FILE* file, std::uint64_t position) {
    return std::fseek(file, static_cast<long>(position), SEEK_SET) == 0;
}

// Walks the chunks between begin and end until the "data" chunk is found.
bool Walk(std::FILE* file, std::uint64_t begin, std::uint64_t end, int depth, Located& found) {
    std::uint64_t at = begin;
    while (at + 8 <= end && !found.dataSeen) {
        unsigned char header[8];
        if (!SeekTo(file, at) || std::fread(header, 1, 8, file) != 8) {
            return false;
        }
        const std::uint64_t size = Le32(header + 4);
        const std::uint64_t body = at + 8;
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
            unsigned char format[16];
            if (std::fread(format, 1, 16, file) != 16) {
                return false;
            }
            found.formatSeen = true;
            found.channels = Le16(format + 2);
            found.bits = Le16(format + 14);
        } else if (std::memcmp(header, "data", 4) == 0) {
            found.dataSeen = true;
            found.dataOffset = body;
            found.dataBytes = std::min(size, end > body ? end - body : 0);
        } else if (std::memcmp(header, "LIST", 4) == 0 && size >= 4 && depth < kMaxDepth) {
            if (!Walk(file, body + 4, std::min(end, body + size), depth + 1, found)) {
                return false;
            }
        }
        at = body + size + (size & 1u);
    }
    return true;
}

}  // namespace

WaveExcerpts ReadWaveExcerpts(const char* path, const ExcerptStartsFor& startsFor,
                              std::size_t excerptFrames) {
    WaveExcerpts result;
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return result;
    }
    File file(std::fopen(path, "rb"));
    unsigned char riff[12];
    if (!file || std::fread(riff, 1, 12, file.get()) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return result;
    }
    const auto fileBytes = static_cast<std::uint64_t>(info.st_size);
    Located found;
    if (!Walk(file.get(), 12, fileBytes, 0, found) || !found.formatSeen || !found.dataSeen) {
        return result;
    }
    if (found.channels != 2) {
        result.status = ExcerptStatus::NotStereo;
        return result;
    }
    if (found.bits != 16) {
        result.status = ExcerptStatus::Not16Bit;
        return result;
    }
    const std::uint64_t totalFrames = found.dataBytes / 4;
    for (const std::uint64_t start : startsFor(totalFrames)) {
        if (start >= totalFrames) {
            continue;
        }
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(excerptFrames, totalFrames - start));
        std::vector<unsigned char> bytes(4 * count);
        if (!SeekTo(file.get(), found.dataOffset + 4 * start) ||
            std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
            return result;
        }
        std::vector<std::int16_t> frames(2 * count);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            frames[i] = static_cast<std::int16_t>(Le16(bytes.data() + 2 * i));
        }
        result.frames.push_back(std::move(frames));
    }
    result.status = ExcerptStatus::Ok;
    return result;
}

const char* ExcerptMessage(ExcerptStatus status) {
    switch (status) {
        case ExcerptStatus::NotStereo:
            return kMsgNotStereo;
        case ExcerptStatus::Not16Bit:
            return kMsgNot16Bit;
        default:
            return kMsgReadError;
    }
}

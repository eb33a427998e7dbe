#include "container/wave_layout.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "container/riff.h"

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::size_t kExtensibleBytes = 40;  // with the sub-format GUID

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadAt(std::FILE* file, std::uint64_t offset, unsigned char* buffer, std::size_t n) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(buffer, 1, n, file) == n;
}

bool IsStereo16BitPcm(const unsigned char* fmt, std::size_t size) {
    const std::uint16_t tag = Le16(fmt);
    // The extensible sub-format GUID begins with the plain format tag.
    const bool pcm = tag == kTagPcm || (tag == kTagExtensible && size >= kExtensibleBytes &&
                                        Le16(fmt + 24) == kTagPcm);
    return pcm && Le16(fmt + 2) == 2 && Le16(fmt + 14) == 16;
}

class Locate {
  public:
    Locate(std::FILE* file, std::uint64_t fileBytes, WaveLayout& layout)
        : m_file(file), m_fileBytes(fileBytes), m_layout(layout) {}

    // Walks a run from offset until the first "data" chunk is found and the top level has
    // decided how the file is read.
    void Walk(ChunkRun run, std::uint64_t offset) {
        while (!run.Ended() && !Finished()) {
            unsigned char header[kChunkHeaderBytes];
            if (!ReadAt(m_file, offset, header, sizeof header)) {
                return;
            }
            const RiffChunk chunk = run.Next(header);
            const std::uint64_t body = offset + kChunkHeaderBytes;
            if (run.Depth() == 0) {
                Decide(chunk, body);
            }
            Note(chunk, body, run);
            offset = body + chunk.rounded;
        }
    }

  private:
    bool Finished() const { return m_decided && m_layout.dataFound; }

    // The first top-level "fmt " or "data" chunk tells whether the engine reads the file.
    void Decide(const RiffChunk& chunk, std::uint64_t body) {
        const bool fmt = IdIs(chunk.id, "fmt ");
        if (m_decided || (!fmt && !IdIs(chunk.id, "data"))) {
            return;
        }
        m_decided = true;
        if (!fmt || chunk.size < kWaveFormatBytes) {
            return;  // sample data before any format: the engine's rules decide
        }
        unsigned char fmtBody[kExtensibleBytes] = {};
        const std::size_t want = std::min<std::size_t>(chunk.size, sizeof fmtBody);
        m_layout.engineReads =
            !ReadAt(m_file, body, fmtBody, want) || IsStereo16BitPcm(fmtBody, want);
    }

    void Note(const RiffChunk& chunk, std::uint64_t body, const ChunkRun& run) {
        unsigned char bytes[kWaveFormatBytes];
        if (chunk.kind == ChunkKind::Format && !m_layout.dataFound &&
            ReadAt(m_file, body, bytes, sizeof bytes)) {
            m_layout.formatFound = true;
            m_layout.format = ParseWaveFormat(bytes);
        } else if (chunk.kind == ChunkKind::Data && !m_layout.dataFound) {
            m_layout.dataFound = true;
            m_layout.dataOffset = body;
            m_layout.declaredDataBytes = chunk.size;
            m_layout.dataBytes =
                std::min<std::uint64_t>(chunk.size, m_fileBytes > body ? m_fileBytes - body : 0);
        } else if (chunk.kind == ChunkKind::List) {
            Walk(run.Inside(chunk), body + 4);
        }
    }

    std::FILE* m_file;
    std::uint64_t m_fileBytes;
    WaveLayout& m_layout;
    bool m_decided = false;
};

}  // namespace

WaveLayout LocateWave(const std::filesystem::path& path) {
    WaveLayout layout;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return layout;
    }
    const File file(std::fopen(path.c_str(), "rb"));
    unsigned char riff[kRiffHeaderBytes];
    if (!file || !ReadAt(file.get(), 0, riff, sizeof riff) || !IsRiffWave(riff, sizeof riff)) {
        return layout;
    }
    layout.riffWave = true;
    Locate(file.get(), static_cast<std::uint64_t>(info.st_size), layout)
        .Walk(ChunkRun::Form(Le32(riff + 4)), kRiffHeaderBytes);
    return layout;
}

bool EngineReadsAsIs(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return true;
    }
    const WaveLayout layout = LocateWave(path);
    return layout.riffWave && layout.engineReads;
}

WaveLength ProbeWaveLength(const std::filesystem::path& path) {
    // Without a format or data chunk, the byte rate or the length stays zero.
    const WaveLayout layout = LocateWave(path);
    const WaveLength length{layout.dataBytes, layout.format.byteRate};
    return length.Known() ? length : WaveLength{};
}

WaveExcerpts ReadWaveExcerpts(const std::filesystem::path& path, const ExcerptStarts& startsFor,
                              std::size_t excerptFrames) {
    WaveExcerpts result;
    const WaveLayout layout = LocateWave(path);
    if (!layout.formatFound || !layout.dataFound) {
        return result;
    }
    if (layout.format.channels != 2) {
        return {ExcerptStatus::NotStereo, {}};
    }
    if (layout.format.bitsPerSample != 16) {
        return {ExcerptStatus::Not16Bit, {}};
    }
    const File file(std::fopen(path.c_str(), "rb"));
    const std::uint64_t totalFrames = layout.dataBytes / 4;
    std::vector<unsigned char> bytes;
    for (const std::uint64_t start : startsFor(totalFrames)) {
        if (start >= totalFrames) {
            continue;
        }
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(excerptFrames, totalFrames - start));
        bytes.resize(4 * count);
        if (!file ||
            !ReadAt(file.get(), layout.dataOffset + 4 * start, bytes.data(), bytes.size())) {
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

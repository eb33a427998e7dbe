#include "decode_to_wave.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kReserveBytes = 64u << 20;  // left free for everything else
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - (1u << 20);  // RIFF sizes are 32-bit
constexpr std::size_t kFrameBytes = 4;
constexpr std::size_t kWriteBufferBytes = 1 << 20;

void AppendLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void AppendLe16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void AppendChunk(std::string& out, const char* id, const std::string& body) {
    out.append(id, 4);
    AppendLe32(out, static_cast<std::uint32_t>(body.size()));
    out += body;
    if (body.size() % 2 != 0) {
        out.push_back('\0');
    }
}

std::string InfoList(const AudioTags& tags) {
    std::string info = "INFO";
    for (const auto& [name, value] : tags) {
        for (const TagKey& key : kTagKeys) {
            if (name == key.name) {
                AppendChunk(info, key.infoId, value + '\0');
            }
        }
    }
    std::string list;
    AppendChunk(list, "LIST", info);
    return list;
}

// Everything before the sample data; the data size is patched once it is known.
std::string WaveHeader(int rate, const AudioTags& tags) {
    std::string fmt;
    AppendLe16(fmt, 1);
    AppendLe16(fmt, 2);
    AppendLe32(fmt, static_cast<std::uint32_t>(rate));
    AppendLe32(fmt, static_cast<std::uint32_t>(rate) * kFrameBytes);
    AppendLe16(fmt, kFrameBytes);
    AppendLe16(fmt, 16);
    std::string header = "RIFF";
    AppendLe32(header, 0);
    header += "WAVE";
    AppendChunk(header, "fmt ", fmt);
    if (!tags.empty()) {
        header += InfoList(tags);
    }
    header += "data";
    AppendLe32(header, 0);
    return header;
}

DecodeStatus FromOpen(AudioReader::Status status) {
    return status == AudioReader::Status::NotStereo ? DecodeStatus::NotStereo
                                                    : DecodeStatus::NotAudio;
}

}  // namespace

std::uint64_t DecodeBudget(const std::filesystem::path& folder) {
    const std::uint64_t free = FreeBytes(folder);
    const std::uint64_t budget = free > kReserveBytes ? free - kReserveBytes : 0;
    return budget < kMaxDataBytes ? budget : kMaxDataBytes;
}

std::uint64_t UnboundedDecodeBudget() {
    return kMaxDataBytes;
}

DecodeStatus WaveDecoder::Open(const std::filesystem::path& input) {
    const AudioReader::Status opened = m_reader.Open(input);
    return opened == AudioReader::Status::Ok ? DecodeStatus::Done : FromOpen(opened);
}

DecodeStatus WaveDecoder::Budget(std::uint64_t bytes) {
    m_budget = bytes;
    const double declared = m_reader.DeclaredSeconds() * m_reader.SampleRate() * kFrameBytes;
    return declared > static_cast<double>(bytes) ? DecodeStatus::NoSpace : DecodeStatus::Done;
}

DecodeStatus WaveDecoder::Write(std::FILE* out, const FramesSink& sink,
                                const ProgressFn& progress) {
    m_header = WaveHeader(m_reader.SampleRate(), m_reader.Tags());
    if (std::fwrite(m_header.data(), 1, m_header.size(), out) != m_header.size()) {
        return DecodeStatus::WriteError;
    }
    m_dataBytes = 0;
    std::vector<std::int16_t> frames;
    for (;;) {
        const AudioReader::Next next = m_reader.Read(frames);
        if (next == AudioReader::Next::End) {
            break;
        }
        if (next == AudioReader::Next::NotStereo) {
            return DecodeStatus::NotStereo;
        }
        if (next == AudioReader::Next::Failed) {
            return DecodeStatus::NotAudio;
        }
        m_dataBytes += frames.size() * sizeof(std::int16_t);
        if (m_dataBytes > m_budget) {
            return DecodeStatus::NoSpace;
        }
        if (!sink(frames)) {
            return DecodeStatus::WriteError;
        }
        if (progress && !progress(m_reader.Progress())) {
            return DecodeStatus::Cancelled;
        }
    }
    // Nothing in it could be decoded.
    return m_dataBytes == 0 ? DecodeStatus::NotAudio : DecodeStatus::Done;
}

bool WaveDecoder::PatchSizes(std::FILE* out) const {
    std::string riffSize;
    AppendLe32(riffSize, static_cast<std::uint32_t>(m_header.size() - 8 + m_dataBytes));
    std::string dataSize;
    AppendLe32(dataSize, static_cast<std::uint32_t>(m_dataBytes));
    return std::fseek(out, 4, SEEK_SET) == 0 && std::fwrite(riffSize.data(), 1, 4, out) == 4 &&
           std::fseek(out, static_cast<long>(m_header.size() - 4), SEEK_SET) == 0 &&
           std::fwrite(dataSize.data(), 1, 4, out) == 4;
}

DecodeStatus DecodeToWave(const std::filesystem::path& input,
                          const std::filesystem::path& cacheFolder, CacheFile& decoded,
                          const ProgressFn& progress) {
    WaveDecoder decoder;
    if (const DecodeStatus opened = decoder.Open(input); opened != DecodeStatus::Done) {
        return opened;
    }
    if (decoder.Budget(DecodeBudget(cacheFolder)) != DecodeStatus::Done) {
        return DecodeStatus::NoSpace;
    }
    if (!decoded.Create(cacheFolder, "decoded")) {
        return DecodeStatus::WriteError;
    }
    std::FILE* out = decoded.File();
    std::setvbuf(out, nullptr, _IOFBF, kWriteBufferBytes);
    const DecodeStatus status = decoder.Write(
        out,
        [out](std::vector<std::int16_t>& frames) {
            const std::size_t bytes = frames.size() * sizeof(std::int16_t);
            return std::fwrite(frames.data(), 1, bytes, out) == bytes;
        },
        progress);
    if (status != DecodeStatus::Done) {
        return status;
    }
    if (!decoder.PatchSizes(out) || !decoded.Close()) {
        return DecodeStatus::WriteError;
    }
    return DecodeStatus::Done;
}

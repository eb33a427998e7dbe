#include "decode_to_wave.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio_reader.h"

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

bool PatchSizes(std::FILE* file, std::size_t headerBytes, std::uint64_t dataBytes) {
    std::string riffSize;
    AppendLe32(riffSize, static_cast<std::uint32_t>(headerBytes - 8 + dataBytes));
    std::string dataSize;
    AppendLe32(dataSize, static_cast<std::uint32_t>(dataBytes));
    return std::fseek(file, 4, SEEK_SET) == 0 && std::fwrite(riffSize.data(), 1, 4, file) == 4 &&
           std::fseek(file, static_cast<long>(headerBytes - 4), SEEK_SET) == 0 &&
           std::fwrite(dataSize.data(), 1, 4, file) == 4;
}

DecodeStatus FromOpen(AudioReader::Status status) {
    return status == AudioReader::Status::NotStereo ? DecodeStatus::NotStereo
                                                    : DecodeStatus::NotAudio;
}

}  // namespace

DecodeStatus DecodeToWave(const std::filesystem::path& input,
                          const std::filesystem::path& cacheFolder, CacheFile& decoded,
                          const ProgressFn& progress) {
    AudioReader reader;
    if (const AudioReader::Status opened = reader.Open(input); opened != AudioReader::Status::Ok) {
        return FromOpen(opened);
    }
    const std::uint64_t free = FreeBytes(cacheFolder);
    std::uint64_t budget = free > kReserveBytes ? free - kReserveBytes : 0;
    budget = budget < kMaxDataBytes ? budget : kMaxDataBytes;
    const double declared = reader.DeclaredSeconds() * reader.SampleRate() * kFrameBytes;
    if (declared > static_cast<double>(budget)) {
        return DecodeStatus::NoSpace;
    }
    if (!decoded.Create(cacheFolder, "decoded")) {
        return DecodeStatus::WriteError;
    }
    std::FILE* out = decoded.File();
    std::setvbuf(out, nullptr, _IOFBF, kWriteBufferBytes);
    const std::string header = WaveHeader(reader.SampleRate(), reader.Tags());
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
        return DecodeStatus::WriteError;
    }
    std::uint64_t dataBytes = 0;
    std::vector<std::int16_t> frames;
    for (;;) {
        const AudioReader::Next next = reader.Read(frames);
        if (next == AudioReader::Next::End) {
            break;
        }
        if (next == AudioReader::Next::NotStereo) {
            return DecodeStatus::NotStereo;
        }
        if (next == AudioReader::Next::Failed) {
            return DecodeStatus::NotAudio;
        }
        const std::size_t bytes = frames.size() * sizeof(std::int16_t);
        dataBytes += bytes;
        if (dataBytes > budget) {
            return DecodeStatus::NoSpace;
        }
        if (std::fwrite(frames.data(), 1, bytes, out) != bytes) {
            return DecodeStatus::WriteError;
        }
        if (progress && !progress(reader.Progress())) {
            return DecodeStatus::Cancelled;
        }
    }
    if (dataBytes == 0) {
        return DecodeStatus::NotAudio;  // nothing in it could be decoded
    }
    if (!PatchSizes(out, header.size(), dataBytes) || !decoded.Close()) {
        return DecodeStatus::WriteError;
    }
    return DecodeStatus::Done;
}

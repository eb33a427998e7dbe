#include "container/wave_header.h"

#include "container/riff.h"

namespace {

constexpr std::uint16_t kFrameBytes = 4;

void AppendChunk(std::string& out, const char* id, const std::string& body) {
    out.append(id, 4);
    PutLe32(out, static_cast<std::uint32_t>(body.size()));
    out += body;
    if (body.size() % 2 != 0) {
        out.push_back('\0');
    }
}

std::string InfoList(const Tags& tags) {
    std::string info = "INFO";
    for (const auto& [name, value] : tags) {
        for (const InfoKey& key : kInfoKeys) {
            if (name == key.tag) {
                AppendChunk(info, key.id, value + '\0');
            }
        }
    }
    std::string list;
    AppendChunk(list, "LIST", info);
    return list;
}

}  // namespace

std::string WaveHeader(int rate, const Tags& tags) {
    std::string fmt;
    PutLe16(fmt, 1);
    PutLe16(fmt, 2);
    PutLe32(fmt, static_cast<std::uint32_t>(rate));
    PutLe32(fmt, static_cast<std::uint32_t>(rate) * kFrameBytes);
    PutLe16(fmt, kFrameBytes);
    PutLe16(fmt, 16);
    std::string header = "RIFF";
    PutLe32(header, 0);
    header += "WAVE";
    AppendChunk(header, "fmt ", fmt);
    if (!tags.empty()) {
        header += InfoList(tags);
    }
    header += "data";
    PutLe32(header, 0);
    return header;
}

std::string WithSizes(std::string header, std::uint64_t dataBytes) {
    std::string sizes;
    PutLe32(sizes, static_cast<std::uint32_t>(header.size() - kChunkHeaderBytes + dataBytes));
    PutLe32(sizes, static_cast<std::uint32_t>(dataBytes));
    header.replace(4, 4, sizes, 0, 4);
    header.replace(header.size() - 4, 4, sizes, 4, 4);
    return header;
}

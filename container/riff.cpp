#include "container/riff.h"

void PutLe16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void PutLe32(std::string& out, std::uint32_t v) {
    PutLe16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    PutLe16(out, static_cast<std::uint16_t>(v >> 16));
}

bool IsRiffWave(const unsigned char* header, std::size_t bytes) {
    return bytes >= kRiffHeaderBytes && IdIs(header, "RIFF") && IdIs(header + 8, "WAVE");
}

RiffChunk ChunkRun::Next(const unsigned char* header) {
    RiffChunk chunk{};
    std::memcpy(chunk.id, header, 4);
    chunk.size = Le32(header + 4);
    chunk.rounded = static_cast<std::uint64_t>(chunk.size) + (chunk.size & 1u);
    m_remaining = Wrap(static_cast<std::uint32_t>(m_remaining), chunk.rounded + kChunkHeaderBytes);
    const bool list = IdIs(chunk.id, "LIST") && chunk.rounded >= 4 && m_depth < kMaxListDepth;
    chunk.kind = IdIs(chunk.id, "fmt ") && chunk.rounded >= 16 ? ChunkKind::Format
                 : IdIs(chunk.id, "data")                      ? ChunkKind::Data
                 : list                                        ? ChunkKind::List
                                                               : ChunkKind::Other;
    return chunk;
}

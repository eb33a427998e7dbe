#pragma once

// The RIFF container's rules in one place: little-endian numbers, chunk headers, and how a
// run of chunks is walked (pad bytes, "LIST" chunks too short to hold a type, nesting
// depth, size fields that do not add up).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

inline std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(Le16(p)) | (static_cast<std::uint32_t>(Le16(p + 2)) << 16);
}

void PutLe16(std::string& out, std::uint16_t v);
void PutLe32(std::string& out, std::uint32_t v);

inline bool IdIs(const unsigned char* id, const char (&name)[5]) {
    return std::memcmp(id, name, 4) == 0;
}

inline constexpr std::size_t kRiffHeaderBytes = 12;  // "RIFF", size, form type
inline constexpr std::size_t kChunkHeaderBytes = 8;  // id, size
inline constexpr int kMaxListDepth = 64;             // deeper "LIST" chunks are copied as they are

bool IsRiffWave(const unsigned char* header, std::size_t bytes);

enum class ChunkKind {
    Format,  // "fmt " with room for the 16-byte format record
    Data,    // "data"
    List,    // "LIST" with room for its type, not nested too deep
    Other,   // copied or skipped as it is
};

struct RiffChunk {
    unsigned char id[4];
    std::uint32_t size;     // as the header says
    std::uint64_t rounded;  // with the pad byte of an odd size
    ChunkKind kind;
};

// One run of chunks: the body of a RIFF form or of a "LIST". Its remaining length is a signed
// 32-bit count that wraps as the size fields dictate, and the run ends only when it is exactly
// zero; a chunk that claims more than its parent holds leaves the run going to the end of the
// file.
class ChunkRun {
  public:
    // The chunks of a RIFF form whose header says riffSize.
    static ChunkRun Form(std::uint32_t riffSize) { return ChunkRun(Wrap(riffSize, 4), 0); }

    bool Ended() const { return m_remaining == 0; }
    // Classifies the chunk whose 8-byte header this is and takes its share of the run.
    RiffChunk Next(const unsigned char* header);
    // The sub-chunks of a "LIST" chunk of this run, after its 4-byte type.
    ChunkRun Inside(const RiffChunk& list) const {
        return ChunkRun(Wrap(static_cast<std::uint32_t>(list.rounded), 4), m_depth + 1);
    }
    int Depth() const { return m_depth; }

  private:
    ChunkRun(std::int32_t remaining, int depth) : m_remaining(remaining), m_depth(depth) {}
    static std::int32_t Wrap(std::uint64_t from, std::uint64_t amount) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(from) -
                                         static_cast<std::uint32_t>(amount));
    }

    std::int32_t m_remaining;
    int m_depth;
};

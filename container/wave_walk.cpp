#include "container/wave_walk.h"

#include <algorithm>
#include <vector>

#include "container/riff.h"

namespace {

constexpr std::size_t kPieceBytes = 44100;  // bodies larger than this are copied in pieces

class Walk {
  public:
    Walk(ByteInput& input, WalkHandler& handler)
        : m_input(input), m_handler(handler), m_buffer(kPieceBytes) {}

    void Scan();

  private:
    // Reads up to n bytes and hands them on; false when the input or the handler ended.
    bool Pass(unsigned char* buffer, std::size_t n, std::size_t& got) {
        got = m_input.Read(buffer, n);
        m_ended = got > 0 && !m_handler.Container(buffer, got);
        return !m_ended && got == n;
    }
    bool CopyBody(std::uint64_t n);
    bool Chunks(ChunkRun run);
    bool FormatChunk(const RiffChunk& chunk);

    ByteInput& m_input;
    WalkHandler& m_handler;
    std::vector<unsigned char> m_buffer;
    bool m_ended = false;  // the handler ended the walk
};

void Walk::Scan() {
    bool scanOk = true;
    unsigned char header[kRiffHeaderBytes];
    for (;;) {
        std::size_t got = 0;
        Pass(header, sizeof header, got);
        if (got == 0 || m_ended) {
            return;
        }
        if (!IsRiffWave(header, got)) {
            scanOk = false;
        } else if (scanOk && !Chunks(ChunkRun::Form(Le32(header + 4)))) {
            return;
        }
    }
}

bool Walk::CopyBody(std::uint64_t n) {
    while (n > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, kPieceBytes));
        std::size_t got = 0;
        if (!Pass(m_buffer.data(), piece, got)) {
            return false;
        }
        n -= got;
    }
    return true;
}

bool Walk::FormatChunk(const RiffChunk& chunk) {
    unsigned char body[kWaveFormatBytes];
    std::size_t got = 0;
    if (!Pass(body, sizeof body, got)) {
        return false;
    }
    m_handler.Format(ParseWaveFormat(body));
    return CopyBody(chunk.rounded - sizeof body);
}

// False when the walk is over: a short read means the input has ended, or the handler ended
// it.
bool Walk::Chunks(ChunkRun run) {
    while (!run.Ended()) {
        unsigned char header[kChunkHeaderBytes];
        std::size_t got = 0;
        if (!Pass(header, sizeof header, got)) {
            return false;  // the input ended (a header cut short is still passed on) or the handler
                           // did
        }
        const RiffChunk chunk = run.Next(header);
        bool goOn = true;
        switch (chunk.kind) {
            case ChunkKind::Format:
                goOn = FormatChunk(chunk);
                break;
            case ChunkKind::Data:
                m_ended = !m_handler.Data(chunk.rounded);
                goOn = !m_ended;
                break;
            case ChunkKind::List: {
                unsigned char type[4];
                goOn = Pass(type, sizeof type, got) && Chunks(run.Inside(chunk));
                break;
            }
            case ChunkKind::Other:
                goOn = CopyBody(chunk.rounded);
                break;
        }
        if (!goOn) {
            return false;
        }
    }
    return true;
}

}  // namespace

void WalkWave(ByteInput& input, WalkHandler& handler) {
    Walk(input, handler).Scan();
}

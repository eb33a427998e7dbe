#include "fuzz/walk_model.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kListDepthLimit = 64;
constexpr std::uint16_t kPcmTag = 1;
constexpr std::uint16_t kExtensibleTag = 0xFFFE;
constexpr std::size_t kExtensibleFmtBytes = 40;  // the extensible record, sub-format included

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Lengths left in a form or list count down as wrapping signed 32-bit numbers.
std::int32_t Minus(std::int32_t a, std::uint64_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

class Walker {
  public:
    Walker(const std::uint8_t* data, std::size_t size, int channels, int bytesPerSample)
        : m_data(data), m_size(size), m_channels(channels), m_bytesPerSample(bytesPerSample) {}

    WalkPrediction Run() {
        bool formsOk = true;
        while (m_pos < m_size) {
            const std::uint8_t* h = m_data + m_pos;
            const std::size_t got = std::min<std::size_t>(12, m_size - m_pos);
            m_pos += got;
            if (got < 12 || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) {
                formsOk = false;
            } else if (formsOk && !Chunks(Minus(static_cast<std::int32_t>(Le32(h + 4)), 4), 0)) {
                break;
            }
        }
        return m_result;
    }

  private:
    std::size_t Left() const { return m_size - m_pos; }
    void Skip(std::uint64_t n) {
        m_pos += static_cast<std::size_t>(std::min<std::uint64_t>(n, Left()));
    }

    // False when the sample data was refused and the job ends.
    bool Chunks(std::int32_t remaining, int depth) {
        while (remaining != 0) {
            if (Left() < 8) {
                m_pos = m_size;
                return true;
            }
            const std::uint8_t* h = m_data + m_pos;
            m_pos += 8;
            const std::uint32_t size = Le32(h + 4);
            const std::uint64_t rounded = static_cast<std::uint64_t>(size) + (size & 1u);
            remaining = Minus(remaining, rounded + 8);
            if (std::memcmp(h, "fmt ", 4) == 0 && rounded >= 16) {
                if (Left() < 16) {
                    m_pos = m_size;
                    return true;
                }
                m_channels = Le16(m_data + m_pos + 2);
                m_bytesPerSample = Le16(m_data + m_pos + 14) / 8;
                m_pos += 16;
                Skip(rounded - 16);
            } else if (std::memcmp(h, "data", 4) == 0) {
                if (m_channels != 2 || m_bytesPerSample != 2) {
                    m_result.refused = true;
                    return false;
                }
                const std::size_t begin = m_pos;
                Skip(rounded);
                m_result.dataRanges.emplace_back(begin, m_pos);
            } else if (std::memcmp(h, "LIST", 4) == 0 && rounded >= 4 && depth < kListDepthLimit) {
                if (Left() < 4) {
                    m_pos = m_size;
                    return true;
                }
                m_pos += 4;
                if (!Chunks(Minus(static_cast<std::int32_t>(rounded), 4), depth + 1)) {
                    return false;
                }
            } else {
                Skip(rounded);
            }
        }
        return true;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    int m_channels;
    int m_bytesPerSample;
    WalkPrediction m_result;
};

}  // namespace

bool PredictEngineReads(const std::uint8_t* data, std::size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
        return false;
    }
    std::int32_t remaining = Minus(static_cast<std::int32_t>(Le32(data + 4)), 4);
    std::uint64_t at = 12;
    while (remaining != 0 && at + 8 <= size) {
        const std::uint8_t* h = data + at;
        const std::uint32_t chunkSize = Le32(h + 4);
        const std::uint64_t rounded = static_cast<std::uint64_t>(chunkSize) + (chunkSize & 1u);
        remaining = Minus(remaining, rounded + 8);
        const bool fmt = std::memcmp(h, "fmt ", 4) == 0;
        if (fmt || std::memcmp(h, "data", 4) == 0) {
            // Data before any format, a format record too short or cut short: the engine's.
            const std::size_t want = std::min<std::size_t>(chunkSize, kExtensibleFmtBytes);
            if (!fmt || chunkSize < 16 || at + 8 + want > size) {
                return true;
            }
            const std::uint8_t* body = h + 8;
            const std::uint16_t tag = Le16(body);
            const bool pcm =
                tag == kPcmTag || (tag == kExtensibleTag && want >= kExtensibleFmtBytes &&
                                   Le16(body + 24) == kPcmTag);
            return pcm && Le16(body + 2) == 2 && Le16(body + 14) == 16;
        }
        at += 8 + rounded;
    }
    return true;
}

WalkPrediction PredictWriteJob(const std::uint8_t* data, std::size_t size, int channels,
                               int bytesPerSample) {
    return Walker(data, size, channels, bytesPerSample).Run();
}

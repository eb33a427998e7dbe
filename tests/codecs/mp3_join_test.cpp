#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "codecs/mp3_join.h"

namespace {

constexpr int kFrameBytes = 417;  // MPEG-1 Layer III, 128 kbps at 44.1 kHz, no padding
constexpr int kDataStart = 4 + 32;

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& bytes, std::size_t start)
        : m_bytes(bytes), m_pos(start * 8) {}
    void Put(int value, int bits) {
        for (int i = bits - 1; i >= 0; --i, ++m_pos) {
            if ((static_cast<std::int64_t>(value) >> i) & 1) {
                m_bytes[m_pos / 8] |= static_cast<std::uint8_t>(0x80 >> (m_pos % 8));
            }
        }
    }

  private:
    std::vector<std::uint8_t>& m_bytes;
    std::size_t m_pos;
};

// A joint-stereo frame: its main_data_begin, the block type of each granule (both channels),
// its data bytes all seed.
EncodedPacket Frame(int mainDataBegin, int firstBlock, int lastBlock, std::uint8_t seed) {
    EncodedPacket packet;
    packet.bytes.assign(kFrameBytes, seed);
    const std::uint8_t header[] = {0xFF, 0xFB, 0x90, 0x44};
    std::copy(std::begin(header), std::end(header), packet.bytes.begin());
    std::fill(packet.bytes.begin() + 4, packet.bytes.begin() + kDataStart, 0);
    BitWriter bits(packet.bytes, 4);
    bits.Put(mainDataBegin, 9);
    bits.Put(0, 3 + 8);
    for (const int block : {firstBlock, firstBlock, lastBlock, lastBlock}) {
        bits.Put(0, 12 + 9 + 8 + 4);
        if (block == 0) {
            bits.Put(0, 1 + 22 + 3);
        } else {
            bits.Put(1, 1);
            bits.Put(block, 2);
            bits.Put(0, 23);
        }
    }
    return packet;
}

// What a case sets of a frame's side info.
struct Side {
    int mainDataBegin;
    int firstBlock = 0;
    int lastBlock = 0;
};

std::vector<EncodedPacket> Stream(const std::vector<Side>& sides, std::uint8_t seed) {
    std::vector<EncodedPacket> frames;
    frames.reserve(sides.size());
    for (const Side& s : sides) {
        frames.push_back(Frame(s.mainDataBegin, s.firstBlock, s.lastBlock, seed++));
    }
    return frames;
}

TEST(Mp3Join, ReadsTheSideInfoOfMpeg1LayerThreeOnly) {
    const auto info = ReadMp3Frame(Frame(300, 0, 2, 0).bytes);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->mainDataBegin, 300);
    EXPECT_EQ(info->dataBytes, kFrameBytes - kDataStart);
    EXPECT_TRUE(info->longFirst);
    EXPECT_FALSE(info->longLast);
    EncodedPacket mpeg2 = Frame(0, 0, 0, 0);
    mpeg2.bytes[1] = 0xF3;  // MPEG-2 Layer III
    EXPECT_FALSE(ReadMp3Frame(mpeg2.bytes).has_value());
    EXPECT_FALSE(ReadMp3Frame({0xFF, 0xFB}).has_value());
}

// Each case: the two streams' frames (later starting at laterFirst), the window searched and
// where the join must be; joined there, every frame decodes from its own encoder's bytes.
TEST(Mp3Join, JoinsWhereBothSidesAreLongAndTheReservoirFits) {
    struct Case {
        const char* name;
        std::vector<Side> earlier;
        std::vector<Side> later;
        std::size_t laterFirst;
        std::size_t from;
        std::size_t to;
        std::optional<std::size_t> join;
    };
    const std::vector<Side> steady = {{0}, {100}, {100}, {100}, {100}, {100}};
    const Case cases[] = {
        {"a frame needing no reservoir", steady, {{0}, {200}, {0}, {50}, {50}, {50}}, 0, 1, 6, 2},
        {"the reservoir the earlier leaves", steady, {{0}, {200}, {80}, {0}, {0}, {0}}, 0, 1, 6, 2},
        {"more reservoir than is free", steady, {{0}, {101}, {150}, {120}, {100}, {0}}, 0, 1, 6, 4},
        {"a short granule before",
         {{0}, {100}, {100, 0, 2}, {100, 2, 0}, {100}, {100}},
         {{0}, {50}, {50}, {50}, {50}, {50}},
         0,
         3,
         6,
         4},
        {"window switching on the earlier side",
         {{0}, {100, 0, 1}, {100, 2, 2}, {100, 3, 0}, {100}, {100}},
         {{0}, {50}, {50}, {50}, {50}, {50}},
         0,
         2,
         6,
         4},
        {"a start block on the later side",
         steady,
         {{0}, {50}, {50, 3, 1}, {50, 2, 3}, {50}, {50}},
         0,
         2,
         6,
         5},
        {"none in the window", steady, {{0}, {200}, {200}, {0}, {0}, {0}}, 0, 1, 3, std::nullopt},
        {"the later's first frame never", steady, {{0}, {0}, {0}, {0}}, 2, 0, 6, 3},
        {"a reservoir from before the later's start",
         {{0}, {500}, {500}, {500}, {500}, {500}, {500}},
         {{0}, {400}, {0}, {0}},
         3,
         0,
         7,
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<EncodedPacket> earlier = Stream(c.earlier, 10);
        const std::vector<EncodedPacket> later = Stream(c.later, 100);
        const auto join = FindMp3Join({earlier, 0}, {later, c.laterFirst}, c.from, c.to);
        ASSERT_EQ(join, c.join);
        std::vector<EncodedPacket> joined = earlier;
        if (!join) {
            EXPECT_FALSE(JoinMp3({joined, 0}, {later, c.laterFirst}, c.from));
            continue;
        }
        if (*join > c.from) {
            EXPECT_FALSE(JoinMp3({joined, 0}, {later, c.laterFirst}, *join - 1));
            ASSERT_EQ(joined.size(), earlier.size()) << "unchanged when refused";
        }
        ASSERT_TRUE(JoinMp3({joined, 0}, {later, c.laterFirst}, *join));
        ASSERT_EQ(joined.size(), c.laterFirst + later.size());
        const auto reach = static_cast<std::size_t>(c.later[*join - c.laterFirst].mainDataBegin);
        for (std::size_t f = 0; f < joined.size(); ++f) {
            const EncodedPacket& own = f < *join ? earlier[f] : later[f - c.laterFirst];
            // The reservoir bytes lie at the end of the frame before (never more than one here).
            const std::size_t copied = f + 1 == *join ? reach : 0;
            EXPECT_TRUE(std::equal(joined[f].bytes.begin(), joined[f].bytes.end() - copied,
                                   own.bytes.begin()))
                << "frame " << f;
            if (copied > 0) {
                const EncodedPacket& source = later[f - c.laterFirst];
                EXPECT_TRUE(std::equal(joined[f].bytes.end() - copied, joined[f].bytes.end(),
                                       source.bytes.end() - copied))
                    << "the reservoir of frame " << *join;
            }
        }
    }
}

}  // namespace

#include "codecs/mp3_join.h"

#include <algorithm>

namespace {

constexpr int kHeaderBytes = 4;
constexpr int kCrcBytes = 2;

// Reads bits from the most significant down.
class BitReader {
  public:
    BitReader(const std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}
    int Read(int bits) {
        int value = 0;
        for (int i = 0; i < bits; ++i, ++m_pos) {
            const std::size_t byte = m_pos / 8;
            const int bit = byte < m_size ? (m_bytes[byte] >> (7 - m_pos % 8)) & 1 : 0;
            value = value << 1 | bit;
        }
        return value;
    }
    void Skip(int bits) { m_pos += static_cast<std::size_t>(bits); }

  private:
    const std::uint8_t* m_bytes;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Whether the granule's block is long: no window switching, or a switch to a long block type
// other than start, short or stop.
bool ReadGranuleChannel(BitReader& bits) {
    bits.Skip(12 + 9 + 8 + 4);  // part2_3_length, big_values, global_gain, scalefac_compress
    constexpr int kFlags = 3;   // preflag, scalefac_scale, count1table_select
    if (bits.Read(1) == 0) {
        bits.Skip(3 * 5 + 4 + 3 + kFlags);  // three tables, two region counts
        return true;
    }
    const int blockType = bits.Read(2);
    bits.Skip(1 + 2 * 5 + 3 * 3 + kFlags);  // mixed, two tables, three subblock gains
    return blockType == 0;
}

// Where a data byte lies.
struct DataPlace {
    std::size_t frame;
    std::size_t offset;
};

// The last count data bytes of frames [0, end), last first; fewer where there are not as many.
std::vector<DataPlace> LastDataBytes(const std::vector<EncodedPacket>& frames, std::size_t end,
                                     int count) {
    std::vector<DataPlace> places;
    for (std::size_t f = end; f > 0 && static_cast<int>(places.size()) < count; --f) {
        const Mp3Frame& frame = frames[f - 1].bytes;
        const auto info = ReadMp3Frame(frame);
        if (!info) {
            return {};
        }
        for (std::size_t i = frame.size();
             i > frame.size() - static_cast<std::size_t>(info->dataBytes) &&
             static_cast<int>(places.size()) < count;
             --i) {
            places.push_back({f - 1, i - 1});
        }
    }
    return places;
}

// See FindMp3Join.
bool CleanJoin(ConstMp3Run earlier, ConstMp3Run later, std::size_t join) {
    const std::size_t e = join - earlier.first;
    const std::size_t l = join - later.first;
    const auto before = ReadMp3Frame(earlier.packets[e - 1].bytes);
    const auto cut = ReadMp3Frame(earlier.packets[e].bytes);
    const auto laterBefore = ReadMp3Frame(later.packets[l - 1].bytes);
    const auto taken = ReadMp3Frame(later.packets[l].bytes);
    if (!before || !cut || !laterBefore || !taken || !before->longLast || !cut->longFirst ||
        !laterBefore->longLast || !taken->longFirst || taken->mainDataBegin > cut->mainDataBegin) {
        return false;
    }
    const int reach = taken->mainDataBegin;
    return static_cast<int>(LastDataBytes(earlier.packets, e, reach).size()) == reach &&
           static_cast<int>(LastDataBytes(later.packets, l, reach).size()) == reach;
}

}  // namespace

std::optional<Mp3FrameInfo> ReadMp3Frame(const Mp3Frame& frame) {
    // MPEG-1 (version bits 11) Layer III (layer bits 01) only.
    if (frame.size() < kHeaderBytes || frame[0] != 0xFF || (frame[1] & 0xFE) != 0xFA) {
        return std::nullopt;
    }
    const bool crc = (frame[1] & 1) == 0;
    const bool mono = (frame[3] >> 6) == 3;
    const int sideBytes = mono ? 17 : 32;
    const int before = kHeaderBytes + (crc ? kCrcBytes : 0);
    if (frame.size() < static_cast<std::size_t>(before) + static_cast<std::size_t>(sideBytes)) {
        return std::nullopt;
    }
    BitReader bits(frame.data() + before, static_cast<std::size_t>(sideBytes));
    Mp3FrameInfo info;
    info.mainDataBegin = bits.Read(9);
    const int channels = mono ? 1 : 2;
    bits.Skip(mono ? 5 + 4 : 3 + 8);  // private bits, scfsi
    for (int granule = 0; granule < 2; ++granule) {
        for (int channel = 0; channel < channels; ++channel) {
            const bool isLong = ReadGranuleChannel(bits);
            bool& edge = granule == 0 ? info.longFirst : info.longLast;
            edge = edge && isLong;
        }
    }
    info.dataBytes = static_cast<int>(frame.size()) - before - sideBytes;
    return info;
}

std::optional<std::size_t> FindMp3Join(ConstMp3Run earlier, ConstMp3Run later, std::size_t from,
                                       std::size_t to) {
    const std::size_t end =
        std::min({to, earlier.first + earlier.packets.size(), later.first + later.packets.size()});
    const std::size_t start = std::max({from, earlier.first + 1, later.first + 1});
    for (std::size_t join = start; join < end; ++join) {
        if (CleanJoin(earlier, later, join)) {
            return join;
        }
    }
    return std::nullopt;
}

bool JoinMp3(Mp3Run earlier, ConstMp3Run later, std::size_t join) {
    if (FindMp3Join({earlier.packets, earlier.first}, later, join, join + 1) != join) {
        return false;
    }
    const std::size_t e = join - earlier.first;
    const std::size_t l = join - later.first;
    const int reach = ReadMp3Frame(later.packets[l].bytes)->mainDataBegin;
    const auto to = LastDataBytes(earlier.packets, e, reach);
    const auto from = LastDataBytes(later.packets, l, reach);
    earlier.packets.resize(e);
    for (int i = 0; i < reach; ++i) {
        earlier.packets[to[i].frame].bytes[to[i].offset] =
            later.packets[from[i].frame].bytes[from[i].offset];
    }
    earlier.packets.insert(earlier.packets.end(),
                           later.packets.begin() + static_cast<std::ptrdiff_t>(l),
                           later.packets.end());
    return true;
}

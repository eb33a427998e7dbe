#include "codecs/metadata_guard.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kId3HeaderBytes = 10;
constexpr int kMaxFlacBlocks = 4096;  // more than any encoder writes
constexpr unsigned char kFlacComments = 4;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The size of an ID3v2 tag at offset, header and footer included; 0 when there is none.
std::uint64_t Id3Size(const ReadAt& read, std::uint64_t offset) {
    unsigned char h[kId3HeaderBytes];
    if (read(offset, h, sizeof h) != sizeof h || std::memcmp(h, "ID3", 3) != 0 ||
        ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0) {
        return 0;
    }
    // Seven bits a byte ("synchsafe"), so that no byte of it looks like an MPEG sync.
    const std::uint64_t body = (std::uint64_t{h[6]} << 21) | (std::uint64_t{h[7]} << 14) |
                               (std::uint64_t{h[8]} << 7) | h[9];
    const bool footer = (h[5] & 0x10) != 0;
    return kId3HeaderBytes + body + (footer ? kId3HeaderBytes : 0);
}

// The comment count of a Vorbis comment block whose body starts at offset, and where it lies.
bool CommentCount(const ReadAt& read, std::uint64_t body, std::uint64_t length,
                  std::uint64_t& countAt, std::uint32_t& count) {
    unsigned char bytes[4];
    if (length < 8 || read(body, bytes, 4) != 4) {
        return false;
    }
    countAt = body + 4 + Le32(bytes);  // after the vendor string
    if (countAt + 4 > body + length || read(countAt, bytes, 4) != 4) {
        return false;
    }
    count = Le32(bytes);
    return true;
}

void GuardFlacBlocks(const ReadAt& read, std::uint64_t offset, FileView& view) {
    unsigned char magic[4];
    if (read(offset, magic, 4) != 4 || std::memcmp(magic, "fLaC", 4) != 0) {
        return;
    }
    offset += 4;
    for (int block = 0; block < kMaxFlacBlocks; ++block) {
        unsigned char h[4];
        if (read(offset, h, 4) != 4) {
            return;
        }
        // A block is at most 16 MB: its size is read whole; only the count needs a bound.
        const std::uint64_t length =
            (std::uint64_t{h[1]} << 16) | (std::uint64_t{h[2]} << 8) | h[3];
        if ((h[0] & 0x7F) == kFlacComments) {
            std::uint64_t countAt = 0;
            std::uint32_t count = 0;
            if (CommentCount(read, offset + 4, length, countAt, count) && count > kMaxComments) {
                for (int i = 0; i < 4; ++i) {
                    view.patches.emplace_back(countAt + static_cast<std::uint64_t>(i),
                                              static_cast<unsigned char>(kMaxComments >> (8 * i)));
                }
            }
        }
        if ((h[0] & 0x80) != 0) {
            return;  // the last metadata block
        }
        offset += 4 + length;
    }
}

}  // namespace

void FileView::Patch(std::uint64_t offset, unsigned char* bytes, std::size_t n) const {
    for (const auto& [at, value] : patches) {
        if (at >= offset && at < offset + n) {
            bytes[at - offset] = value;
        }
    }
}

FileView GuardMetadata(const ReadAt& read, std::uint64_t fileBytes) {
    FileView view;
    const std::uint64_t id3 = Id3Size(read, 0);
    if (id3 > kMaxTagBytes) {
        view.hidden = std::min(id3, fileBytes);
    }
    GuardFlacBlocks(read, id3, view);
    return view;
}

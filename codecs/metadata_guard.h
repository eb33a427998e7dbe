#pragma once

// Tags are read whole by FFmpeg's demuxers, and some cost far more than their size: a FLAC
// file's two hundred thousand comments took 100 s of processor time to read (each one is
// looked up among all before it), two ID3 frames of 120 MB took 1 GB of memory. Before
// FFmpeg sees a file, its tags are bounded here: the file is shown to FFmpeg through a view
// that hides what is too large and cuts what is too many. The audio is never touched.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

inline constexpr std::uint64_t kMaxTagBytes = 16u << 20;  // an ID3v2 tag
inline constexpr std::uint32_t kMaxComments = 1024;       // Vorbis comments in a FLAC file

// The file as FFmpeg is shown it.
struct FileView {
    std::uint64_t hidden = 0;  // leading bytes not shown: an ID3v2 tag too large to read
    // Bytes shown in place of the file's, by the file's offset.
    std::vector<std::pair<std::uint64_t, unsigned char>> patches;

    // Applies the patches to bytes read at a file offset.
    void Patch(std::uint64_t offset, unsigned char* bytes, std::size_t n) const;
};

// Reads n bytes at a file offset into a buffer; returns how many it read.
using ReadAt =
    std::function<std::size_t(std::uint64_t offset, unsigned char* buffer, std::size_t n)>;

// Looks at the file's leading tags (an ID3v2 tag at its start, a FLAC file's metadata
// blocks) and returns how to show it: an ID3v2 tag over kMaxTagBytes is hidden; more than
// kMaxComments comments in a FLAC file are shown as that many.
FileView GuardMetadata(const ReadAt& read, std::uint64_t fileBytes);

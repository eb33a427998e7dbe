#pragma once

// The one header this program writes itself: a 16-bit stereo WAV at a rate, with the tags in
// a "LIST"/"INFO" chunk, for decoded inputs.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Tags by their common names ("title", "artist", ...), in the order they were found.
using Tags = std::vector<std::pair<std::string, std::string>>;

// The tags a WAV file carries, each with its "INFO" sub-chunk id, in that chunk's order;
// "software" is this program's note of a key or tempo it changed.
struct InfoKey {
    const char* tag;
    const char* id;
};
inline constexpr InfoKey kInfoKeys[] = {
    {"title", "INAM"}, {"artist", "IART"}, {"album", "IPRD"},   {"date", "ICRD"},
    {"genre", "IGNR"}, {"track", "ITRK"},  {"comment", "ICMT"}, {"software", "ISFT"},
};

// Everything before the sample data, with RIFF and data sizes of zero.
std::string WaveHeader(int rate, const Tags& tags);

// The two size fields of a header of headerBytes once dataBytes of sample data follow it:
// where each lies and what it holds.
struct SizeField {
    std::uint64_t offset;
    std::uint32_t value;
};
std::array<SizeField, 2> WaveSizeFields(std::size_t headerBytes, std::uint64_t dataBytes);

#pragma once

// The one header this program writes itself: a 16-bit stereo WAV at a rate, with the tags in
// a "LIST"/"INFO" chunk, for decoded inputs.

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

// The header with its RIFF and data sizes for dataBytes of sample data after it (32 bits).
std::string WithSizes(std::string header, std::uint64_t dataBytes);

#pragma once

// Joining MP3 streams encoded apart: the frames of one stream up to a frame, those of another
// from it on. Plain C++, so that tests reach it without FFmpeg.
//
// A Layer III frame's main data may begin in the frames before it (the bit reservoir): its
// side info's main_data_begin counts the bytes back. A join at frame J is clean when the
// granules on both sides of it are long blocks in both streams (no window switching across
// it) and the earlier stream leaves at least as many unused bytes before J as the later
// stream's frame J reaches back; those bytes are then copied across, so that every frame
// decodes from exactly the bytes its own encoder gave it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "codecs/codec_module.h"

// One MP3 frame a packet holds: header, side info, data.
using Mp3Frame = std::vector<std::uint8_t>;

// A run of an encoder's packets, the first being frame first of the stream.
struct Mp3Run {
    std::vector<EncodedPacket>& packets;
    std::size_t first;
};
struct ConstMp3Run {
    const std::vector<EncodedPacket>& packets;
    std::size_t first;
};

// What a join needs to know of a frame.
struct Mp3FrameInfo {
    int mainDataBegin = 0;  // bytes of main data in the frames before
    int dataBytes = 0;      // bytes after the header and the side info
    bool longFirst = true;  // the first granule of every channel is a long block
    bool longLast = true;   // and the last
};

// The frame's side info read; nothing for a frame that is no MPEG-1 Layer III frame.
std::optional<Mp3FrameInfo> ReadMp3Frame(const Mp3Frame& frame);

// Two encodings of the same audio, frame i of each holding the same samples. The first frame
// in [from, to) where later may take over from earlier cleanly (see above); nothing when there
// is none.
std::optional<std::size_t> FindMp3Join(ConstMp3Run earlier, ConstMp3Run later, std::size_t from,
                                       std::size_t to);

// Cuts earlier at join and appends later's frames from join on, copying the reservoir bytes
// later's frame join reads into the unused end of earlier's data. False, earlier unchanged,
// when join is not clean.
bool JoinMp3(Mp3Run earlier, ConstMp3Run later, std::size_t join);

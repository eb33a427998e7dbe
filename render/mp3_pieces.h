#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/codec_module.h"
#include "codecs/mp3_join.h"
#include "render/ordered_results.h"

class RenderPool;

// Where an MP3 stream is cut into pieces that encode side by side: fixed by the stream alone,
// so that the bytes written do not depend on the threads.
struct Mp3PieceLayout {
    std::size_t frames = 1024;  // MP3 frames of a piece
    std::size_t preroll = 32;   // frames a piece's encoder starts before its piece
    std::size_t warmUp = 12;    // frames of those before the first place a join may be
    std::size_t overrun = 4;    // frames an encoder runs past its piece, for its look-ahead
};

// An MP3 stream written in pieces on a pool's threads: each piece by an encoder of its own,
// started early and run past the piece's end, and the encoders' frames joined in order where
// the join is clean (mp3_join.h). Where no frame near a boundary joins cleanly, the earlier
// encoder goes on through the next piece, as one encoder would. The joined packets go to the
// muxer as they are ready.
class Mp3Pieces {
  public:
    static constexpr std::size_t kFrameSamples = 1152;

    // pool null: each piece on the calling thread, when its frames are there.
    Mp3Pieces(EncoderSettings settings, int rate, AudioEncoder& muxer, RenderPool* pool,
              Mp3PieceLayout layout = {});
    Mp3Pieces(const Mp3Pieces&) = delete;
    Mp3Pieces& operator=(const Mp3Pieces&) = delete;

    // Whether the stream at this rate has frames of kFrameSamples (MPEG-1).
    static bool Holds(int rate) { return rate == 32000 || rate == 44100 || rate == 48000; }

    bool Write(const std::int16_t* frames, std::size_t count);
    // Encodes the rest, joins everything and writes the muxer's trailer.
    bool Finish();
    std::string Error() const { return m_error; }
    // How many boundaries had no clean join (for the benchmarks).
    std::size_t InOrderStretches() const { return m_inOrder; }

    // One piece encoded: its encoder, still open, and the packets it gave so far.
    struct Piece {
        std::size_t index = 0;
        std::size_t firstFrame = 0;  // the stream's frame its first packet is
        std::uint64_t end = 0;       // input frames given, to here
        std::vector<std::int16_t> samples;
        std::unique_ptr<PacketEncoder> encoder;
        std::vector<EncodedPacket> packets;
        std::string error;  // empty: encoded
    };

  private:
    static void Encode(Piece& piece, const EncoderSettings& settings, int rate);
    // In input frames: where a piece's encoder starts (with the pre-roll) and ends (with the
    // overrun, unless it is the last).
    std::uint64_t PieceStart(std::size_t piece) const;
    std::uint64_t PieceEnd(std::size_t piece) const;
    void Submit(std::uint64_t end);
    bool JoinUntil(std::size_t pending);
    bool Join(Piece next);
    bool Continue(const Piece& next);
    bool WriteBefore(std::size_t frame);
    bool Fail(const std::string& what);

    const EncoderSettings m_settings;
    const int m_rate;
    AudioEncoder& m_muxer;
    RenderPool* m_pool;
    const Mp3PieceLayout m_layout;
    std::vector<std::int16_t> m_buffer;  // interleaved input from m_bufferStart on
    std::uint64_t m_bufferStart = 0;     // in input frames
    std::uint64_t m_received = 0;
    std::size_t m_submitted = 0;            // pieces
    std::unique_ptr<PacketEncoder> m_tail;  // the encoder of the joined stream's end, still open
    std::uint64_t m_tailEnd = 0;            // the input frames it was given, to here
    std::vector<EncodedPacket> m_joined;    // packets not yet written, from m_joinedFirst on
    std::size_t m_joinedFirst = 0;
    std::size_t m_inOrder = 0;
    std::string m_error;
    OrderedResults<Piece> m_pieces;  // last: its tasks end before the rest goes
};

#pragma once

// Audio files of every kind through FFmpeg's libraries. They and the hundred-odd shared
// objects they pull in take longer to load than a short render takes to run, so they live in
// a module of their own, loaded the first time a file needs them. The module knows nothing of
// the program that loads it: frames of 16-bit stereo go in and out.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codecs/output_formats.h"

// Tags by their common names ("title", "artist", ...).
using AudioTags = std::vector<std::pair<std::string, std::string>>;

// A picture of the song (its cover) a file holds beside the audio: a JPEG or PNG image.
struct CoverArt {
    bool png = false;
    int width = 0;  // pixels; the muxers write them beside the image
    int height = 0;
    std::vector<unsigned char> bytes;  // empty: none
};

// The largest cover carried from one file to another.
inline constexpr std::size_t kMaxCoverBytes = std::size_t{16} << 20;

// The tag names carried from one file to another, in the order they are written.
inline constexpr const char* kCarriedTags[] = {"title", "artist", "album",  "date",
                                               "genre", "track",  "comment"};

// The best audio stream of a file as interleaved 16-bit stereo frames at the stream's own
// rate: never resampled, more than two channels mixed down with the library's standard
// matrix, mono refused. Only the file itself is ever opened: playlists and other containers
// that name further files or addresses are refused.
//
// A stream whose rate changes midway is resampled to its first rate. Tags too large or too
// many to read quickly are left unread (see metadata_guard.h).
class AudioDecoder {
  public:
    enum class Status { Ok, NotAudio, NotStereo, ReadError, Interrupted };
    enum class Next {
        Frames,
        End,
        NotStereo,
        Failed,
        Changed,      // the file changed while it was read (its size or modification time)
        Interrupted,  // interrupted() said so
    };

    virtual ~AudioDecoder() = default;
    // interrupted is asked whenever the file is read, also while its header is: true ends the
    // work at once.
    virtual Status Open(const std::filesystem::path& path,
                        std::function<bool()> interrupted = {}) = 0;
    virtual int SampleRate() const = 0;
    // The length the file declares, in seconds, or estimates from its size; 0 when neither.
    virtual double DeclaredSeconds() const = 0;
    // Whether that length is the file's own word, not an estimate from its size.
    virtual bool LengthDeclared() const = 0;
    // Packets of the stream the decoder found damaged and skipped so far.
    virtual int DamagedPackets() const = 0;
    // Moves to a time, for analyses that read a few excerpts; false when the file cannot.
    virtual bool Seek(double seconds) = 0;
    // How far through the file the reading is, 0 .. 1.
    virtual double Progress() const = 0;
    virtual AudioTags Tags() const = 0;  // those of kCarriedTags the file has
    // The file's cover, when it holds one in a stream of its own (an ID3 or FLAC picture, an
    // MP4 cover) of at most kMaxCoverBytes.
    virtual CoverArt Cover() const { return {}; }
    // Replaces frames with the next decoded frames.
    virtual Next Read(std::vector<std::int16_t>& frames) = 0;
};

// One packet of an encoder: a frame of its format, with the samples the player skips at its
// start and end (the encoder's delay, the last frame's padding).
struct EncodedPacket {
    std::vector<std::uint8_t> bytes;
    std::int64_t duration = 0;  // input frames the packet took
    bool skips = false;         // whether the two below were told
    std::uint32_t skipStart = 0;
    std::uint32_t skipEnd = 0;
};

// 16-bit stereo frames encoded into a file of a format, as they come: the encoder's frames
// are filled from them, converted to the encoder's sample format (and rate, where the format
// has one of its own), and written at once.
class AudioEncoder {
  public:
    virtual ~AudioEncoder() = default;
    // Starts the file in out, which must be seekable: the muxer goes back to fill in the
    // stream's length and the encoder's delay and padding. The cover goes where the format
    // holds one (MP3, MP4, FLAC). False when the encoder or the file refuses.
    virtual bool Open(std::FILE* out, int rate, const AudioTags& tags, const CoverArt& cover) = 0;
    virtual bool Write(const std::int16_t* frames, std::size_t count) = 0;
    // Writes what is pending and the trailer.
    virtual bool Finish() = 0;
    // Why the last call failed, in words for the user; empty when the file itself failed.
    virtual std::string Error() const = 0;

    // Instead of Write and Finish: packets a PacketEncoder of the same settings made, in
    // order, then the trailer. False for a format that takes none.
    virtual bool WritePackets(const std::vector<EncodedPacket>& /*packets*/) { return false; }
    virtual bool FinishPackets() { return false; }
};

// The encoder alone, without a file: frames in, the encoder's packets out. Two of the same
// settings fed the same frames give the same packets.
class PacketEncoder {
  public:
    virtual ~PacketEncoder() = default;
    virtual bool Open(int rate) = 0;
    // Appends the packets made so far; Finish drains the encoder.
    virtual bool Write(const std::int16_t* frames, std::size_t count,
                       std::vector<EncodedPacket>& packets) = 0;
    virtual bool Finish(std::vector<EncodedPacket>& packets) = 0;
    virtual std::string Error() const = 0;
};

// What the module offers. Built with the program, never on its own: a module of another
// build is refused by its revision.
struct CodecModule {
    int revision;
    std::unique_ptr<AudioDecoder> (*newDecoder)();
    // An encoder for a format of the table (output_formats.h); null for one it has not.
    std::unique_ptr<AudioEncoder> (*newEncoder)(const EncoderSettings& settings);
    std::unique_ptr<PacketEncoder> (*newPacketEncoder)(const EncoderSettings& settings);
};

inline constexpr int kCodecModuleRevision = 6;
// The one symbol the module exports: a function returning its table.
inline constexpr char kCodecModuleEntry[] = "zerbex_codec_module";

// The module, loaded at the first call; null when it cannot be, the reason printed once.
const CodecModule* Codecs();

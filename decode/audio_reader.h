#pragma once

// The best audio stream of a file, decoded by FFmpeg's libraries and turned into
// interleaved 16-bit stereo frames at the stream's own rate: never resampled, more than
// two channels mixed down with the library's standard matrix, mono refused. The decoding
// itself lives in the codec module, loaded when the first reader is made.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Tags as FFmpeg names them ("title", "artist", ...), in RIFF INFO order.
using AudioTags = std::vector<std::pair<std::string, std::string>>;

// The tag keys kept, each with its RIFF INFO id.
struct TagKey {
    const char* name;
    const char* infoId;
};
inline constexpr TagKey kTagKeys[] = {
    {"title", "INAM"}, {"artist", "IART"}, {"album", "IPRD"},   {"date", "ICRD"},
    {"genre", "IGNR"}, {"track", "ITRK"},  {"comment", "ICMT"},
};

class AudioReader {
  public:
    enum class Status { Ok, NotAudio, NotStereo, ReadError };
    enum class Next { Frames, End, NotStereo, Failed };

    // What a reader does, as the codec module implements it.
    class Decoder {
      public:
        virtual ~Decoder() = default;
        virtual Status Open(const std::filesystem::path& path) = 0;
        virtual int SampleRate() const = 0;
        virtual double DeclaredSeconds() const = 0;
        virtual double Progress() const = 0;
        virtual AudioTags Tags() const = 0;
        virtual Next Read(std::vector<std::int16_t>& frames) = 0;
    };

    AudioReader();
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // Opens a regular file. Nothing but the file itself is ever opened: playlists and
    // other containers that name further files or addresses are refused. ReadError when
    // the codec module cannot be loaded.
    Status Open(const std::filesystem::path& path);

    int SampleRate() const;
    // The length the container declares, in seconds; 0 when it declares none.
    double DeclaredSeconds() const;
    // How far through the file the reading is, 0 .. 1.
    double Progress() const;
    AudioTags Tags() const;

    // Replaces frames with the next decoded frames (interleaved left, right).
    Next Read(std::vector<std::int16_t>& frames);

  private:
    std::unique_ptr<Decoder> m;  // null without the codec module
};

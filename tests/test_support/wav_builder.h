#pragma once

// Builds RIFF/WAVE files byte by byte for tests, awkward layouts included.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

void AppendLe16(Bytes& out, std::uint16_t v);
void AppendLe32(Bytes& out, std::uint32_t v);
void AppendId(Bytes& out, const char* id);  // four characters

// A chunk with the given id and body; the pad byte of an odd body is added unless
// padOdd is false. sizeOverride replaces the size field.
Bytes Chunk(const char* id, const Bytes& body, bool padOdd = true);
Bytes ChunkWithSize(const char* id, std::uint32_t sizeField, const Bytes& body);
Bytes ListChunk(const char* type, const std::vector<Bytes>& children);
Bytes Riff(const std::vector<Bytes>& chunks, const char* form = "WAVE");
Bytes Concat(const std::vector<Bytes>& parts);

// A 16-byte PCM "fmt " body (or a longer one with extra bytes).
Bytes FmtBody(std::uint16_t channels, std::uint32_t rate = 44100, std::uint16_t bits = 16,
              std::uint16_t tag = 1, const Bytes& extra = {});
// A 40-byte WAVE_FORMAT_EXTENSIBLE body for integer PCM.
Bytes ExtensibleFmtBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);

// Interleaved 16-bit samples as little-endian bytes.
Bytes Samples(const std::vector<std::int16_t>& interleaved);
std::vector<std::int16_t> SamplesOf(const Bytes& bytes);

// A plain 44-byte-header 16-bit file.
Bytes SimpleWav(const std::vector<std::int16_t>& interleaved, std::uint16_t channels = 2,
                std::uint32_t rate = 44100);

// A stereo test signal: a few tones and noise, deterministic.
std::vector<std::int16_t> TestSignal(std::size_t frames, std::uint32_t seed = 1);

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

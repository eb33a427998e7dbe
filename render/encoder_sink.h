#pragma once

#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "codecs/codec_module.h"
#include "render/file_sink.h"
#include "render/mp3_pieces.h"

// An output in a compressed or lossless format of the codec module's, encoded as the frames
// come, into a temporary file beside the output that replaces it on Commit. The container's
// bytes are not carried; the tags are.
class EncoderSink : public FileSink {
  public:
    // False when the output cannot be created. An MP3 is encoded in pieces, on pool's threads
    // where there is one (mp3_pieces.h).
    bool Create(const std::filesystem::path& output, const EncoderSettings& settings,
                AudioTags tags, CoverArt cover = {}, const std::stop_token& stop = {},
                RenderPool* pool = nullptr);
    int Error() const override { return m_output.Error(); }
    std::string ErrorDetail() const override;

    bool Format(const WaveFormat& format) override;
    bool Frames(const unsigned char* bytes, std::size_t n) override;
    bool Prepare() override;
    SafeOutput& Output() override { return m_output; }

  private:
    SafeOutput m_output;
    std::unique_ptr<AudioEncoder> m_encoder;
    std::unique_ptr<Mp3Pieces> m_pieces;  // null: the encoder takes the frames itself
    EncoderSettings m_settings;
    RenderPool* m_pool = nullptr;
    AudioTags m_tags;
    CoverArt m_cover;
    std::vector<std::int16_t> m_samples;
    std::uint64_t m_frames = 0;  // written so far
    int m_rate = 44100;
    std::string m_tooShort;  // why the file cannot be written, found at its end
    bool m_opened = false;
    bool m_failed = false;
};

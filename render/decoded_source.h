#pragma once

#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "render/render_source.h"

// Any audio file the codec module reads, as the 16-bit stereo frames it decodes to, at the
// stream's own rate, with the file's tags. Nothing of it is stored on the way.
class DecodedSource : public RenderSource, private ByteInput {
  public:
    DecodedSource();
    ~DecodedSource() override;

    // NotAudio when the file holds no audio stream the decoder knows (or the codec module
    // cannot be loaded), NotStereo for a mono stream, Interrupted when stop came first.
    SourceStatus Open(const std::filesystem::path& path, const std::stop_token& stop = {});
    // For a write whose output lasts growth times the input (a changed tempo), noted in a WAV
    // output's tags: before Limit and Walk.
    void WillStretch(double growth, const std::string& note);

    void Walk(WalkHandler& handler) override;
    ByteInput& DataInput() override { return *this; }
    double Progress() const override { return m_decoder->Progress(); }
    AudioTags Tags() override { return m_decoder->Tags(); }
    CoverArt Cover() override { return m_decoder->Cover(); }
    std::optional<AudioTags> WaveTags() const override { return m_waveTags; }
    SourceStatus Status() const override { return m_status; }
    SourceStatus Limit(std::uint64_t diskBytes, bool wav) override;
    std::optional<JobMessage> Warning() const override;
    std::uint64_t DeclaredBytes() const override;
    std::uint32_t DeclaredByteRate() const override {
        return static_cast<std::uint32_t>(m_decoder->SampleRate()) * 4;
    }

  private:
    std::size_t Read(unsigned char* buffer, std::size_t n) override;
    bool Refill();
    std::uint64_t ReadFor(std::uint64_t written) const;
    void Stop(SourceStatus status) {
        m_status = status;
        m_ended = true;
    }

    std::unique_ptr<AudioDecoder> m_decoder;
    AudioTags m_waveTags;
    std::uint64_t m_diskBytes = 0;
    std::uint64_t m_formatBytes = 0;
    std::uint64_t m_dataBytes = 0;
    double m_declaredSeconds = 0;  // 0: the file declares no length
    double m_growth = 1.0;
    std::vector<std::int16_t> m_frames;
    std::size_t m_taken = 0;  // bytes of m_frames read already
    bool m_ended = false;
    SourceStatus m_status = SourceStatus::Ok;
};

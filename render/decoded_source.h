#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "render_source.h"

// Any audio file the codec module reads, as the 16-bit stereo WAV it decodes to: a header at
// the stream's own rate with the file's tags, then the decoded frames, then the header's size
// fields. Nothing of it is stored on the way.
class DecodedSource : public RenderSource, private ByteInput {
  public:
    DecodedSource();
    ~DecodedSource() override;

    // NotAudio when the file holds no audio stream the decoder knows (or the codec module
    // cannot be loaded), NotStereo for a mono stream.
    SourceStatus Open(const std::filesystem::path& path);

    void Walk(SourceHandler& handler) override;
    ByteInput& DataInput() override { return *this; }
    double Progress() const override;
    AudioTags Tags() override;
    SourceStatus Status() const override { return m_status; }
    bool FitsIn(std::uint64_t budget) override;

  private:
    std::size_t Read(unsigned char* buffer, std::size_t n) override;
    bool Refill();

    std::unique_ptr<AudioDecoder> m_decoder;
    std::uint64_t m_budget = 0;
    std::uint64_t m_dataBytes = 0;
    std::vector<std::int16_t> m_frames;
    std::size_t m_taken = 0;  // bytes of m_frames read already
    bool m_ended = false;
    SourceStatus m_status = SourceStatus::Ok;
};

// Sample bytes a decoded file may fill in a folder: its free space less a reserve for
// everything else, and no more than a RIFF size can count.
std::uint64_t DecodeBudget(const std::filesystem::path& folder);
// The budget where the free space does not matter (an output that is a device).
std::uint64_t UnboundedDecodeBudget();

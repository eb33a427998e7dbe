#pragma once

#include <sys/stat.h>

#include <filesystem>

#include "container/file_input.h"
#include "render/render_source.h"

// A RIFF/WAVE file (or any file the engine reads as it is) walked in file order. A file that
// changes while it is read (its size or modification time differ before and after) is no
// copy of either version.
class WavSource : public RenderSource {
  public:
    // False when the path is no regular file or cannot be opened.
    bool Open(const std::filesystem::path& path);

    void Walk(WalkHandler& handler) override;
    ByteInput& DataInput() override { return m_input; }
    std::optional<FilePlace> DataPlace(std::uint64_t length) override;
    bool SkipData(std::uint64_t bytes) override;
    AudioTags Tags() override;
    SourceStatus Status() const override { return m_status; }

  private:
    std::filesystem::path m_path;
    FileInput m_input;
    struct stat m_before {};
    SourceStatus m_status = SourceStatus::Ok;
};

#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>

#include "container/wave_header.h"
#include "render/file_sink.h"

// A WAV output: the container's bytes and the processed data, as they come, into a temporary
// file beside the output that replaces it on Commit (see SafeOutput). For frames without a
// container, the header is the sink's own (wave_header.h), its sizes filled in at their end.
class WavSink : public FileSink {
  public:
    // ownHeader: the tags of a header of the sink's own; nothing: the input's container.
    explicit WavSink(std::optional<Tags> ownHeader = std::nullopt)
        : m_ownHeader(std::move(ownHeader)) {}
    // False when the output cannot be created.
    bool Create(const std::filesystem::path& output, const std::stop_token& stop = {});
    int Error() const override { return m_writeError != 0 ? m_writeError : m_output.Error(); }
    // Writes into a file that is open already and stays the caller's (a decoded copy).
    void Adopt(std::FILE* file) { m_adopted = file; }

    bool Container(const unsigned char* bytes, std::size_t n) override { return Put(bytes, n); }
    bool Format(const WaveFormat& format) override;
    bool Frames(const unsigned char* bytes, std::size_t n) override { return Put(bytes, n); }
    bool EndOfData() override;
    // The bytes of the sink's own header, once written; 0 before, or without one.
    std::size_t HeaderBytes() const { return m_header.size(); }
    std::string ErrorDetail() const override;
    std::optional<FilePlace> FramesPlace() override;
    bool SkipFrames(std::uint64_t bytes) override;
    void WriteFailedWith(int error) override {
        m_failed = true;
        m_writeError = m_writeError != 0 ? m_writeError : error;
    }
    bool WritesBackEarly() const override { return m_output.Syncs(); }
    void StartWriteBack() override;
    bool Prepare() override;
    SafeOutput& Output() override { return m_output; }
    bool Commit() override;

  private:
    bool Put(const unsigned char* bytes, std::size_t n);
    std::FILE* File() const { return m_adopted != nullptr ? m_adopted : m_output.File(); }

    std::optional<Tags> m_ownHeader;
    std::string m_header;  // as written, its sizes still zero
    SafeOutput m_output;
    std::FILE* m_adopted = nullptr;
    std::uint64_t m_written = 0;
    std::uint64_t m_writtenBack = 0;
    bool m_failed = false;
    int m_writeError = 0;
    bool m_cannotGoBack = false;  // sizes to fill in, in a pipe
};

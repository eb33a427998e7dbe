#include "render/wav_source.h"

#include <algorithm>

namespace {

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

bool WavSource::Open(const std::filesystem::path& path) {
    m_path = path;
    return m_input.Open(path) && ::fstat(::fileno(m_input.File()), &m_before) == 0;
}

void WavSource::Walk(WalkHandler& handler) {
    WalkWave(m_input, handler);
    struct stat after {};
    if (m_input.Failed() || ::fstat(::fileno(m_input.File()), &after) != 0) {
        m_status = SourceStatus::ReadFailed;
    } else if (!SameStamp(m_before, after)) {
        m_status = SourceStatus::Changed;
    }
}

std::optional<FilePlace> WavSource::DataPlace(std::uint64_t length) {
    struct stat info {};
    const std::int64_t offset = m_input.Tell();
    if (offset < 0 || ::fstat(::fileno(m_input.File()), &info) != 0) {
        return std::nullopt;
    }
    const std::uint64_t present =
        info.st_size > offset ? static_cast<std::uint64_t>(info.st_size - offset) : 0;
    return FilePlace{::fileno(m_input.File()), offset, std::min(length, present)};
}

bool WavSource::SkipData(std::uint64_t bytes) {
    m_input.Seek(m_input.Tell() + static_cast<std::int64_t>(bytes));
    return !m_input.Failed();
}

AudioTags WavSource::Tags() {
    const CodecModule* codecs = Codecs();
    if (codecs == nullptr) {
        return {};
    }
    const std::unique_ptr<AudioDecoder> decoder = codecs->newDecoder();
    return decoder->Open(m_path) == AudioDecoder::Status::Ok ? decoder->Tags() : AudioTags{};
}

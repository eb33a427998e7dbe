#include "container/file_input.h"

#include <system_error>

constexpr std::size_t kBufferBytes = 1 << 20;

FileInput::~FileInput() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool FileInput::Open(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file != nullptr) {
        std::setvbuf(m_file, nullptr, _IOFBF, kBufferBytes);
    }
    return m_file != nullptr;
}

std::size_t FileInput::Read(unsigned char* buffer, std::size_t n) {
    if (m_failed || n == 0) {
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, n, m_file);
    m_failed = got < n && std::ferror(m_file) != 0;
    return got;
}

void FileInput::Seek(std::int64_t position) {
    m_failed = m_failed || fseeko(m_file, static_cast<off_t>(position), SEEK_SET) != 0;
}

std::int64_t FileInput::Tell() const {
    return ftello(m_file);
}

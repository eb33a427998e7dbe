#include "jobs/input_file.h"

#include <system_error>

namespace fs = std::filesystem;

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        Release();
        m_path = std::move(other.m_path);
        m_status = other.m_status;
        m_length = other.m_length;
        m_copy = std::move(other.m_copy);
        m_decoder = std::move(other.m_decoder);
    }
    return *this;
}

void InputFile::Release() {
    StopDecoding();
    if (m_copy) {
        m_copy->Remove();
    }
}

void InputFile::StopDecoding() {
    if (m_decoder.joinable()) {
        m_copy->Cancel();
        m_decoder.join();
    }
}

std::unique_ptr<PlayInput> InputFile::Open(std::stop_token stop, const Shared<int>* seek) const {
    if (m_copy) {
        return DecodedCopy::Reader(m_copy, std::move(stop), seek);
    }
    auto file = std::make_unique<PlayFile>();
    return file->Open(m_path) ? std::move(file) : nullptr;
}

InputFile StartInput(const fs::path& path, DiskSpace& disk, JobObserver* observer) {
    InputFile input;
    input.m_path = path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        input.m_status = InputStatus::NotAudio;
        return input;
    }
    // Missing files, FIFOs and devices are the job's to refuse, without blocking.
    if (!fs::is_regular_file(status) || EngineReadsAsIs(path)) {
        input.m_length = ProbeWaveLength(path);
        return input;
    }
    input.m_copy = std::make_shared<DecodedCopy>();
    try {
        input.m_decoder = std::thread(
            [copy = input.m_copy, path, &disk, observer] { copy->Decode(path, disk, observer); });
    } catch (const std::system_error&) {
        input.m_copy->Decode(path, disk, observer);  // no thread to be had: decoded first
    }
    return input;
}

InputFile PrepareInput(const fs::path& path, const std::stop_token& cancel, DiskSpace& disk,
                       JobObserver& observer) {
    InputFile input = StartInput(path, disk);
    if (!input.WaitForDecoding(cancel, observer)) {
        input.StopDecoding();
    }
    return input;
}

void WarnWhenDecoded::Position(int step) {
    m_observer.Position(step);
    Check();
}

void WarnWhenDecoded::Level(int segments) {
    m_observer.Level(segments);
    Check();
}

void WarnWhenDecoded::Check() {
    if (m_told || m_input.Decoding()) {
        return;
    }
    m_told = true;
    if (const std::optional<JobMessage> warning = m_input.Warning()) {
        m_observer.Message(*warning);
    }
}

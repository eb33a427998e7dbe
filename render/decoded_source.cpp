#include "decoded_source.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>

#include "riff.h"
#include "wave_header.h"

namespace {

constexpr std::uint64_t kReserveBytes = 64u << 20;  // left free for everything else
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - (1u << 20);  // RIFF sizes are 32-bit
constexpr std::size_t kFrameBytes = 4;

std::uint64_t FreeBytes(const std::filesystem::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace

std::uint64_t DecodeBudget(const std::filesystem::path& folder) {
    const std::uint64_t free = FreeBytes(folder);
    const std::uint64_t budget = free > kReserveBytes ? free - kReserveBytes : 0;
    return std::min(budget, kMaxDataBytes);
}

std::uint64_t UnboundedDecodeBudget() {
    return kMaxDataBytes;
}

DecodedSource::DecodedSource() = default;
DecodedSource::~DecodedSource() = default;

SourceStatus DecodedSource::Open(const std::filesystem::path& path) {
    const CodecModule* codecs = Codecs();
    if (codecs != nullptr) {
        m_decoder = codecs->newDecoder();
    }
    const AudioDecoder::Status opened =
        m_decoder ? m_decoder->Open(path) : AudioDecoder::Status::ReadError;
    if (opened != AudioDecoder::Status::Ok) {
        m_status = opened == AudioDecoder::Status::NotStereo ? SourceStatus::NotStereo
                                                             : SourceStatus::NotAudio;
    }
    return m_status;
}

bool DecodedSource::FitsIn(std::uint64_t budget) {
    m_budget = budget;
    const double declared = m_decoder->DeclaredSeconds() * m_decoder->SampleRate() * kFrameBytes;
    return declared <= static_cast<double>(budget);
}

void DecodedSource::Walk(SourceHandler& handler) {
    const std::string header = WaveHeader(m_decoder->SampleRate(), m_decoder->Tags());
    const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
    if (!handler.Container(bytes, header.size())) {
        return;
    }
    handler.Format(ParseWaveFormat(bytes + kRiffHeaderBytes + kChunkHeaderBytes));
    if (!handler.Data(kUnknownLength) || m_status != SourceStatus::Ok) {
        return;
    }
    if (m_dataBytes == 0) {
        m_status = SourceStatus::NotAudio;  // nothing in it could be decoded
        return;
    }
    for (const SizeField& field : WaveSizeFields(header.size(), m_dataBytes)) {
        std::string value;
        PutLe32(value, field.value);
        if (!handler.Patch(field.offset, reinterpret_cast<const unsigned char*>(value.data()),
                           value.size())) {
            return;
        }
    }
}

bool DecodedSource::Refill() {
    m_taken = 0;
    m_frames.clear();
    while (m_frames.empty() && !m_ended) {
        switch (m_decoder->Read(m_frames)) {
            case AudioDecoder::Next::Frames:
                m_dataBytes += m_frames.size() * sizeof(std::int16_t);
                if (m_dataBytes > m_budget) {
                    m_status = SourceStatus::NoSpace;
                    m_ended = true;
                }
                break;
            case AudioDecoder::Next::End:
                m_ended = true;
                break;
            case AudioDecoder::Next::NotStereo:
                m_status = SourceStatus::NotStereo;
                m_ended = true;
                break;
            case AudioDecoder::Next::Failed:
                m_status = SourceStatus::NotAudio;
                m_ended = true;
                break;
        }
    }
    return m_status == SourceStatus::Ok && !m_frames.empty();
}

std::size_t DecodedSource::Read(unsigned char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::size_t have = m_frames.size() * sizeof(std::int16_t) - m_taken;
        if (have == 0 && !Refill()) {
            break;
        }
        const std::size_t take =
            std::min(n - got, m_frames.size() * sizeof(std::int16_t) - m_taken);
        // The samples are little-endian in memory, as in the file.
        std::memcpy(buffer + got, reinterpret_cast<const unsigned char*>(m_frames.data()) + m_taken,
                    take);
        m_taken += take;
        got += take;
    }
    return got;
}

double DecodedSource::Progress() const {
    return m_decoder->Progress();
}

AudioTags DecodedSource::Tags() {
    return m_decoder->Tags();
}

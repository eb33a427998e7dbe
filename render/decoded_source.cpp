#include "render/decoded_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "container/riff.h"
#include "container/wave_header.h"
#include "container/wave_layout.h"
#include "processing/block.h"

namespace {

// A decoded input shorter than it declares by more than this is worth a word to the user.
constexpr double kShortfallSeconds = 0.2;
constexpr double kShortfallShare = 0.01;

// "2,400": seconds, rounded, with the thousands marked.
std::string Seconds(double seconds) {
    std::string digits = std::to_string(std::llround(seconds));
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

// The length the file declares: FFmpeg's, or a WAV header's where FFmpeg takes the file's
// own length for it (a WAV cut short declares more than FFmpeg says).
double DeclaredSeconds(const AudioDecoder& decoder, const std::filesystem::path& path) {
    const double declared = decoder.LengthDeclared() ? decoder.DeclaredSeconds() : 0;
    const WaveLayout wave = LocateWave(path);
    const bool known = wave.riffWave && wave.dataFound && wave.format.byteRate > 0 &&
                       wave.declaredDataBytes != 0 && wave.declaredDataBytes != 0xFFFFFFFFu;
    return known ? std::max(declared,
                            static_cast<double>(wave.declaredDataBytes) / wave.format.byteRate)
                 : declared;
}

}  // namespace

DecodedSource::DecodedSource() = default;
DecodedSource::~DecodedSource() = default;

SourceStatus DecodedSource::Open(const std::filesystem::path& path, const std::stop_token& stop) {
    const CodecModule* codecs = Codecs();
    if (codecs != nullptr) {
        m_decoder = codecs->newDecoder();
    }
    const auto interrupted = [stop] { return stop.stop_requested(); };
    switch (m_decoder ? m_decoder->Open(path, interrupted) : AudioDecoder::Status::ReadError) {
        case AudioDecoder::Status::Ok:
            m_waveTags = m_decoder->Tags();
            m_declaredSeconds = DeclaredSeconds(*m_decoder, path);
            break;
        case AudioDecoder::Status::NotStereo:
            m_status = SourceStatus::NotStereo;
            break;
        case AudioDecoder::Status::Interrupted:
            m_status = SourceStatus::Interrupted;
            break;
        default:
            m_status = SourceStatus::NotAudio;
            break;
    }
    return m_status;
}

void DecodedSource::WillStretch(double growth, const std::string& note) {
    m_growth = growth;
    m_waveTags.emplace_back("software", note);
}

// The bytes read that make written bytes: fewer where the tempo is slowed.
std::uint64_t DecodedSource::ReadFor(std::uint64_t written) const {
    return m_growth <= 1.0 ? written
                           : static_cast<std::uint64_t>(static_cast<double>(written) / m_growth);
}

std::uint64_t DecodedSource::DeclaredBytes() const {
    const double frames = std::ceil(m_decoder->DeclaredSeconds() * m_decoder->SampleRate());
    return static_cast<std::uint64_t>(frames) * kBytesPerFrame;
}

SourceStatus DecodedSource::Limit(std::uint64_t diskBytes, bool wav) {
    // A RIFF size counts the header after its first eight bytes and the data: 32 bits.
    // Both hold what is written, which a changed tempo makes longer or shorter than what is read.
    const std::size_t headerBytes = WaveHeader(m_decoder->SampleRate(), m_waveTags).size();
    const std::uint64_t riffRoom = 0xFFFFFFFFull - (headerBytes - kChunkHeaderBytes);
    m_formatBytes = wav ? ReadFor(riffRoom) / kBytesPerFrame * kBytesPerFrame : ~std::uint64_t{0};
    m_diskBytes = ReadFor(diskBytes);
    const std::uint64_t declared = DeclaredBytes();
    return declared > m_formatBytes ? SourceStatus::TooLong
           : declared > m_diskBytes ? SourceStatus::NoSpace
                                    : SourceStatus::Ok;
}

void DecodedSource::Walk(WalkHandler& handler) {
    handler.Format(StereoPcm16(static_cast<std::uint32_t>(m_decoder->SampleRate())));
    // A stream without a frame is an empty one, as a WAV without sample data is; but one with
    // nothing that could be decoded is none.
    if (handler.Data(kUnknownLength) && m_status == SourceStatus::Ok && m_dataBytes == 0 &&
        m_decoder->DamagedPackets() > 0) {
        m_status = SourceStatus::NotAudio;
    }
}

bool DecodedSource::Refill() {
    m_taken = 0;
    m_frames.clear();
    while (m_frames.empty() && !m_ended) {
        switch (m_decoder->Read(m_frames)) {
            case AudioDecoder::Next::Frames:
                m_dataBytes += m_frames.size() * sizeof(std::int16_t);
                if (m_dataBytes > m_formatBytes) {
                    Stop(SourceStatus::TooLong);
                } else if (m_dataBytes > m_diskBytes) {
                    Stop(SourceStatus::NoSpace);
                }
                break;
            case AudioDecoder::Next::End:
                m_ended = true;
                break;
            case AudioDecoder::Next::NotStereo:
                Stop(SourceStatus::NotStereo);
                break;
            case AudioDecoder::Next::Failed:
                Stop(SourceStatus::NotAudio);
                break;
            case AudioDecoder::Next::Changed:
                Stop(SourceStatus::Changed);
                break;
            case AudioDecoder::Next::Interrupted:
                Stop(SourceStatus::Interrupted);
                break;
        }
    }
    return m_status == SourceStatus::Ok && !m_frames.empty();
}

std::size_t DecodedSource::Read(unsigned char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        if (m_taken == m_frames.size() * sizeof(std::int16_t) && !Refill()) {
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

std::optional<JobMessage> DecodedSource::Warning() const {
    const std::uint64_t wholeFrames = m_dataBytes / kBytesPerFrame;
    const double decoded = static_cast<double>(wholeFrames) / m_decoder->SampleRate();
    const double declared = m_declaredSeconds;
    const bool shortOf = declared > 0 && declared - decoded > kShortfallSeconds &&
                         declared - decoded > kShortfallShare * declared;
    const int damaged = m_decoder->DamagedPackets();
    if (!shortOf && damaged == 0) {
        return std::nullopt;
    }
    std::string text = "decoded " + Seconds(decoded) + " s";
    if (shortOf) {
        text += " of the " + Seconds(declared) + " s it declares";
    }
    if (damaged > 0) {
        text += "; " + std::to_string(damaged) + " damaged part" + (damaged == 1 ? "" : "s") +
                " skipped";
    }
    return JobMessage{JobError::DecodedShort, text};
}

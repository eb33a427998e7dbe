#include "render/encoder_sink.h"

#include <algorithm>
#include <cstring>
#include <string_view>

bool EncoderSink::Create(const std::filesystem::path& output, const EncoderSettings& settings,
                         AudioTags tags, CoverArt cover, const std::stop_token& stop,
                         RenderPool* pool) {
    m_settings = settings;
    m_pool = pool;
    const CodecModule* codecs = Codecs();
    m_tags = std::move(tags);
    m_cover = std::move(cover);
    if (codecs == nullptr || !m_output.Create(ResolveOutputTarget(output), stop)) {
        return false;
    }
    m_settings.seekable = m_output.Seekable();
    m_encoder = codecs->newEncoder(m_settings);
    return m_encoder != nullptr;
}

bool EncoderSink::Format(const WaveFormat& format) {
    if (!m_opened) {
        m_opened = true;
        m_rate = static_cast<int>(format.sampleRate);
        m_failed = !m_encoder->Open(m_output.File(), m_rate, m_tags, m_cover);
        if (!m_failed && m_settings.format == "mp3" && Mp3Pieces::Holds(m_rate)) {
            m_pieces = std::make_unique<Mp3Pieces>(m_settings, m_rate, *m_encoder, m_pool);
        }
    }
    return !m_failed;
}

bool EncoderSink::Frames(const unsigned char* bytes, std::size_t n) {
    // The samples are little-endian in memory, as in the file; a partial frame is dropped.
    m_samples.resize(n / 4 * 2);
    m_frames += n / 4;
    std::memcpy(m_samples.data(), bytes, m_samples.size() * sizeof(std::int16_t));
    m_failed = m_failed || !m_opened ||
               !(m_pieces != nullptr ? m_pieces->Write(m_samples.data(), n / 4)
                                     : m_encoder->Write(m_samples.data(), n / 4));
    return !m_failed;
}

bool EncoderSink::Prepare() {
    // An input without sample data still gets a file of the format.
    if ((!m_opened && !Format(StereoPcm16(44100))) || m_failed) {
        return false;
    }
    // The lossy formats hold no stream shorter than a frame of theirs that a player opens: an
    // MP3, AAC or Ogg Vorbis file of no audio, an M4A or Opus file of less than a hundredth
    // of a second, is one no player reads. Such a file is not written.
    const std::string_view format = m_settings.format;
    const std::uint64_t least = format == "flac"                        ? 0
                                : (format == "m4a" || format == "opus") ? std::max(m_rate / 100, 1)
                                                                        : 1;
    if (m_frames < least) {
        m_tooShort = m_frames == 0 ? "the input holds no audio, and a file of this format "
                                     "cannot be empty (write .wav or .flac)"
                                   : "the input's " + std::to_string(m_frames) +
                                         " frames are too few for a file of this format, which "
                                         "needs a hundredth of a second (write .wav or .flac)";
        m_failed = true;
        return false;
    }
    m_failed = !(m_pieces != nullptr ? m_pieces->Finish() : m_encoder->Finish());
    return !m_failed && m_output.Finish();
}

std::string EncoderSink::ErrorDetail() const {
    if (!m_tooShort.empty()) {
        return m_tooShort;
    }
    const std::string pieces = m_pieces != nullptr ? m_pieces->Error() : "";
    const std::string encoder = !pieces.empty()        ? pieces
                                : m_encoder != nullptr ? m_encoder->Error()
                                                       : "";
    return encoder.empty() ? RenderSink::ErrorDetail() : encoder;
}

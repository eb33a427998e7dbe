#include "encoder_sink.h"

#include <cstring>

bool EncoderSink::Create(const std::filesystem::path& output, const EncoderSettings& settings,
                         AudioTags tags, CoverArt cover, const Shared<int>* stop) {
    const CodecModule* codecs = Codecs();
    m_codecsMissing = codecs == nullptr;
    m_encoder = codecs != nullptr ? codecs->newEncoder(settings) : nullptr;
    m_tags = std::move(tags);
    m_cover = std::move(cover);
    return m_encoder != nullptr && m_output.Create(ResolveOutputTarget(output), stop);
}

bool EncoderSink::Format(const WaveFormat& format) {
    if (!m_opened) {
        m_opened = true;
        m_failed =
            !m_encoder->Open(m_output.File(), static_cast<int>(format.sampleRate), m_tags, m_cover);
    }
    return !m_failed;
}

bool EncoderSink::Frames(const unsigned char* bytes, std::size_t n) {
    // The samples are little-endian in memory, as in the file; a partial frame is dropped.
    m_samples.resize(n / 4 * 2);
    std::memcpy(m_samples.data(), bytes, m_samples.size() * sizeof(std::int16_t));
    m_failed = m_failed || !m_opened || !m_encoder->Write(m_samples.data(), n / 4);
    return !m_failed;
}

bool EncoderSink::Commit() {
    // An input without sample data still gets a file of the format.
    if (!m_opened && !Format(WaveFormat{1, 2, 44100, 176400, 4, 16})) {
        return false;
    }
    return !m_failed && m_encoder->Finish() && m_output.Commit();
}

std::string EncoderSink::ErrorDetail() const {
    const std::string encoder = m_encoder != nullptr ? m_encoder->Error() : "";
    return encoder.empty() ? RenderSink::ErrorDetail() : encoder;
}

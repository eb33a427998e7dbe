#include "ffmpeg_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kIoBufferBytes = 1 << 16;

struct OutputFile {
    std::FILE* file;
    bool failed = false;
};

int WritePacket(void* opaque, std::uint8_t* buffer, int size) {
    auto* out = static_cast<OutputFile*>(opaque);
    if (std::fwrite(buffer, 1, static_cast<std::size_t>(size), out->file) !=
        static_cast<std::size_t>(size)) {
        out->failed = true;
        return AVERROR(EIO);
    }
    return size;
}

std::int64_t SeekOutput(void* opaque, std::int64_t offset, int whence) {
    auto* out = static_cast<OutputFile*>(opaque);
    if (whence & AVSEEK_SIZE) {
        return AVERROR(ENOSYS);
    }
    if (fseeko(out->file, offset, whence & ~AVSEEK_FORCE) != 0) {
        return AVERROR(EIO);
    }
    return ftello(out->file);
}

// The encoder, the muxer and their buffers for one file.
class FfmpegEncoder final : public AudioEncoder {
  public:
    explicit FfmpegEncoder(AVCodecID codecId) : m_codecId(codecId) {}
    ~FfmpegEncoder() override {
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        avcodec_free_context(&m_codec);
        if (m_format != nullptr) {
            avformat_free_context(m_format);
        }
        if (m_io != nullptr) {
            av_freep(&m_io->buffer);
            avio_context_free(&m_io);
        }
    }
    FfmpegEncoder(const FfmpegEncoder&) = delete;
    FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

    bool Open(std::FILE* out, int rate, const AudioTags& tags) override;
    bool Write(const std::int16_t* frames, std::size_t count) override;
    bool Finish() override;

  private:
    bool Drain();
    bool Encode(const std::int16_t* samples, int count);

    const AVCodecID m_codecId;
    OutputFile m_out{nullptr};
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    std::int64_t m_pts = 0;
    std::vector<std::int16_t> m_pending;  // interleaved frames not yet a whole encoder frame
};

bool FfmpegEncoder::Open(std::FILE* out, int rate, const AudioTags& tags) {
    m_out.file = out;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    m_io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, &m_out, nullptr, WritePacket,
                                       SeekOutput)
                  : nullptr;
    const AVCodec* encoder = avcodec_find_encoder(m_codecId);
    if (m_io == nullptr || encoder == nullptr ||
        avformat_alloc_output_context2(&m_format, nullptr, "flac", nullptr) < 0) {
        av_free(m_io ? nullptr : buffer);
        return false;
    }
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_BITEXACT;  // no encoder name among the tags
    for (const auto& [name, value] : tags) {
        av_dict_set(&m_format->metadata, name.c_str(), value.c_str(), 0);
    }
    m_codec = avcodec_alloc_context3(encoder);
    m_stream = avformat_new_stream(m_format, nullptr);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_codec == nullptr || m_stream == nullptr || m_frame == nullptr || m_packet == nullptr) {
        return false;
    }
    m_codec->sample_fmt = AV_SAMPLE_FMT_S16;
    m_codec->sample_rate = rate;
    m_codec->time_base = {1, rate};
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_copy(&m_codec->ch_layout, &stereo) < 0 ||
        avcodec_open2(m_codec, encoder, nullptr) < 0 ||
        avcodec_parameters_from_context(m_stream->codecpar, m_codec) < 0) {
        return false;
    }
    m_stream->time_base = m_codec->time_base;
    return avformat_write_header(m_format, nullptr) >= 0;
}

bool FfmpegEncoder::Drain() {
    int received = 0;
    while ((received = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        if (av_write_frame(m_format, m_packet) < 0) {
            return false;
        }
    }
    return received == AVERROR(EAGAIN) || received == AVERROR_EOF;
}

bool FfmpegEncoder::Encode(const std::int16_t* samples, int count) {
    av_frame_unref(m_frame);
    m_frame->nb_samples = count;
    m_frame->format = AV_SAMPLE_FMT_S16;
    m_frame->sample_rate = m_codec->sample_rate;
    if (av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0 ||
        av_frame_get_buffer(m_frame, 0) < 0) {
        return false;
    }
    std::memcpy(m_frame->data[0], samples, static_cast<std::size_t>(count) * 4);
    m_frame->pts = m_pts;
    m_pts += count;
    return avcodec_send_frame(m_codec, m_frame) >= 0 && Drain();
}

bool FfmpegEncoder::Write(const std::int16_t* frames, std::size_t count) {
    m_pending.insert(m_pending.end(), frames, frames + 2 * count);
    const std::size_t whole = static_cast<std::size_t>(m_codec->frame_size) * 2;
    std::size_t used = 0;
    for (; m_pending.size() - used >= whole; used += whole) {
        if (!Encode(m_pending.data() + used, m_codec->frame_size)) {
            return false;
        }
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
    return !m_out.failed;
}

bool FfmpegEncoder::Finish() {
    if (!m_pending.empty() && !Encode(m_pending.data(), static_cast<int>(m_pending.size() / 2))) {
        return false;
    }
    if (avcodec_send_frame(m_codec, nullptr) < 0 || !Drain()) {
        return false;
    }
    // The trailer goes back to fill in the stream's length and checksum.
    const bool written = av_write_trailer(m_format) >= 0;
    avio_flush(m_io);
    return written && !m_out.failed;
}

}  // namespace

std::unique_ptr<AudioEncoder> NewFfmpegEncoder(const char* format) {
    if (std::strcmp(format, "flac") == 0) {
        return std::make_unique<FfmpegEncoder>(AV_CODEC_ID_FLAC);
    }
    return nullptr;
}

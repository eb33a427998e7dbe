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
struct FlacEncoder {
    OutputFile out;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t pts = 0;
    std::vector<std::int16_t> pending;  // interleaved frames not yet a whole encoder frame

    explicit FlacEncoder(std::FILE* file) : out{file} {}
    ~FlacEncoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            avformat_free_context(format);
        }
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    bool Open(int rate, const AudioTags& tags) {
        auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
        io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, &out, nullptr, WritePacket,
                                         SeekOutput)
                    : nullptr;
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_FLAC);
        if (io == nullptr || encoder == nullptr ||
            avformat_alloc_output_context2(&format, nullptr, "flac", nullptr) < 0) {
            av_free(io ? nullptr : buffer);
            return false;
        }
        format->pb = io;
        format->flags |= AVFMT_FLAG_BITEXACT;  // no encoder name among the tags
        for (const auto& [name, value] : tags) {
            av_dict_set(&format->metadata, name.c_str(), value.c_str(), 0);
        }
        codec = avcodec_alloc_context3(encoder);
        stream = avformat_new_stream(format, nullptr);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (codec == nullptr || stream == nullptr || frame == nullptr || packet == nullptr) {
            return false;
        }
        codec->sample_fmt = AV_SAMPLE_FMT_S16;
        codec->sample_rate = rate;
        codec->time_base = {1, rate};
        const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (av_channel_layout_copy(&codec->ch_layout, &stereo) < 0 ||
            avcodec_open2(codec, encoder, nullptr) < 0 ||
            avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
            return false;
        }
        stream->time_base = codec->time_base;
        return avformat_write_header(format, nullptr) >= 0;
    }

    bool Drain() {
        int received = 0;
        while ((received = avcodec_receive_packet(codec, packet)) >= 0) {
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_write_frame(format, packet) < 0) {
                return false;
            }
        }
        return received == AVERROR(EAGAIN) || received == AVERROR_EOF;
    }

    bool Encode(const std::int16_t* samples, int count) {
        av_frame_unref(frame);
        frame->nb_samples = count;
        frame->format = AV_SAMPLE_FMT_S16;
        frame->sample_rate = codec->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 ||
            av_frame_get_buffer(frame, 0) < 0) {
            return false;
        }
        std::memcpy(frame->data[0], samples, static_cast<std::size_t>(count) * 4);
        frame->pts = pts;
        pts += count;
        return avcodec_send_frame(codec, frame) >= 0 && Drain();
    }

    bool Add(const std::vector<std::int16_t>& frames) {
        pending.insert(pending.end(), frames.begin(), frames.end());
        const std::size_t whole = static_cast<std::size_t>(codec->frame_size) * 2;
        std::size_t used = 0;
        for (; pending.size() - used >= whole; used += whole) {
            if (!Encode(pending.data() + used, codec->frame_size)) {
                return false;
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
        return true;
    }

    bool Finish() {
        if (!pending.empty() && !Encode(pending.data(), static_cast<int>(pending.size() / 2))) {
            return false;
        }
        if (avcodec_send_frame(codec, nullptr) < 0 || !Drain()) {
            return false;
        }
        // The trailer goes back to fill in the stream's length and checksum.
        const bool written = av_write_trailer(format) >= 0;
        avio_flush(io);
        return written && !out.failed;
    }
};

}  // namespace

FlacStatus EncodeFlac(const std::filesystem::path& wave, std::FILE* out,
                      const ProgressFn& progress) {
    const std::unique_ptr<AudioReader::Decoder> decoder = NewFfmpegDecoder();
    AudioReader::Decoder& reader = *decoder;
    if (reader.Open(wave) != AudioReader::Status::Ok) {
        return FlacStatus::ReadError;
    }
    FlacEncoder encoder(out);
    if (!encoder.Open(reader.SampleRate(), reader.Tags())) {
        return FlacStatus::WriteError;
    }
    std::vector<std::int16_t> frames;
    for (;;) {
        const AudioReader::Next next = reader.Read(frames);
        if (next == AudioReader::Next::End) {
            break;
        }
        if (next != AudioReader::Next::Frames) {
            return FlacStatus::ReadError;
        }
        if (!encoder.Add(frames)) {
            return FlacStatus::WriteError;
        }
        if (progress && !progress(reader.Progress())) {
            return FlacStatus::Cancelled;
        }
    }
    return encoder.Finish() ? FlacStatus::Done : FlacStatus::WriteError;
}

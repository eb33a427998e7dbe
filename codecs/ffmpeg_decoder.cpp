#include "ffmpeg_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>

#include <cstdio>

namespace {

using Status = AudioDecoder::Status;
using Next = AudioDecoder::Next;

constexpr int kIoBufferBytes = 1 << 16;

int ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
    const std::size_t got =
        std::fread(buffer, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(opaque));
    if (got > 0) {
        return static_cast<int>(got);
    }
    return std::ferror(static_cast<std::FILE*>(opaque)) ? AVERROR(EIO) : AVERROR_EOF;
}

std::int64_t SeekFile(void* opaque, std::int64_t offset, int whence) {
    auto* file = static_cast<std::FILE*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(::fileno(file), &info) == 0 ? info.st_size : AVERROR(EIO);
    }
    if (fseeko(file, offset, whence & ~AVSEEK_FORCE) != 0) {
        return AVERROR(EIO);
    }
    return ftello(file);
}

// Demuxers that would open further files or addresses (playlists, concat lists) get none.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

// What one open file holds of FFmpeg: freed in reverse order when the decoder goes.
struct DecoderState {
    std::FILE* file = nullptr;
    std::int64_t fileBytes = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    int rate = 0;
    bool flushing = false;
    // What the converter was set up for; a change mid-stream sets it up again.
    int swrFormat = -1;
    AVChannelLayout swrLayout{};

    ~DecoderState() {
        av_channel_layout_uninit(&swrLayout);
        swr_free(&swr);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        if (file != nullptr) {
            std::fclose(file);
        }
    }

    bool SetUpConverter(const AVFrame& in) {
        AVChannelLayout layout{};
        if (in.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&layout, in.ch_layout.nb_channels);
        } else if (av_channel_layout_copy(&layout, &in.ch_layout) < 0) {
            return false;
        }
        if (swr != nullptr && swrFormat == in.format &&
            av_channel_layout_compare(&layout, &swrLayout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrLayout = layout;
        swrFormat = in.format;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        // Same rate on both sides: the converter only changes the sample format and mixes
        // the channels down.
        return swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, rate, &swrLayout,
                                   static_cast<AVSampleFormat>(in.format), rate, 0, nullptr) >= 0 &&
               swr_init(swr) >= 0;
    }

    Next Convert(std::vector<std::int16_t>& frames) {
        if (frame->ch_layout.nb_channels < 2) {
            return Next::NotStereo;
        }
        if (!SetUpConverter(*frame)) {
            return Next::Failed;
        }
        frames.resize(static_cast<std::size_t>(frame->nb_samples) * 2);
        auto* out = reinterpret_cast<std::uint8_t*>(frames.data());
        const int done =
            swr_convert(swr, &out, frame->nb_samples,
                        const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
        if (done < 0) {
            return Next::Failed;
        }
        frames.resize(static_cast<std::size_t>(done) * 2);
        return Next::Frames;
    }

    // Hands the decoder its next packet of the stream; false when there is none.
    bool Feed() {
        while (!flushing) {
            const int read = av_read_frame(format, packet);
            if (read < 0) {
                // The end, or a file cut short: what was decoded so far stands.
                flushing = true;
                avcodec_send_packet(codec, nullptr);
                return true;
            }
            const bool ours = packet->stream_index == stream;
            // A damaged packet is skipped; the decoder goes on with the next one.
            const int sent = ours ? avcodec_send_packet(codec, packet) : -1;
            av_packet_unref(packet);
            if (sent >= 0) {
                return true;
            }
        }
        return false;
    }
};

class FfmpegDecoder final : public AudioDecoder {
  public:
    FfmpegDecoder() : m(std::make_unique<DecoderState>()) {}

    Status Open(const std::filesystem::path& path) override;
    int SampleRate() const override;
    double DeclaredSeconds() const override;
    double Progress() const override;
    AudioTags Tags() const override;
    Next Read(std::vector<std::int16_t>& frames) override;

  private:
    std::unique_ptr<DecoderState> m;
};

Status FfmpegDecoder::Open(const std::filesystem::path& path) {
    m->file = std::fopen(path.c_str(), "rb");
    if (m->file == nullptr) {
        return Status::ReadError;
    }
    m->fileBytes = SeekFile(m->file, 0, AVSEEK_SIZE);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    m->io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 0, m->file, ReadPacket, nullptr,
                                        SeekFile)
                   : nullptr;
    m->format = avformat_alloc_context();
    m->packet = av_packet_alloc();
    m->frame = av_frame_alloc();
    if (m->io == nullptr || m->format == nullptr || m->packet == nullptr || m->frame == nullptr) {
        av_free(m->io ? nullptr : buffer);
        return Status::ReadError;
    }
    m->format->pb = m->io;
    m->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    m->format->io_open = RefuseNestedOpen;
    // The name only helps the probe guess by its extension.
    if (avformat_open_input(&m->format, path.c_str(), nullptr, nullptr) < 0) {
        return Status::NotAudio;
    }
    if (avformat_find_stream_info(m->format, nullptr) < 0) {
        return Status::NotAudio;
    }
    const AVCodec* decoder = nullptr;
    m->stream = av_find_best_stream(m->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (m->stream < 0 || decoder == nullptr) {
        return Status::NotAudio;
    }
    const AVCodecParameters* params = m->format->streams[m->stream]->codecpar;
    if (params->ch_layout.nb_channels == 1) {
        return Status::NotStereo;
    }
    m->codec = avcodec_alloc_context3(decoder);
    if (m->codec == nullptr || avcodec_parameters_to_context(m->codec, params) < 0 ||
        avcodec_open2(m->codec, decoder, nullptr) < 0 || m->codec->sample_rate <= 0) {
        return Status::NotAudio;
    }
    m->rate = m->codec->sample_rate;
    for (unsigned i = 0; i < m->format->nb_streams; ++i) {
        if (static_cast<int>(i) != m->stream) {
            m->format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    return Status::Ok;
}

int FfmpegDecoder::SampleRate() const {
    return m->rate;
}

double FfmpegDecoder::DeclaredSeconds() const {
    const AVStream* stream = m->format->streams[m->stream];
    if (stream->duration > 0 && stream->time_base.den > 0) {
        return static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    if (m->format->duration > 0) {
        return static_cast<double>(m->format->duration) / AV_TIME_BASE;
    }
    return 0;
}

double FfmpegDecoder::Progress() const {
    if (m->fileBytes <= 0) {
        return 0;
    }
    const double done = static_cast<double>(avio_tell(m->io)) / static_cast<double>(m->fileBytes);
    return done < 0 ? 0 : done > 1 ? 1 : done;
}

AudioTags FfmpegDecoder::Tags() const {
    AudioTags tags;
    const AVDictionary* sources[] = {m->format->metadata, m->format->streams[m->stream]->metadata};
    for (const char* name : kCarriedTags) {
        for (const AVDictionary* source : sources) {
            const AVDictionaryEntry* entry = av_dict_get(source, name, nullptr, 0);
            if (entry != nullptr && entry->value[0] != '\0') {
                tags.emplace_back(name, entry->value);
                break;
            }
        }
    }
    return tags;
}

Next FfmpegDecoder::Read(std::vector<std::int16_t>& frames) {
    for (;;) {
        const int received = avcodec_receive_frame(m->codec, m->frame);
        if (received >= 0) {
            const Next next = m->Convert(frames);
            av_frame_unref(m->frame);
            if (next != Next::Frames || !frames.empty()) {
                return next;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            return Next::End;
        }
        if (received != AVERROR(EAGAIN) && received != AVERROR_INVALIDDATA) {
            return Next::Failed;
        }
        if (!m->Feed()) {
            return Next::End;
        }
    }
}

}  // namespace

void SetUpFfmpeg() {
    // What goes wrong reaches the user as the program's own message, not the library's.
    av_log_set_level(AV_LOG_QUIET);
    // A damaged header can declare a chunk of gigabytes, which a demuxer would try to
    // buffer whole: a 200-byte WAV took 2 GB and 4 s before it was refused. No buffer of
    // a real file's comes near this (cover art included); beyond it the file is refused at
    // once.
    av_max_alloc(kMaxFfmpegAllocation);
}

std::unique_ptr<AudioDecoder> NewFfmpegDecoder() {
    return std::make_unique<FfmpegDecoder>();
}

#include "codecs/ffmpeg_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "codecs/metadata_guard.h"
#include "codecs/tag_text.h"

namespace {

using Status = AudioDecoder::Status;
using Next = AudioDecoder::Next;

constexpr int kIoBufferBytes = 1 << 16;

// The file as FFmpeg reads it: through the view that bounds its tags, and only until the
// reader is interrupted.
struct ViewedFile {
    std::FILE* file = nullptr;
    FileView view;
    std::function<bool()> interrupted;
    bool wasInterrupted = false;

    ~ViewedFile() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    bool Interrupted() {
        wasInterrupted = wasInterrupted || (interrupted && interrupted());
        return wasInterrupted;
    }
    std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t n) const {
        return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0
                   ? std::fread(buffer, 1, n, file)
                   : 0;
    }
};

int ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
    auto* in = static_cast<ViewedFile*>(opaque);
    if (in->Interrupted()) {
        return AVERROR_EXIT;
    }
    const off_t at = ftello(in->file);
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(size), in->file);
    if (got > 0) {
        in->view.Patch(static_cast<std::uint64_t>(at), buffer, got);
        return static_cast<int>(got);
    }
    return std::ferror(in->file) ? AVERROR(EIO) : AVERROR_EOF;
}

std::int64_t SeekFile(void* opaque, std::int64_t offset, int whence) {
    auto* in = static_cast<ViewedFile*>(opaque);
    const auto hidden = static_cast<std::int64_t>(in->view.hidden);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(::fileno(in->file), &info) == 0 ? info.st_size - hidden : AVERROR(EIO);
    }
    whence &= ~AVSEEK_FORCE;
    if (whence == SEEK_SET) {
        offset += hidden;
    }
    if (fseeko(in->file, offset, whence) != 0) {
        return AVERROR(EIO);
    }
    return ftello(in->file) - hidden;
}

int CheckInterrupt(void* opaque) {
    return static_cast<ViewedFile*>(opaque)->Interrupted() ? 1 : 0;
}

// Demuxers that would open further files or addresses (playlists, concat lists) get none.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// What one open file holds of FFmpeg: freed in reverse order when the decoder goes.
struct DecoderState {
    ViewedFile in;
    struct stat opened {};
    std::int64_t fileBytes = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    int rate = 0;                      // of the output: that of the stream's first frame
    std::vector<std::int16_t> primed;  // the first frames, decoded to learn the rate
    bool flushing = false;
    bool converterDrained = false;
    int damaged = 0;
    // What the converter was set up for; a change mid-stream sets it up again.
    int swrFormat = -1;
    int swrRate = 0;
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
    }

    // Converts count frames of input (null: what the converter holds) and appends them to
    // frames; returns how many it appended, or below 0 when the converter failed.
    int ConvertInto(std::vector<std::int16_t>& frames, const std::uint8_t** input, int count) {
        const int room = swr_get_out_samples(swr, count);
        const std::size_t at = frames.size();
        frames.resize(at + static_cast<std::size_t>(std::max(room, 0)) * 2);
        auto* out = reinterpret_cast<std::uint8_t*>(frames.data() + at);
        const int done = swr_convert(swr, &out, room, input, count);
        frames.resize(at + static_cast<std::size_t>(std::max(done, 0)) * 2);
        return done;
    }

    // Samples the converter still holds (a resampler looks ahead), appended to frames.
    bool DrainConverter(std::vector<std::int16_t>& frames) {
        while (swr != nullptr && swr_get_out_samples(swr, 0) > 0) {
            if (const int done = ConvertInto(frames, nullptr, 0); done <= 0) {
                return done == 0;
            }
        }
        return true;
    }

    bool SetUpConverter(const AVFrame& decoded, std::vector<std::int16_t>& frames) {
        AVChannelLayout layout{};
        if (decoded.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&layout, decoded.ch_layout.nb_channels);
        } else if (av_channel_layout_copy(&layout, &decoded.ch_layout) < 0) {
            return false;
        }
        if (swr != nullptr && swrFormat == decoded.format && swrRate == decoded.sample_rate &&
            av_channel_layout_compare(&layout, &swrLayout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        const bool drained = DrainConverter(frames);
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrLayout = layout;
        swrFormat = decoded.format;
        swrRate = decoded.sample_rate;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        // Mixes down to stereo 16-bit; resamples only where the stream's rate changed.
        return drained &&
               swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, rate, &swrLayout,
                                   static_cast<AVSampleFormat>(decoded.format), decoded.sample_rate,
                                   0, nullptr) >= 0 &&
               swr_init(swr) >= 0;
    }

    Next Convert(std::vector<std::int16_t>& frames) {
        frames.clear();
        if (frame->ch_layout.nb_channels < 2) {
            return Next::NotStereo;
        }
        if (frame->sample_rate <= 0 || !SetUpConverter(*frame, frames)) {
            return Next::Failed;
        }
        const auto** input = const_cast<const std::uint8_t**>(frame->extended_data);
        return ConvertInto(frames, input, frame->nb_samples) < 0 ? Next::Failed : Next::Frames;
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
            // A damaged packet is skipped, and counted; the decoder goes on with the next one.
            const int sent = ours ? avcodec_send_packet(codec, packet) : -1;
            damaged += ours && sent < 0 ? 1 : 0;
            av_packet_unref(packet);
            if (sent >= 0) {
                return true;
            }
        }
        return false;
    }

    Next Ended(std::vector<std::int16_t>& frames) {
        struct stat now {};
        if (::fstat(::fileno(in.file), &now) != 0 || !SameStamp(opened, now)) {
            return Next::Changed;
        }
        if (!converterDrained) {
            converterDrained = true;
            frames.clear();
            if (DrainConverter(frames) && !frames.empty()) {
                return Next::Frames;
            }
        }
        return Next::End;
    }
};

class FfmpegDecoder final : public AudioDecoder {
  public:
    FfmpegDecoder() : m(std::make_unique<DecoderState>()) {}

    Status Open(const std::filesystem::path& path, std::function<bool()> interrupted) override;
    int SampleRate() const override { return m->rate; }
    double DeclaredSeconds() const override;
    bool LengthDeclared() const override {
        return m->format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
    }
    int DamagedPackets() const override { return m->damaged; }
    bool Seek(double seconds) override;
    double Progress() const override;
    AudioTags Tags() const override;
    CoverArt Cover() const override { return m_cover; }
    Next Read(std::vector<std::int16_t>& frames) override;

  private:
    Status OpenStream(const std::filesystem::path& path);
    void KeepCover();

    CoverArt m_cover;

    std::unique_ptr<DecoderState> m;
};

Status FfmpegDecoder::Open(const std::filesystem::path& path, std::function<bool()> interrupted) {
    ViewedFile& in = m->in;
    in.file = std::fopen(path.c_str(), "rb");
    if (in.file == nullptr || ::fstat(::fileno(in.file), &m->opened) != 0) {
        return Status::ReadError;
    }
    in.interrupted = std::move(interrupted);
    m->fileBytes = m->opened.st_size;
    in.view = GuardMetadata([&in](std::uint64_t offset, unsigned char* buffer,
                                  std::size_t n) { return in.ReadAt(offset, buffer, n); },
                            static_cast<std::uint64_t>(m->fileBytes));
    if (SeekFile(&in, 0, SEEK_SET) < 0) {
        return Status::ReadError;
    }
    const Status status = OpenStream(path);
    return in.wasInterrupted ? Status::Interrupted : status;
}

Status FfmpegDecoder::OpenStream(const std::filesystem::path& path) {
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    m->io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 0, &m->in, ReadPacket, nullptr,
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
    m->format->interrupt_callback = {CheckInterrupt, &m->in};
    // The name only helps the probe guess by its extension.
    if (avformat_open_input(&m->format, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(m->format, nullptr) < 0) {
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
    KeepCover();
    for (unsigned i = 0; i < m->format->nb_streams; ++i) {
        if (static_cast<int>(i) != m->stream) {
            m->format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    // The stream's parameters may be those of a later part (a file of two parts at different
    // rates, one after the other): the first frame tells the rate it starts at.
    const Next first = Read(m->primed);
    if (m->rate <= 0) {
        m->rate = m->codec->sample_rate;
    }
    return first == Next::NotStereo ? Status::NotStereo
           : first == Next::Failed  ? Status::NotAudio
                                    : Status::Ok;
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

bool FfmpegDecoder::Seek(double seconds) {
    const AVStream* stream = m->format->streams[m->stream];
    const auto target = static_cast<std::int64_t>(seconds / av_q2d(stream->time_base));
    if (av_seek_frame(m->format, m->stream, target, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    avcodec_flush_buffers(m->codec);
    swr_free(&m->swr);
    m->primed.clear();
    m->flushing = false;
    m->converterDrained = false;
    return true;
}

double FfmpegDecoder::Progress() const {
    if (m->fileBytes <= 0) {
        return 0;
    }
    const double done = static_cast<double>(avio_tell(m->io)) / static_cast<double>(m->fileBytes);
    return std::clamp(done, 0.0, 1.0);
}

// The first picture the demuxer read with the header, where it is a JPEG or PNG image.
void FfmpegDecoder::KeepCover() {
    for (unsigned i = 0; i < m->format->nb_streams; ++i) {
        const AVStream* stream = m->format->streams[i];
        const AVCodecID codec = stream->codecpar->codec_id;
        const AVPacket& picture = stream->attached_pic;
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0 && picture.size > 0 &&
            static_cast<std::size_t>(picture.size) <= kMaxCoverBytes &&
            (codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_PNG)) {
            m_cover.png = codec == AV_CODEC_ID_PNG;
            m_cover.width = stream->codecpar->width;
            m_cover.height = stream->codecpar->height;
            m_cover.bytes.assign(picture.data, picture.data + picture.size);
            return;
        }
    }
}

AudioTags FfmpegDecoder::Tags() const {
    AudioTags tags;
    const AVDictionary* sources[] = {m->format->metadata, m->format->streams[m->stream]->metadata};
    for (const char* name : kCarriedTags) {
        for (const AVDictionary* source : sources) {
            const AVDictionaryEntry* entry = av_dict_get(source, name, nullptr, 0);
            const std::string text = entry != nullptr ? CleanTagText(entry->value) : std::string();
            if (!text.empty()) {
                tags.emplace_back(name, text);
                break;
            }
        }
    }
    return tags;
}

Next FfmpegDecoder::Read(std::vector<std::int16_t>& frames) {
    if (!m->primed.empty()) {
        frames.swap(m->primed);
        m->primed.clear();
        return Next::Frames;
    }
    for (;;) {
        if (m->in.Interrupted()) {
            return Next::Interrupted;
        }
        const int received = avcodec_receive_frame(m->codec, m->frame);
        if (received >= 0) {
            // The decoder's context holds the rate of the frame it decoded last; a frame's own
            // field can still hold the one before, where the rate changed (MP3).
            if (m->codec->sample_rate > 0) {
                m->frame->sample_rate = m->codec->sample_rate;
            }
            m->rate = m->rate > 0 ? m->rate : m->frame->sample_rate;
            const Next next = m->Convert(frames);
            av_frame_unref(m->frame);
            if (next != Next::Frames || !frames.empty()) {
                return next;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            return m->Ended(frames);
        }
        m->damaged += received == AVERROR_INVALIDDATA ? 1 : 0;
        if (received != AVERROR(EAGAIN) && received != AVERROR_INVALIDDATA) {
            return Next::Failed;
        }
        if (!m->Feed()) {
            return m->Ended(frames);
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

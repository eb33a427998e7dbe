#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/ffmpeg_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/base64.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int kIoBufferBytes = 1 << 16;
// Frames handed at a time to an encoder that takes any number.
constexpr int kAnyFrameSize = 4096;

void AppendBigEndian32(std::vector<unsigned char>& block,
                       std::initializer_list<std::uint32_t> values) {
    for (const std::uint32_t value : values) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            block.push_back(static_cast<unsigned char>(value >> shift));
        }
    }
}

// Ogg Vorbis and Opus keep a picture as the Vorbis comment METADATA_BLOCK_PICTURE: a FLAC
// picture block (type 3, the front cover), in base64. Empty when it does not fit a comment.
std::string PictureComment(const CoverArt& cover) {
    const char* mime = cover.png ? "image/png" : "image/jpeg";
    const std::size_t mimeLength = std::strlen(mime);
    std::vector<unsigned char> block;
    block.reserve(32 + mimeLength + cover.bytes.size());
    AppendBigEndian32(block, {3, static_cast<std::uint32_t>(mimeLength)});
    block.insert(block.end(), mime, mime + mimeLength);
    // No description, width, height, 24 bits per pixel, not indexed, the picture's length.
    AppendBigEndian32(block, {0, static_cast<std::uint32_t>(cover.width),
                              static_cast<std::uint32_t>(cover.height), 24, 0,
                              static_cast<std::uint32_t>(cover.bytes.size())});
    block.insert(block.end(), cover.bytes.begin(), cover.bytes.end());
    if (block.size() > static_cast<std::size_t>(INT32_MAX / 2)) {
        return {};
    }
    std::string text(AV_BASE64_SIZE(block.size()), '\0');
    if (av_base64_encode(text.data(), static_cast<int>(text.size()), block.data(),
                         static_cast<int>(block.size())) == nullptr) {
        return {};
    }
    text.resize(std::strlen(text.c_str()));
    return text;
}

struct OutputFile {
    std::FILE* file;
    bool failed = false;
    int error = 0;
};

int WritePacket(void* opaque, std::uint8_t* buffer, int size) {
    auto* out = static_cast<OutputFile*>(opaque);
    if (std::fwrite(buffer, 1, static_cast<std::size_t>(size), out->file) !=
        static_cast<std::size_t>(size)) {
        out->failed = true;
        out->error = errno != 0 ? errno : EIO;
        return AVERROR(out->error);
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

// "8, 16, 24": the numbers a message offers.
std::string NumberList(const std::vector<int>& numbers) {
    std::string list;
    for (const int n : numbers) {
        list += (list.empty() ? "" : ", ") + std::to_string(n);
    }
    return list;
}

// The encoder's own sample format closest to 16-bit stereo: no conversion where it takes that.
AVSampleFormat SampleFormatFor(const AVCodec& encoder) {
    if (encoder.sample_fmts == nullptr) {
        return AV_SAMPLE_FMT_S16;
    }
    for (const AVSampleFormat wanted : {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P}) {
        for (const AVSampleFormat* f = encoder.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == wanted) {
                return wanted;
            }
        }
    }
    return encoder.sample_fmts[0];
}

// The bit rates an MP3 stream at this sample rate can have (kbps): those of MPEG-1 at 32 kHz
// and above, MPEG-2 at 16 to 24 kHz, MPEG-2.5 below. LAME writes the nearest for any other.
std::vector<int> Mp3Bitrates(int rate) {
    if (rate >= 32000) {
        return {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    }
    if (rate >= 16000) {
        return {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    }
    return {8, 16, 24, 32, 40, 48, 56, 64};
}

// The encoder, the muxer and their buffers for one file; or, as a PacketEncoder, the encoder
// alone, in pieces written side by side and joined, its packets collected instead of written.
class FfmpegEncoder final : public AudioEncoder, public PacketEncoder {
  public:
    FfmpegEncoder(const OutputFormatRow& format, EncoderSettings settings)
        : m_spec(format), m_settings(std::move(settings)) {}
    ~FfmpegEncoder() override {
        av_freep(&m_converted[0]);
        swr_free(&m_swr);
        av_audio_fifo_free(m_fifo);
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        avcodec_free_context(&m_codec);
        avformat_free_context(m_format);
        if (m_io != nullptr) {
            av_freep(&m_io->buffer);
            avio_context_free(&m_io);
        }
    }
    FfmpegEncoder(const FfmpegEncoder&) = delete;
    FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

    bool Open(std::FILE* out, int rate, const AudioTags& tags, const CoverArt& cover) override;
    bool Write(const std::int16_t* frames, std::size_t count) override;
    bool Finish() override { return Flush() && WriteTrailer(); }
    // A file that failed tells the system's reason (no room, a size limit), whatever the
    // library made of it.
    std::string Error() const override {
        return m_out.failed ? std::strerror(m_out.error) : m_error;
    }
    bool WritePackets(const std::vector<EncodedPacket>& packets) override;
    bool FinishPackets() override { return WriteTrailer(); }

    bool Open(int rate) override;
    bool Write(const std::int16_t* frames, std::size_t count,
               std::vector<EncodedPacket>& packets) override {
        m_collect = &packets;
        return Write(frames, count);
    }
    bool Finish(std::vector<EncodedPacket>& packets) override {
        m_collect = &packets;
        return Flush();
    }

  private:
    bool MuxerIs(std::initializer_list<std::string_view> muxers) const {
        return std::ranges::find(muxers, m_spec.muxer) != muxers.end();
    }
    bool Flush();
    // Keeps why, with the library's words for code where it is one of its errors.
    bool Fail(const std::string& what, int code = 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        m_error = code != 0 ? what + ": " + text : what;
        return false;
    }
    const AVCodec* FindEncoder(int rate);
    bool AllocMuxer();
    bool OpenCodec(const AVCodec& encoder, int rate);
    bool OpenConverter(int rate);
    bool WriteHeader(const AudioTags& tags, const CoverArt& cover);
    bool AddCoverStream(const CoverArt& cover);
    bool WriteCover(const CoverArt& cover);
    bool Convert(const std::int16_t* frames, int count);
    bool EncodeWhole(bool last);
    bool SendFrame(int count, int size);
    bool Drain();
    bool NewPacket(const std::vector<std::uint8_t>& bytes);
    bool WriteAudioPacket();
    bool WriteTrailer();

    const OutputFormatRow& m_spec;
    const EncoderSettings m_settings;
    std::string m_error;
    OutputFile m_out{nullptr};
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVStream* m_coverStream = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwrContext* m_swr = nullptr;  // null: the encoder takes the frames as they come
    AVAudioFifo* m_fifo = nullptr;
    // The converter's output on its way to the FIFO, allocated by the library.
    std::uint8_t* m_converted[2] = {nullptr, nullptr};
    int m_convertedRoom = 0;  // frames
    std::int64_t m_pts = 0;
    std::vector<EncodedPacket>* m_collect = nullptr;
};

// The format's encoder, where FFmpeg has it and it takes the rate; null, the reason kept, where
// not.
const AVCodec* FfmpegEncoder::FindEncoder(int rate) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(m_spec.encoder);
    if (encoder == nullptr) {
        Fail(std::string("FFmpeg's libraries here have no ") + m_spec.encoder + " encoder for " +
             m_spec.label);
        return nullptr;
    }
    std::vector<int> rates;  // empty: any
    for (const int* r = encoder->supported_samplerates; r != nullptr && *r != 0; ++r) {
        rates.push_back(*r);
    }
    if (rates.empty() || std::ranges::find(rates, rate) != rates.end()) {
        return encoder;
    }
    std::ranges::sort(rates);
    Fail(std::string(m_spec.label) + " cannot hold audio at " + std::to_string(rate) +
         " Hz, only at " + NumberList(rates) + " Hz: write it in another format");
    return nullptr;
}

bool FfmpegEncoder::AllocMuxer() {
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    // A pipe is given no seek: the muxers of the formats that stream then write straight on.
    m_io = buffer != nullptr
               ? avio_alloc_context(buffer, kIoBufferBytes, 1, &m_out, nullptr, WritePacket,
                                    m_settings.seekable ? SeekOutput : nullptr)
               : nullptr;
    if (m_io == nullptr) {
        av_free(buffer);
        return Fail("out of memory");
    }
    if (!m_settings.seekable) {
        if (!m_spec.streams) {
            return Fail(std::string(m_spec.label) + " cannot be written to a pipe or a device");
        }
        m_io->seekable = 0;
    }
    const int made = avformat_alloc_output_context2(&m_format, nullptr, m_spec.muxer, nullptr);
    if (made < 0) {
        return Fail(std::string("FFmpeg's libraries cannot write ") + m_spec.label, made);
    }
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_BITEXACT;  // no library versions among the tags
    return true;
}

bool FfmpegEncoder::OpenCodec(const AVCodec& encoder, int rate) {
    m_codec = avcodec_alloc_context3(&encoder);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_codec == nullptr || m_frame == nullptr || m_packet == nullptr) {
        return Fail("out of memory");
    }
    m_codec->sample_fmt = SampleFormatFor(encoder);
    m_codec->sample_rate = rate;
    m_codec->time_base = {1, rate};
    m_codec->flags |= AV_CODEC_FLAG_BITEXACT;
    if (m_format != nullptr && (m_format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (std::strcmp(encoder.name, "libmp3lame") == 0 && !m_settings.vbr &&
        m_settings.bitrateKbps > 0) {
        const std::vector<int> rates = Mp3Bitrates(rate);
        if (std::find(rates.begin(), rates.end(), m_settings.bitrateKbps) == rates.end()) {
            return Fail("an MP3 at " + std::to_string(rate) + " Hz cannot have " +
                        std::to_string(m_settings.bitrateKbps) + " kbps; --bitrate " +
                        NumberList(rates) + " can be written");
        }
    }
    if (m_settings.vbr) {
        m_codec->flags |= AV_CODEC_FLAG_QSCALE;
        m_codec->global_quality = m_settings.quality * FF_QP2LAMBDA;
    } else if (m_settings.bitrateKbps > 0) {
        m_codec->bit_rate = std::int64_t{m_settings.bitrateKbps} * 1000;
    }
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (const int copied = av_channel_layout_copy(&m_codec->ch_layout, &stereo); copied < 0) {
        return Fail("out of memory", copied);
    }
    if (const int opened = avcodec_open2(m_codec, &encoder, nullptr); opened < 0) {
        return Fail(std::string("the ") + encoder.name + " encoder refused these settings", opened);
    }
    m_fifo = av_audio_fifo_alloc(m_codec->sample_fmt, 2, std::max(m_codec->frame_size, 1) * 2);
    return m_fifo != nullptr || Fail("out of memory");
}

// Frames go to the encoder as they are where it takes 16-bit stereo at their rate; otherwise
// the library's resampler converts them.
bool FfmpegEncoder::OpenConverter(int rate) {
    if (rate == m_codec->sample_rate && m_codec->sample_fmt == AV_SAMPLE_FMT_S16) {
        return true;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;  // taken by pointer, never changed
    int made = swr_alloc_set_opts2(&m_swr, &stereo, m_codec->sample_fmt, m_codec->sample_rate,
                                   &stereo, AV_SAMPLE_FMT_S16, rate, 0, nullptr);
    made = made < 0 ? made : swr_init(m_swr);
    return made >= 0 || Fail("the sample converter cannot be set up", made);
}

bool FfmpegEncoder::WriteHeader(const AudioTags& tags, const CoverArt& cover) {
    m_stream = avformat_new_stream(m_format, nullptr);
    if (m_stream == nullptr) {
        return Fail("out of memory");
    }
    if (const int copied = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
        copied < 0) {
        return Fail("out of memory", copied);
    }
    m_stream->time_base = m_codec->time_base;
    if (!AddCoverStream(cover)) {
        return false;
    }
    // Ogg keeps its comments with the stream; the others with the file.
    const bool ogg = MuxerIs({"ogg", "opus"});
    AVDictionary** metadata = ogg ? &m_stream->metadata : &m_format->metadata;
    for (const auto& [name, value] : tags) {
        av_dict_set(metadata, name.c_str(), value.c_str(), 0);
    }
    if (ogg && !cover.bytes.empty() && cover.width > 0 && cover.height > 0) {
        const std::string picture = PictureComment(cover);
        if (!picture.empty()) {
            av_dict_set(metadata, "METADATA_BLOCK_PICTURE", picture.c_str(), 0);
        }
    }
    if (!m_settings.note.empty()) {
        // The comment is the song's; the settings get a field of their own (a TXXX frame, a
        // Vorbis comment), or MP4's description, as it keeps no field it does not know.
        const char* field = MuxerIs({"ipod"}) ? "description" : "processing";
        av_dict_set(metadata, field, m_settings.note.c_str(), 0);
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "id3v2_version", "4", 0);  // MP3
    av_dict_set(&options, "write_id3v2", "1", 0);    // ADTS
    const int written = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    return written >= 0 || Fail("the file's header cannot be written", written);
}

// The formats with a place for a picture take it as a stream of its own, before the audio.
bool FfmpegEncoder::AddCoverStream(const CoverArt& cover) {
    if (cover.bytes.empty() || cover.width <= 0 || cover.height <= 0 ||
        !MuxerIs({"mp3", "ipod", "flac"})) {
        return true;
    }
    m_coverStream = avformat_new_stream(m_format, nullptr);
    if (m_coverStream == nullptr) {
        return Fail("out of memory");
    }
    m_coverStream->disposition = AV_DISPOSITION_ATTACHED_PIC;
    m_coverStream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    m_coverStream->codecpar->codec_id = cover.png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG;
    m_coverStream->codecpar->width = cover.width;
    m_coverStream->codecpar->height = cover.height;
    m_coverStream->time_base = {1, 90000};
    // The picture type ID3 and FLAC record: players show a front cover as the song's.
    av_dict_set(&m_coverStream->metadata, "comment", "Cover (front)", 0);
    return true;
}

bool FfmpegEncoder::WriteCover(const CoverArt& cover) {
    if (m_coverStream == nullptr) {
        return true;
    }
    if (!NewPacket(cover.bytes)) {
        return Fail("out of memory");
    }
    m_packet->stream_index = m_coverStream->index;
    m_packet->flags |= AV_PKT_FLAG_KEY;
    const int written = av_write_frame(m_format, m_packet);
    av_packet_unref(m_packet);
    return written >= 0 || (!m_out.failed && Fail("the cover cannot be written", written));
}

bool FfmpegEncoder::Open(std::FILE* out, int rate, const AudioTags& tags, const CoverArt& cover) {
    m_out.file = out;
    const int outRate = m_spec.rate != 0 ? m_spec.rate : rate;
    const AVCodec* encoder = FindEncoder(outRate);
    return encoder != nullptr && AllocMuxer() && OpenCodec(*encoder, outRate) &&
           OpenConverter(rate) && WriteHeader(tags, cover) && WriteCover(cover);
}

bool FfmpegEncoder::Open(int rate) {
    const AVCodec* encoder = FindEncoder(rate);
    return encoder != nullptr && OpenCodec(*encoder, rate) && OpenConverter(rate);
}

// The packets the encoder has ready go to the file, or are collected as they are, with the
// samples to skip the encoder told.
bool FfmpegEncoder::Drain() {
    int received = 0;
    while ((received = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
        if (m_collect == nullptr) {
            if (!WriteAudioPacket()) {
                return false;
            }
            continue;
        }
        EncodedPacket& packet = m_collect->emplace_back();
        packet.bytes.assign(m_packet->data, m_packet->data + m_packet->size);
        packet.duration = m_packet->duration;
        std::size_t size = 0;
        const std::uint8_t* skip =
            av_packet_get_side_data(m_packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
        if (skip != nullptr && size >= 8) {
            packet.skips = true;
            packet.skipStart = AV_RL32(skip);
            packet.skipEnd = AV_RL32(skip + 4);
        }
    }
    return received == AVERROR(EAGAIN) || received == AVERROR_EOF ||
           Fail("the encoder failed", received);
}

bool FfmpegEncoder::NewPacket(const std::vector<std::uint8_t>& bytes) {
    av_packet_unref(m_packet);
    if (av_new_packet(m_packet, static_cast<int>(bytes.size())) < 0) {
        return false;
    }
    std::memcpy(m_packet->data, bytes.data(), bytes.size());
    return true;
}

// The packet, stamped in the encoder's time base, into the file.
bool FfmpegEncoder::WriteAudioPacket() {
    av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
    m_packet->stream_index = m_stream->index;
    const int written = av_write_frame(m_format, m_packet);
    // A file that failed tells its own reason.
    return written >= 0 || (!m_out.failed && Fail("the encoded audio cannot be written", written));
}

// count of the FIFO's frames as one encoder frame of size frames, the rest silence where the
// encoder takes only whole frames.
bool FfmpegEncoder::SendFrame(int count, int size) {
    const bool smallLast = (m_codec->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    av_frame_unref(m_frame);
    m_frame->nb_samples = count < size && !smallLast ? size : count;
    m_frame->format = m_codec->sample_fmt;
    m_frame->sample_rate = m_codec->sample_rate;
    if (av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0 ||
        av_frame_get_buffer(m_frame, 0) < 0) {
        return Fail("out of memory");
    }
    if (m_frame->nb_samples > count) {
        av_samples_set_silence(m_frame->extended_data, count, m_frame->nb_samples - count, 2,
                               m_codec->sample_fmt);
    }
    if (av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(m_frame->extended_data), count) !=
        count) {
        return Fail("the sample queue failed");
    }
    m_frame->pts = m_pts;
    m_pts += m_frame->nb_samples;
    const int sent = avcodec_send_frame(m_codec, m_frame);
    return (sent >= 0 || Fail("the encoder failed", sent)) && Drain();
}

bool FfmpegEncoder::EncodeWhole(bool last) {
    const bool anySize = m_codec->frame_size <= 0 ||
                         (m_codec->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    const int size = anySize ? kAnyFrameSize : m_codec->frame_size;
    for (int queued = av_audio_fifo_size(m_fifo); queued >= size || (last && queued > 0);
         queued = av_audio_fifo_size(m_fifo)) {
        if (!SendFrame(std::min(queued, size), size)) {
            return false;
        }
    }
    return true;
}

// Into the FIFO in the encoder's format; null frames drain the resampler.
bool FfmpegEncoder::Convert(const std::int16_t* frames, int count) {
    if (m_swr == nullptr) {
        void* planes[] = {const_cast<std::int16_t*>(frames)};
        return av_audio_fifo_write(m_fifo, planes, count) == count || Fail("out of memory");
    }
    const int room = swr_get_out_samples(m_swr, count);
    if (room > m_convertedRoom) {
        av_freep(&m_converted[0]);
        const int made = av_samples_alloc(m_converted, nullptr, 2, room, m_codec->sample_fmt, 0);
        m_convertedRoom = made < 0 ? 0 : room;
    }
    if (room < 0 || room > m_convertedRoom) {
        return Fail("out of memory");
    }
    const auto* in = reinterpret_cast<const std::uint8_t*>(frames);
    const int got = swr_convert(m_swr, m_converted, room, frames != nullptr ? &in : nullptr, count);
    if (got < 0) {
        return Fail("the sample converter failed", got);
    }
    return av_audio_fifo_write(m_fifo, reinterpret_cast<void**>(m_converted), got) == got ||
           Fail("out of memory");
}

bool FfmpegEncoder::Write(const std::int16_t* frames, std::size_t count) {
    return count == 0 ||
           (Convert(frames, static_cast<int>(count)) && EncodeWhole(false) && !m_out.failed);
}

bool FfmpegEncoder::Flush() {
    if ((m_swr != nullptr && !Convert(nullptr, 0)) || !EncodeWhole(true)) {
        return false;
    }
    if (const int flushed = avcodec_send_frame(m_codec, nullptr); flushed < 0) {
        return Fail("the encoder failed", flushed);
    }
    return Drain();
}

// The packets stand where the encoder's own would: stamped by the frames they took, from
// minus the encoder's delay, as the encoder stamps its own.
bool FfmpegEncoder::WritePackets(const std::vector<EncodedPacket>& packets) {
    for (const EncodedPacket& packet : packets) {
        if (!NewPacket(packet.bytes)) {
            return Fail("out of memory");
        }
        if (packet.skips) {
            std::uint8_t* skip = av_packet_new_side_data(m_packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
            if (skip == nullptr) {
                return Fail("out of memory");
            }
            AV_WL32(skip, packet.skipStart);
            AV_WL32(skip + 4, packet.skipEnd);
        }
        m_packet->pts = m_pts - m_codec->initial_padding;
        m_packet->dts = m_packet->pts;
        m_packet->duration = packet.duration;
        m_pts += packet.duration;
        if (!WriteAudioPacket()) {
            return false;
        }
    }
    av_packet_unref(m_packet);
    return !m_out.failed;
}

bool FfmpegEncoder::WriteTrailer() {
    // The trailer goes back to fill in the stream's length, delay and padding.
    const int written = av_write_trailer(m_format);
    avio_flush(m_io);
    return (written >= 0 || Fail("the end of the file cannot be written", written)) &&
           !m_out.failed;
}

// An encoder for the settings' format where FFmpeg writes it (not WAV); null otherwise.
std::unique_ptr<FfmpegEncoder> NewEncoder(const EncoderSettings& settings) {
    const OutputFormatRow* format = FormatNamed(settings.format);
    return format != nullptr && *format->encoder != '\0'
               ? std::make_unique<FfmpegEncoder>(*format, settings)
               : nullptr;
}

}  // namespace

std::unique_ptr<PacketEncoder> NewFfmpegPacketEncoder(const EncoderSettings& settings) {
    return NewEncoder(settings);
}

std::unique_ptr<AudioEncoder> NewFfmpegEncoder(const EncoderSettings& settings) {
    return NewEncoder(settings);
}

#include "jobs/job_runner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>

#include "codecs/codec_module.h"
#include "container/wave_layout.h"
#include "render/decoded_source.h"
#include "render/disk_space.h"
#include "render/encoder_sink.h"
#include "render/loudness_sinks.h"
#include "render/render.h"
#include "render/render_pool.h"
#include "render/safe_output.h"
#include "render/wav_sink.h"
#include "render/wav_source.h"

namespace fs = std::filesystem;

namespace {

// The folder whose file system the output fills; none for a device or FIFO, which take any.
std::optional<fs::path> OutputFolder(const fs::path& output) {
    const fs::path target = ResolveOutputTarget(output);
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return std::nullopt;
    }
    const fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// Why a file cannot be read, in the system's words.
std::string Unreadable(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        return std::strerror(ENOENT);
    }
    if (!fs::is_regular_file(status)) {
        return "it is no regular file";
    }
    return std::strerror(errno);
}

// Whether a write to the name goes into something that cannot be gone back into: a FIFO or
// a socket, through links too (/dev/stdout to a pipe).
bool IsPipe(const fs::path& path) {
    struct stat info {};
    return ::stat(ResolveOutputTarget(path).c_str(), &info) == 0 &&
           (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

// The cover the input file holds, for an output written from its decoded copy.
CoverArt CoverOf(const fs::path& input) {
    const CodecModule* codecs = Codecs();
    std::unique_ptr<AudioDecoder> decoder = codecs != nullptr ? codecs->newDecoder() : nullptr;
    if (!decoder || decoder->Open(input) != AudioDecoder::Status::Ok) {
        return {};
    }
    return decoder->Cover();
}

// The source for the file a write reads; null after telling the observer why there is none.
// A WAV is walked as it is unless the write stretches it (stretchNote set): its frames are
// then decoded, and a WAV output's tags hold the note.
std::unique_ptr<RenderSource> OpenSource(const WriteRequest& request,
                                         const std::optional<std::string>& stretchNote,
                                         JobResult& refusal, JobObserver& observer) {
    const fs::path& path = request.reads.empty() ? request.input : request.reads;
    const bool decode = stretchNote.has_value();
    const auto none = [&](const JobMessage& why, JobResult result) {
        observer.Message(why);
        refusal = result;
        return nullptr;
    };
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return none({JobError::NotAudio}, JobResult::Refused);
    }
    if (!decode && EngineReadsAsIs(path)) {
        auto wav = std::make_unique<WavSource>();
        if (wav->Open(path)) {
            return wav;
        }
        return none({JobError::ReadInput, Unreadable(path)}, JobResult::Failed);
    }
    if (decode && !fs::is_regular_file(path, ec)) {
        return none({JobError::ReadInput, Unreadable(path)}, JobResult::Failed);
    }
    auto decoded = std::make_unique<DecodedSource>();
    const SourceStatus opened = decoded->Open(path, request.stop);
    if (opened == SourceStatus::Ok) {
        if (decode) {
            decoded->WillStretch(100.0 / request.keyTempo.tempo, *stretchNote);
        }
        return decoded;
    }
    if (opened == SourceStatus::Interrupted) {
        refusal = JobResult::Stopped;
        return nullptr;
    }
    return none({opened == SourceStatus::NotStereo ? JobError::NotStereo : JobError::NotAudio},
                JobResult::Refused);
}

// "mode2, low cut-off 240 Hz, ...": the processing settings, and the key and tempo where they
// are not neutral, as the comment an encoded output carries beside the song's tags.
std::string SettingsNote(const ProcessingParameters& params, const KeyTempo& keyTempo) {
    const PanPair pan = params.pan;
    char note[256];
    std::snprintf(note, sizeof note,
                  "Zerbex 2 %s: low cut-off %d Hz, high cut-off %d Hz, left gain %.3g, right "
                  "gain %.3g, output gain %.3g, pan gains %.4g/%.4g",
                  ModeName(params.mode), params.lowCutoff, params.highCutoff, params.leftGain,
                  params.rightGain, params.outputGain, pan.left, pan.right);
    std::string text = note;
    if (keyTempo.key != 0) {
        text += ", key " + std::string(keyTempo.key > 0 ? "+" : "") +
                StepsText(keyTempo.key, RowOf(Knob::Key).perUnit) + " semitones";
    }
    if (keyTempo.tempo != 100) {
        text += ", tempo " + std::to_string(keyTempo.tempo) + " %";
    }
    return text;
}

// ", loudness -14.2 LUFS (match, gain +6.4 dB, true peak under -1 dBTP)": what a loudness
// gain adds to that note.
std::string LoudnessNote(const Loudness& loudness, double targetLufs, double gainDb) {
    char note[160];
    if (!std::isfinite(targetLufs)) {
        return ", loudness unchanged (no sound to measure)";
    }
    std::snprintf(note, sizeof note,
                  ", loudness %.1f LUFS (%s, gain %+.2f dB, true peak under %.0f dBTP)", targetLufs,
                  loudness.kind == Loudness::Kind::Match ? "matched to the input" : "target",
                  gainDb, kTruePeakCeilingDb);
    return note;
}

// The sink of the output's format for path (the output, or its vocals); null after telling
// the observer why there is none.
std::unique_ptr<FileSink> CreateSink(const WriteRequest& request, const fs::path& path,
                                     const OutputFormatRow& format, RenderSource& source,
                                     const CoverArt& cover, JobObserver& observer,
                                     const std::string& extraNote = {}) {
    std::string error;
    if (&format != &WavFormat()) {
        EncoderSettings settings = SettleQuality(format, request.quality);
        settings.note =
            request.params != nullptr ? SettingsNote(*request.params, request.keyTempo) : "";
        settings.note += settings.note.empty() ? "" : extraNote;
        auto encoder = std::make_unique<EncoderSink>();
        // A file of a batch that shares the pool with others encodes on its own thread.
        RenderPool* pool = request.segments != 1 ? request.pool : nullptr;
        if (encoder->Create(path, settings, source.Tags(), cover, request.stop, pool)) {
            return encoder;
        }
        error = encoder->ErrorDetail();
    } else {
        auto wav = std::make_unique<WavSink>(source.WaveTags());
        if (wav->Create(path, request.stop)) {
            return wav;
        }
        error = wav->ErrorDetail();
    }
    if (!request.stop.stop_requested()) {
        observer.Message({JobError::CreateOutput, error,
                          path == request.output ? "" : path.string(), format.word});
    }
    return nullptr;
}

// Whether a write with stems may go ahead: its vocals' name is neither the input nor the
// output, under any spelling.
bool VocalsNameFree(const WriteRequest& request, JobObserver& observer) {
    const fs::path vocals = VocalsPath(request.output);
    // Links count, dangling ones too: two sinks must never write one file.
    const bool clash =
        SameOutputTarget(request.input, vocals) || SameOutputTarget(request.output, vocals);
    if (clash) {
        observer.Message({JobError::SameFile, {}, vocals.string()});
    }
    return !clash;
}

// Both outputs' sinks, or neither; the output's is first.
struct Sinks {
    std::unique_ptr<FileSink> output;
    std::unique_ptr<FileSink> vocals;  // with stems

    // The one whose failure ended the write.
    const RenderSink& Failed() const {
        return vocals && output->Error() == 0 && !vocals->ErrorDetail().empty() ? *vocals : *output;
    }
};

// What an output takes on the disk for each byte of decoded audio, at most: the whole of it
// for a WAV or FLAC (a FLAC frame of noise may hold a little more than its samples), the
// bit rate's share for a lossy format (the VBR levels at the format's highest rate).
double OutputShare(const OutputFormatRow& format, const QualityChoice& quality,
                   std::uint32_t byteRate) {
    if (format.scale == QualityScale::None || byteRate == 0) {
        return format.scale == QualityScale::None && &format != &WavFormat() ? 1.01 : 1.0;
    }
    const EncoderSettings settings = SettleQuality(format, quality);
    const double kbps = settings.vbr ? (std::string_view(format.name) == "mp3" ? 320.0 : 512.0)
                                     : settings.bitrateKbps * 1.25;
    return std::min(1.0, kbps * 125.0 / byteRate);
}

// Whether a decoded input fits what the output may hold; sets the space it takes aside. An
// output is counted at what it may take at most (OutputShare, twice with stems), and the
// room left free for everything else on the disk grows with it, to DiskSpace's reserve.
bool Budget(RenderSource& source, const WriteRequest& request, const OutputFormatRow& format,
            DiskSpace& disk, DiskSpace::Reservation& reserved, JobObserver& observer) {
    const std::optional<fs::path> folder = OutputFolder(request.output);
    const double share =
        OutputShare(format, request.quality, source.DeclaredByteRate()) * (request.stems ? 2 : 1);
    constexpr std::uint64_t kHeaders = 1u << 20;  // tags, a cover, the container's index
    const std::uint64_t needs =
        static_cast<std::uint64_t>(static_cast<double>(source.DeclaredBytes()) * share) + kHeaders;
    const std::uint64_t leave = std::min<std::uint64_t>(
        DiskSpace::kReserveBytes, std::max<std::uint64_t>(needs / 8, kHeaders));
    const std::uint64_t free = folder ? disk.Free(*folder) : ~std::uint64_t{0};
    const std::uint64_t room = free > leave + kHeaders ? free - leave - kHeaders : 0;
    const std::uint64_t available =
        folder ? static_cast<std::uint64_t>(static_cast<double>(room) / share) : ~std::uint64_t{0};
    const SourceStatus status = source.Limit(available, &format == &WavFormat());
    if (status == SourceStatus::Ok) {
        if (folder) {
            reserved = disk.Reserve(*folder, needs);
        }
        return true;
    }
    observer.Message(
        {status == SourceStatus::TooLong ? JobError::TooLongForWav : JobError::NoDecodeSpace});
    return false;
}

// Both outputs are finished before either replaces its file, so that a failure for want of
// room (the index an M4A writes at its end) leaves both as they were; then the two go in
// place together (CommitPair: a write killed between the renames is settled by the next).
bool CommitBoth(Sinks& sinks) {
    if (!sinks.vocals) {
        return sinks.output->Commit();
    }
    return sinks.output->Prepare() && sinks.vocals->Prepare() &&
           CommitPair(sinks.output->Output(), sinks.vocals->Output());
}

JobResult Finish(RenderStatus status, const RenderSource& source, Sinks& sinks,
                 const fs::path& output, const OutputFormatRow& format, JobObserver& observer) {
    if (status == RenderStatus::Done && CommitBoth(sinks)) {
        return JobResult::Done;
    }
    // Half a file is no copy: a stopped write leaves the output as it was.
    if (status == RenderStatus::Stopped || status == RenderStatus::Refused) {
        return status == RenderStatus::Stopped ? JobResult::Stopped : JobResult::Refused;
    }
    if (status == RenderStatus::ReadFailed) {
        observer.Message({JobError::ReadInput, source.Status() == SourceStatus::Changed
                                                   ? "it changed while it was read"
                                                   : std::strerror(EIO)});
        return JobResult::Failed;
    }
    const RenderSink& failed = sinks.Failed();
    observer.Message({JobError::WriteOutput, failed.ErrorDetail(),
                      &failed == sinks.vocals.get() ? VocalsPath(output).string() : "",
                      format.word});
    return JobResult::Failed;
}

// A measuring run's progress as a share of the whole write's.
class ShareOfProgress : public JobObserver {
  public:
    ShareOfProgress(JobObserver& observer, double from, double share)
        : m_observer(observer), m_from(from), m_share(share) {}
    void Message(const JobMessage& message) override { m_observer.Message(message); }
    void Level(int segments) override { m_observer.Level(segments); }
    void Progress(double done) override { m_observer.Progress(m_from + m_share * done); }

  private:
    JobObserver& m_observer;
    double m_from;
    double m_share;
};

// What a run measured, or the job's result when it ended otherwise.
struct Measured {
    std::optional<double> gain;  // the output's
    double target = 0;
    JobResult ended = JobResult::Failed;
};

// The input's frames as they are (params null) or processed as the write processes them,
// measured. False, with ended set, when the run did not finish.
bool MeasureRun(const WriteRequest& request, const RenderSettings& base, bool processed,
                MeasureSink& sink, JobObserver& observer, JobResult& ended) {
    const bool stretch = processed && !request.keyTempo.Neutral();
    const std::unique_ptr<RenderSource> source = OpenSource(
        request, stretch ? std::optional<std::string>("") : std::nullopt, ended, observer);
    if (!source) {
        return false;
    }
    // A measuring run writes nothing: neither the disk nor a format bounds what it reads.
    source->Limit(~std::uint64_t{0}, false);
    RenderSettings settings = base;
    settings.vocals = nullptr;
    if (!processed) {
        settings.params = nullptr;
        settings.keyTempo = {};
    }
    WaveFormat format;
    const RenderStatus status = Render(*source, sink, settings, format, observer);
    ended = status == RenderStatus::Stopped   ? JobResult::Stopped
            : status == RenderStatus::Refused ? JobResult::Refused
                                              : JobResult::Failed;
    if (status == RenderStatus::ReadFailed || status == RenderStatus::WriteFailed) {
        observer.Message(
            {JobError::ReadInput, std::strerror(sink.Error() != 0 ? sink.Error() : EIO)});
    }
    return status == RenderStatus::Done;
}

// The gain that brings the write's output to its loudness target: the input measured first
// when the target is the input's own, then the processed output.
Measured LoudnessGain(const WriteRequest& request, const RenderSettings& settings,
                      JobObserver& observer) {
    Measured measured;
    const bool match = request.loudness.kind == Loudness::Kind::Match;
    measured.target = request.loudness.lufs;
    if (match) {
        MeasureSink input(false);
        ShareOfProgress progress(observer, 0.0, 0.25);
        if (!MeasureRun(request, settings, false, input, progress, measured.ended)) {
            return measured;
        }
        const std::optional<LoudnessMeasure> level = input.Measure();
        measured.target = level ? level->integrated : -HUGE_VAL;
    }
    MeasureSink output(true);
    ShareOfProgress progress(observer, match ? 0.25 : 0.0, match ? 0.25 : 0.5);
    if (!MeasureRun(request, settings, true, output, progress, measured.ended)) {
        return measured;
    }
    measured.gain = output.GainFor(measured.target);
    return measured;
}

JobResult WriteWith(const WriteRequest& request, WaveFormat& format, JobObserver& observer) {
    const OutputFormatRow* outputFormat = OutputFormatFor(request.output);
    if (outputFormat == nullptr) {
        observer.Message(CannotWriteMessage(request.output));
        return JobResult::Refused;
    }
    if (SameFile(request.input, request.output)) {
        observer.Message({JobError::SameFile});
        return JobResult::Failed;
    }
    if (request.stems && !VocalsNameFree(request, observer)) {
        return JobResult::Failed;
    }
    if (!outputFormat->streams) {
        for (const fs::path& path : {request.output, VocalsPath(request.output)}) {
            if ((path == request.output || request.stems) && IsPipe(path)) {
                observer.Message({JobError::CannotStream, outputFormat->word,
                                  path == request.output ? "" : path.string()});
                return JobResult::Refused;
            }
        }
    }
    // What a write killed while it put a pair of files in place left is settled first.
    RecoverPair(ResolveOutputTarget(request.output));
    ProcessingParameters params = *request.params;
    RenderSettings settings = request;
    settings.params = &params;
    // A loudness target: the output is measured first, so that the gain and the note naming it
    // are known before the output is created.
    std::optional<double> gain;
    std::string loudnessNote;
    if (request.loudness.On()) {
        const Measured measured = LoudnessGain(request, settings, observer);
        if (!measured.gain) {
            return measured.ended;
        }
        gain = measured.gain;
        loudnessNote = LoudnessNote(request.loudness, measured.target, *gain);
    }
    ShareOfProgress lastShare(observer, 0.5, 0.5);  // the write after the measuring
    JobObserver& writing = gain ? lastShare : observer;
    JobResult refusal = JobResult::Failed;
    const std::unique_ptr<RenderSource> source = OpenSource(
        request,
        request.keyTempo.Neutral() ? std::nullopt
                                   : std::optional(SettingsNote(*request.params, request.keyTempo)),
        refusal, observer);
    if (!source) {
        return refusal;
    }
    // A decoded copy holds the input's tags but not its cover: that comes from the input.
    const CoverArt cover = outputFormat == &WavFormat() ? CoverArt{}
                           : request.reads.empty()      ? source->Cover()
                                                        : CoverOf(request.input);
    Sinks sinks;
    sinks.output =
        CreateSink(request, request.output, *outputFormat, *source, cover, observer, loudnessNote);
    if (sinks.output && request.stems) {
        sinks.vocals = CreateSink(request, VocalsPath(request.output), *outputFormat, *source,
                                  cover, observer);
    }
    if (!sinks.output || (request.stems && !sinks.vocals)) {
        return request.stop.stop_requested() ? JobResult::Stopped : JobResult::Failed;
    }
    DiskSpace::Reservation reserved;
    // A tiny file that declares hours of audio must not fill the disk. (JobRunner::Write gives
    // every write a DiskSpace.)
    if (!Budget(*source, request, *outputFormat, *request.disk, reserved, observer)) {
        return JobResult::Refused;
    }
    settings.vocals = sinks.vocals.get();
    std::optional<LoudnessSink> loud;
    if (gain) {
        loud.emplace(*sinks.output, *gain);
    }
    RenderSink& output = loud ? static_cast<RenderSink&>(*loud) : *sinks.output;
    const RenderStatus status = Render(*source, output, settings, format, writing);
    return Finish(status, *source, sinks, request.output, *outputFormat, observer);
}

}  // namespace

const OutputFormatRow* OutputFormatFor(const fs::path& output) {
    // ".mp3" alone is a name without a name, not a WAV stream into a hidden file.
    if (FormatOfExtension(output.filename().string()) != nullptr) {
        return nullptr;
    }
    const std::string extension = output.extension().string();
    if (!extension.empty()) {
        return FormatOfExtension(extension);
    }
    std::error_code ec;
    const fs::file_status status = fs::status(output, ec);
    return fs::exists(status) && !fs::is_directory(status) ? &WavFormat() : nullptr;
}

JobMessage CannotWriteMessage(const fs::path& output) {
    // A name that is only an extension (".mp3") is named whole.
    const std::string name = output.filename().string();
    return {JobError::CannotWriteFormat,
            FormatOfExtension(name) != nullptr ? name : output.extension().string(),
            output.string()};
}

std::filesystem::path VocalsPath(const std::filesystem::path& output) {
    std::filesystem::path vocals = output;
    vocals.replace_filename(output.stem().string() + "-vocals" + output.extension().string());
    return vocals;
}

bool SameFile(const fs::path& input, const fs::path& output) {
    std::error_code ec;
    return fs::equivalent(input, output, ec) && !ec;
}

JobResult JobRunner::Write(const WriteRequest& request, JobObserver& observer) {
    const std::unique_lock job(m_running, std::try_to_lock);
    if (!job) {
        return JobResult::Busy;
    }
    WriteRequest withDisk = request;
    withDisk.disk = withDisk.disk != nullptr ? withDisk.disk : &m_disk;
    std::optional<RenderPool> pool;
    if (withDisk.pool == nullptr && withDisk.threads) {
        withDisk.pool = &pool.emplace(*withDisk.threads);
        withDisk.ioThreads = pool->HasSpareThread(1);
    }
    return WriteWith(withDisk, m_format, observer);
}

JobResult JobRunner::Play(const InputFile& input, PlayControls& controls, AudioOut& out,
                          JobObserver& observer, bool once) {
    const std::unique_lock job(m_running, std::try_to_lock);
    if (!job) {
        return JobResult::Busy;
    }
    const std::unique_ptr<PlayInput> reads = input.Open(controls.stop.get_token(), &controls.seek);
    if (!reads) {
        observer.Message({JobError::ReadInput, Unreadable(input.Reads())});
        return JobResult::Failed;
    }
    return PlayWave(*reads, controls, out, m_format, observer, once);
}

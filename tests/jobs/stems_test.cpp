// Writes that keep the removed part too: both files in the output's format, in one pass; the
// vocals exactly what the mode took out; neither file when the write does not finish.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include "codecs/codec_module.h"
#include "jobs/input_file.h"
#include "processing/processing.h"
#include "processing/stereo_remover.h"
#include "render/disk_space.h"
#include "render/render_pool.h"
#include "render/safe_output.h"
#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrames = 60000;

struct Written {
    JobResult result;
    std::vector<std::string> messages;
};

Written WriteStems(const fs::path& input, const fs::path& output,
                   const ProcessingParameters& params, const std::stop_token& stop = {},
                   JobObserver* observer = nullptr) {
    RenderPool pool(2);
    WriteRequest request;
    request.input = input;
    request.output = output;
    request.params = &params;
    request.pool = &pool;
    request.stop = stop;
    request.stems = true;
    RecordingObserver recorder;
    const JobResult result = JobRunner().Write(request, observer ? *observer : recorder);
    return {result, recorder.Messages()};
}

// The interleaved samples of an audio file of any format the module reads.
std::vector<std::int16_t> Decoded(const fs::path& path) {
    const std::unique_ptr<AudioDecoder> decoder = Codecs()->newDecoder();
    EXPECT_EQ(decoder->Open(path), AudioDecoder::Status::Ok) << path;
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> frames;
    while (decoder->Read(frames) == AudioDecoder::Next::Frames) {
        all.insert(all.end(), frames.begin(), frames.end());
    }
    return all;
}

// What the frame arithmetic removed from each sample.
std::vector<std::int16_t> FrameRemoved(const std::vector<std::int16_t>& input,
                                       const std::vector<std::int16_t>& output, double gain) {
    std::vector<std::int16_t> removed(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        removed[i] = Saturate16(Saturate16(input[i] * kInputAttenuation) * gain - output[i]);
    }
    return removed;
}

// The stereo remover's removed part over the whole attenuated input, aligned with it.
std::vector<std::int16_t> StereoRemoved(const std::vector<std::int16_t>& input,
                                        const ProcessingParameters& params) {
    StereoRemover remover(44100);
    const std::size_t latency = remover.Latency();
    std::vector<std::int16_t> in(input.size() + 2 * latency, 0);
    for (std::size_t i = 0; i < input.size(); ++i) {
        in[i] = Saturate16(input[i] * kInputAttenuation);
    }
    std::vector<std::int16_t> out(in.size());
    std::vector<std::int16_t> vocal(in.size());
    remover.Process(params, in.data(), out.data(), vocal.data(), in.size() / 2);
    return {vocal.begin() + 2 * static_cast<std::ptrdiff_t>(latency), vocal.end()};
}

TEST(Stems, BothFilesInTheOutputsFormatTheVocalsWhatTheModeRemoved) {
    struct Case {
        PlayMode mode;
        const char* extension;
        bool lossless;
    };
    const Case cases[] = {
        {PlayMode::Mode2, ".wav", true},   {PlayMode::Mode2, ".flac", true},
        {PlayMode::Mode2, ".mp3", false},  {PlayMode::High, ".wav", true},
        {PlayMode::Stereo, ".wav", true},  {PlayMode::Stereo, ".flac", true},
        {PlayMode::Stereo, ".mp3", false},
    };
    TempDir dir;
    const std::vector<std::int16_t> signal = TestSignal(kFrames, 9);
    WriteFile(dir / "song.wav", SimpleWav(signal));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ModeName(c.mode)) + c.extension);
        ProcessingParameters params;
        Positions positions;
        positions.outputLevel = 20;  // an output gain other than 1
        SetParameters(params, positions, c.mode);
        const fs::path output = dir / (std::string("out-") + ModeName(c.mode) + c.extension);
        const fs::path vocals = VocalsPath(output);
        ASSERT_EQ(WriteStems(dir / "song.wav", output, params).result, JobResult::Done);
        ASSERT_TRUE(fs::exists(output));
        ASSERT_TRUE(fs::exists(vocals));
        EXPECT_EQ(vocals.filename().string(),
                  std::string("out-") + ModeName(c.mode) + "-vocals" + c.extension);
        const std::vector<std::int16_t> out = Decoded(output);
        const std::vector<std::int16_t> removed = Decoded(vocals);
        if (!c.lossless) {
            EXPECT_NEAR(static_cast<double>(removed.size()), static_cast<double>(out.size()),
                        2 * 1152.0);
            continue;
        }
        ASSERT_EQ(out.size(), signal.size());
        EXPECT_TRUE(removed == (c.mode == PlayMode::Stereo
                                    ? StereoRemoved(signal, params)
                                    : FrameRemoved(signal, out, params.outputGain)));
    }
}

// Sets the stop control at a job's first progress report: a user's Cancel mid-write.
class StopAtFirstProgress : public JobObserver {
  public:
    explicit StopAtFirstProgress(std::stop_source& stop) : m_stop(stop) {}
    void Progress(double /*done*/) override { m_stop.request_stop(); }

  private:
    std::stop_source& m_stop;
};

TEST(Stems, AWriteThatDoesNotFinishLeavesBothNamesAsTheyWere) {
    TempDir dir;
    const Bytes song = SimpleWav(TestSignal(kFrames, 3));
    const Bytes old = {'o', 'l', 'd'};
    struct Case {
        const char* name;
        PlayMode mode;
        const char* input;   // written with the song
        const char* output;  // its vocals are input's name in the last case
        bool vocalsIsFolder;
        bool stopMidway;
        JobResult result;
    };
    const Case cases[] = {
        {"stopped, mode 2", PlayMode::Mode2, "a.wav", "a-out.wav", false, true, JobResult::Stopped},
        {"stopped, stereo", PlayMode::Stereo, "b.wav", "b-out.flac", false, true,
         JobResult::Stopped},
        {"vocals cannot be created", PlayMode::Mode2, "c.wav", "c-out.wav", true, false,
         JobResult::Failed},
        {"vocals would be the input", PlayMode::Stereo, "d-out-vocals.wav", "d-out.wav", false,
         false, JobResult::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path input = dir / c.input;
        const fs::path output = dir / c.output;
        WriteFile(input, song);
        WriteFile(output, old);
        if (c.vocalsIsFolder) {
            fs::create_directory(VocalsPath(output));
        } else if (VocalsPath(output) != input) {
            WriteFile(VocalsPath(output), old);
        }
        ProcessingParameters params;
        SetParameters(params, {}, c.mode);
        std::stop_source stop;
        StopAtFirstProgress stopper(stop);
        const Written w =
            WriteStems(input, output, params, stop.get_token(), c.stopMidway ? &stopper : nullptr);
        EXPECT_EQ(w.result, c.result);
        EXPECT_EQ(ReadFile(output), old);
        EXPECT_EQ(ReadFile(input), song);
        if (!c.vocalsIsFolder && VocalsPath(output) != input) {
            EXPECT_EQ(ReadFile(VocalsPath(output)), old);
        }
        if (!c.stopMidway) {
            EXPECT_FALSE(w.messages.empty());
        }
    }
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

// --- Pairs, covers and the disk budget ---------------------------------------------------------

// 14: a pair's commit killed at each of its steps is settled by the next write to the output:
// the old pair or the new one, never half of each, and no temporary or note left.
TEST(StemPair, AKilledCommitIsSettledByTheNextWrite) {
    struct Case {
        const char* name;
        int killedAt;           // CommitPair's step
        bool nextWriteSettles;  // a write to the output settles it; else RecoverPair alone
        const char* output;     // what each holds once settled
        const char* vocals;
    };
    const Case cases[] = {
        {"killed before the first rename", 1, false, "old output", "old vocals"},
        {"killed between the renames", 2, false, "new output", "new vocals"},
        {"killed between the renames, then written again", 2, true, "", "new vocals"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path output = dir / "out.wav";
        const fs::path vocals = VocalsPath(output);
        const auto put = [](const fs::path& path, const std::string& text) {
            WriteFile(path, Bytes(text.begin(), text.end()));
        };
        const auto text = [](const fs::path& path) {
            const Bytes bytes = ReadFile(path);
            return std::string(bytes.begin(), bytes.end());
        };
        put(output, "old output");
        put(vocals, "old vocals");
        const pid_t child = ::fork();
        if (child == 0) {
            SafeOutput first;
            SafeOutput second;
            bool ok = first.Create(output) && second.Create(vocals);
            ok = ok && std::fputs("new output", first.File()) >= 0 &&
                 std::fputs("new vocals", second.File()) >= 0 && first.Finish() && second.Finish();
            CommitPair(first, second, [&c](int step) {
                if (step == c.killedAt) {
                    ::kill(::getpid(), SIGKILL);
                }
            });
            std::_Exit(ok ? 3 : 4);  // not reached when killed
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        if (c.killedAt == 2) {
            EXPECT_EQ(text(output), "new output");
            EXPECT_EQ(text(vocals), "old vocals") << "the half-done state";
        }
        if (c.nextWriteSettles) {
            WriteFile(dir / "in.wav", SimpleWav(TestSignal(4000, 2)));
            ProcessingParameters params;
            SetParameters(params);
            WriteRequest request;
            request.input = dir / "in.wav";
            request.output = output;
            request.params = &params;
            RecordingObserver observer;
            ASSERT_EQ(JobRunner().Write(request, observer), JobResult::Done);
        } else {
            EXPECT_TRUE(RecoverPair(output));
            EXPECT_FALSE(RecoverPair(output)) << "settled once";
        }
        if (*c.output != '\0') {
            EXPECT_EQ(text(output), c.output);
        }
        EXPECT_EQ(text(vocals), c.vocals);
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(!name.ends_with(".tmp") && name.find("zerbex2-pair") == std::string::npos)
                << name << " is left";
        }
    }
}

// 7: a write from the decoded copy (as the window writes) keeps the input's cover in every
// format that holds one, as a render from the input does.
TEST(DecodedCover, AWriteFromTheDecodedCopyKeepsTheCover) {
    TempDir dir;
    const fs::path picture = dir / "cover.png";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=s=32x32",
                          "-frames:v", "1", picture.string()})
                  .exitCode,
              0);
    const auto coverOf = [](const fs::path& file) {
        const CommandResult r = RunCommand({"ffmpeg", "-v", "error", "-i", file.string(), "-map",
                                            "0:v", "-c", "copy", "-f", "image2pipe", "-"});
        return Bytes(r.out.begin(), r.out.end());
    };
    const struct {
        const char* input;
        std::vector<std::string> codec;
    } inputs[] = {
        {"song.mp3", {"-c:a", "libmp3lame"}},
        {"song.flac", {"-c:a", "flac"}},
        {"song.m4a", {"-c:a", "aac"}},
    };
    for (const auto& in : inputs) {
        std::vector<std::string> options = {
            "-i",   picture, "-map",           "0",           "-map", "1",
            "-c:v", "copy",  "-disposition:v", "attached_pic"};
        options.insert(options.end(), in.codec.begin(), in.codec.end());
        const fs::path input = EncodeWithFfmpeg(
            dir / in.input, "aevalsrc=sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=44100:d=1", options);
        ASSERT_TRUE(coverOf(input) == ReadFile(picture)) << in.input;
        DiskSpace disk;
        RecordingObserver observer;
        const InputFile prepared = PrepareInput(input, {}, disk, observer);
        ASSERT_TRUE(prepared.Decoded()) << in.input;
        for (const char* extension : {".mp3", ".flac", ".m4a"}) {
            SCOPED_TRACE(std::string(in.input) + " to " + extension);
            ProcessingParameters params;
            SetParameters(params);
            WriteRequest request;
            request.input = input;
            request.reads = prepared.Reads();
            request.output = dir / (std::string("out") + extension);
            request.params = &params;
            ASSERT_EQ(JobRunner().Write(request, observer), JobResult::Done);
            EXPECT_TRUE(coverOf(request.output) == ReadFile(picture));
        }
    }
}

// 17: an encoded output is budgeted at what it may take, not at the decoded size and the
// reserve: a minute of MP3 fits where a few megabytes are free, a minute of WAV does not.
TEST(DiskBudget, AnEncodedOutputNeedsWhatItTakes) {
    TempDir dir;
    const fs::path input = EncodeWithFfmpeg(
        dir / "minute.flac", "aevalsrc=sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=44100:d=60");
    const struct {
        const char* output;
        std::uint64_t freeBytes;  // left to the write
        JobResult result;
    } cases[] = {
        {"o.mp3", 8u << 20, JobResult::Done},     // takes at most 2.4 MB at 320 kbps
        {"o.ogg", 8u << 20, JobResult::Done},     //
        {"o.wav", 8u << 20, JobResult::Refused},  // 10.6 MB
        {"o.flac", 8u << 20, JobResult::Refused}, {"o.wav", 40u << 20, JobResult::Done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.output) + " with " + std::to_string(c.freeBytes >> 20) +
                     " MB free");
        std::vector<std::string> messages;
        JobResult result = JobResult::Failed;
        // The tests beside this one write to the same disk: a write that should fit and was
        // refused while the free space fell under it is tried again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            DiskSpace disk;
            const std::uint64_t free = disk.Free(dir.Path());
            ASSERT_GT(free, c.freeBytes + (64u << 20));
            const DiskSpace::Reservation others = disk.Reserve(dir.Path(), free - c.freeBytes);
            ProcessingParameters params;
            SetParameters(params);
            WriteRequest request;
            request.input = input;
            request.output = dir / c.output;
            request.params = &params;
            request.disk = &disk;
            RecordingObserver observer;
            result = JobRunner().Write(request, observer);
            messages = observer.Messages();
            if (result == c.result || disk.Free(dir.Path()) >= free) {
                break;
            }
        }
        EXPECT_EQ(result, c.result);
        if (c.result == JobResult::Refused) {
            ASSERT_FALSE(messages.empty());
            EXPECT_NE(messages.front().find("1104"), std::string::npos);
        }
    }
}

}  // namespace

// Writes that keep the removed part too: both files in the output's format, in one pass; the
// vocals exactly what the mode took out; neither file when the write does not finish.

#include <gtest/gtest.h>

#include <atomic>

#include "codec_module.h"
#include "processing.h"
#include "render_pool.h"
#include "stereo_remover.h"
#include "write_helpers.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrames = 60000;

struct Written {
    JobResult result;
    std::vector<std::string> messages;
};

Written WriteStems(const fs::path& input, const fs::path& output,
                   const ProcessingParameters& params, const Shared<int>* stop = nullptr,
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
    WaveFormat format;
    const JobResult result = WriteFile(request, format, observer ? *observer : recorder);
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

// What the classic arithmetic removed from each sample.
std::vector<std::int16_t> ClassicRemoved(const std::vector<std::int16_t>& input,
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
                                    : ClassicRemoved(signal, out, params.outputGain.Get())));
    }
}

// Sets the stop control at a job's first progress report: a user's Cancel mid-write.
class StopAtFirstProgress : public JobObserver {
  public:
    explicit StopAtFirstProgress(Shared<int>& stop) : m_stop(stop) {}
    void Progress(double /*done*/) override { m_stop = 1; }

  private:
    Shared<int>& m_stop;
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
        {"stopped, classic", PlayMode::Mode2, "a.wav", "a-out.wav", false, true,
         JobResult::Stopped},
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
        Shared<int> stop{0};
        StopAtFirstProgress stopper(stop);
        const Written w =
            WriteStems(input, output, params, &stop, c.stopMidway ? &stopper : nullptr);
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

}  // namespace

#include "jobs/suggest.h"

#include <algorithm>
#include <cmath>

#include "analysis/suggest_settings.h"
#include "codecs/codec_module.h"
#include "container/wave_layout.h"

namespace {

std::optional<Suggestion> Suggested(const WaveExcerpts& excerpts, const WaveExcerpts& voice,
                                    JobObserver& observer) {
    const ExcerptStatus status =
        excerpts.status == ExcerptStatus::Ok ? voice.status : excerpts.status;
    if (status == ExcerptStatus::Ok) {
        const std::vector<StereoFrames> frames(excerpts.frames.begin(), excerpts.frames.end());
        const std::vector<StereoFrames> voiceFrames(voice.frames.begin(), voice.frames.end());
        return Suggestion{SuggestSettings(frames), SuggestStereoSettings(voiceFrames)};
    }
    observer.Message({status == ExcerptStatus::NotStereo  ? JobError::NotStereo
                      : status == ExcerptStatus::Not16Bit ? JobError::Not16Bit
                                                          : JobError::ReadInput});
    return std::nullopt;
}

// The excerpts of a file the decoder reads, each read after a seek: a few seconds of a long
// song decoded, not the song.
WaveExcerpts DecodedExcerpts(AudioDecoder& decoder, const ExcerptStarts& startsFor) {
    WaveExcerpts excerpts;
    const double rate = decoder.SampleRate();
    const auto total = static_cast<std::uint64_t>(std::floor(decoder.DeclaredSeconds() * rate));
    std::vector<std::int16_t> frames;
    for (const std::uint64_t start : startsFor(total)) {
        if (!decoder.Seek(static_cast<double>(start) / rate)) {
            return excerpts;
        }
        std::vector<std::int16_t> excerpt;
        while (excerpt.size() < 2 * kSuggestExcerptFrames &&
               decoder.Read(frames) == AudioDecoder::Next::Frames) {
            excerpt.insert(excerpt.end(), frames.begin(), frames.end());
        }
        excerpt.resize(std::min(excerpt.size(), 2 * kSuggestExcerptFrames));
        excerpts.frames.push_back(std::move(excerpt));
    }
    excerpts.status = ExcerptStatus::Ok;
    return excerpts;
}

}  // namespace

std::optional<Positions> SuggestPositions(const std::filesystem::path& path, JobObserver& observer,
                                          PlayMode mode) {
    const std::optional<Suggestion> both = SuggestBoth(path, observer);
    if (!both) {
        return std::nullopt;
    }
    return mode == PlayMode::Stereo ? both->stereo : both->mode2;
}

std::optional<Suggestion> SuggestBoth(const std::filesystem::path& path, JobObserver& observer) {
    if (EngineReadsAsIs(path)) {
        return Suggested(ReadWaveExcerpts(path, SuggestExcerptStarts, kSuggestExcerptFrames),
                         ReadWaveExcerpts(path, VoiceExcerptStarts, kSuggestExcerptFrames),
                         observer);
    }
    const CodecModule* codecs = Codecs();
    const std::unique_ptr<AudioDecoder> decoder = codecs ? codecs->newDecoder() : nullptr;
    const AudioDecoder::Status opened =
        decoder ? decoder->Open(path) : AudioDecoder::Status::ReadError;
    if (opened != AudioDecoder::Status::Ok) {
        observer.Message(
            {opened == AudioDecoder::Status::NotStereo ? JobError::NotStereo : JobError::NotAudio});
        return std::nullopt;
    }
    const WaveExcerpts modeTwo = DecodedExcerpts(*decoder, SuggestExcerptStarts);
    return Suggested(modeTwo, DecodedExcerpts(*decoder, VoiceExcerptStarts), observer);
}

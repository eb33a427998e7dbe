#include "suggest.h"

#include <cmath>

#include "codec_module.h"
#include "suggest_settings.h"
#include "wave_layout.h"

namespace {

// HOOK: the stereo mode's own search (SuggestStereoSettings, from the analysis) goes here; until
// the analysis has it, the stereo mode gets mode 2's positions and the focus at its start.
Positions SuggestedFor(PlayMode /*mode*/, const std::vector<StereoFrames>& excerpts) {
    return SuggestSettings(excerpts);
}

std::optional<Positions> Suggested(const WaveExcerpts& excerpts, JobObserver& observer,
                                   PlayMode mode) {
    switch (excerpts.status) {
        case ExcerptStatus::Ok:
            return SuggestedFor(
                mode, std::vector<StereoFrames>(excerpts.frames.begin(), excerpts.frames.end()));
        case ExcerptStatus::NotStereo:
            observer.Message({JobError::NotStereo});
            break;
        case ExcerptStatus::Not16Bit:
            observer.Message({JobError::Not16Bit});
            break;
        case ExcerptStatus::ReadError:
            observer.Message({JobError::ReadInput});
            break;
    }
    return std::nullopt;
}

// The excerpts of a file the decoder reads, each read after a seek: a few seconds of a long
// song decoded, not the song.
WaveExcerpts DecodedExcerpts(AudioDecoder& decoder) {
    WaveExcerpts excerpts;
    const double rate = decoder.SampleRate();
    const auto total = static_cast<std::uint64_t>(std::floor(decoder.DeclaredSeconds() * rate));
    std::vector<std::int16_t> frames;
    for (const std::uint64_t start : SuggestExcerptStarts(total)) {
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
    if (EngineReadsAsIs(path)) {
        return Suggested(ReadWaveExcerpts(path, SuggestExcerptStarts, kSuggestExcerptFrames),
                         observer, mode);
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
    return Suggested(DecodedExcerpts(*decoder), observer, mode);
}

#include "suggest.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "codec_module.h"
#include "suggest_settings.h"
#include "wave_layout.h"

namespace {

// The stereo mode's positions: the pan aimed where the voice is (left louder by the centre
// balance), the cut-offs of mode 2's suggestion, the focus and levels at their start.
Positions StereoPositions(const std::vector<StereoFrames>& excerpts, const Positions& mode2) {
    const double angle = std::atan(std::pow(10.0, -CentreBalanceDb(excerpts) / 20));
    const KnobRow& pan = RowOf(Knob::Pan);
    const double steps = std::round((angle / (std::numbers::pi / 4) - 1) * pan.max);
    Positions stereo;
    stereo.pan = static_cast<int>(std::clamp<double>(steps, pan.min, pan.max));
    stereo.low = mode2.low;
    stereo.high = mode2.high;
    return stereo;
}

std::optional<Suggestion> Suggested(const WaveExcerpts& excerpts, JobObserver& observer) {
    switch (excerpts.status) {
        case ExcerptStatus::Ok: {
            const std::vector<StereoFrames> frames(excerpts.frames.begin(), excerpts.frames.end());
            const Positions mode2 = SuggestSettings(frames);
            return Suggestion{mode2, StereoPositions(frames, mode2)};
        }
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

std::optional<Positions> SuggestPositions(const std::filesystem::path& path,
                                          JobObserver& observer) {
    const std::optional<Suggestion> both = SuggestBoth(path, observer);
    return both ? std::optional<Positions>(both->mode2) : std::nullopt;
}

std::optional<Suggestion> SuggestBoth(const std::filesystem::path& path, JobObserver& observer) {
    if (EngineReadsAsIs(path)) {
        return Suggested(ReadWaveExcerpts(path, SuggestExcerptStarts, kSuggestExcerptFrames),
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
    return Suggested(DecodedExcerpts(*decoder), observer);
}

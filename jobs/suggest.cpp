#include "suggest.h"

#include "suggest_settings.h"
#include "wave_layout.h"

std::optional<Positions> SuggestPositions(const std::filesystem::path& wav, JobObserver& observer) {
    const WaveExcerpts excerpts =
        ReadWaveExcerpts(wav, SuggestExcerptStarts, kSuggestExcerptFrames);
    switch (excerpts.status) {
        case ExcerptStatus::Ok:
            return SuggestSettings(
                std::vector<StereoFrames>(excerpts.frames.begin(), excerpts.frames.end()));
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

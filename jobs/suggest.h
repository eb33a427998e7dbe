#pragma once

#include <filesystem>
#include <optional>

#include "analysis/suggest_settings.h"  // RenderOptionsFor: the positions as options
#include "processing/processing_parameters.h"
#include "render/job_observer.h"
#include "trackbars/parameters.h"

// The positions suggested for an audio file of any kind, from a few excerpts of it (a file the
// decoder reads is decoded only there), for playing in mode; nothing when they cannot be read,
// the reason told to the observer.
std::optional<Positions> SuggestPositions(const std::filesystem::path& path, JobObserver& observer,
                                          PlayMode mode = PlayMode::Mode2);

// The positions suggested for both kinds of removal, from one reading of the excerpts.
struct Suggestion {
    Positions mode2;
    Positions stereo;  // the stereo mode's: the pan aims at the voice
};
std::optional<Suggestion> SuggestBoth(const std::filesystem::path& path, JobObserver& observer);

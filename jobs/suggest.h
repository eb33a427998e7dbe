#pragma once

#include <filesystem>
#include <optional>

#include "job_observer.h"
#include "parameters.h"

// The positions suggested for a 16-bit stereo WAV (an input or its decoded copy), from a few
// excerpts of it; nothing when they cannot be read, the reason told to the observer.
std::optional<Positions> SuggestPositions(const std::filesystem::path& wav, JobObserver& observer);

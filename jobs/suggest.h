#pragma once

#include <filesystem>
#include <optional>

#include "job_observer.h"
#include "parameters.h"

// The positions suggested for an audio file of any kind, from a few excerpts of it (a file the
// decoder reads is decoded only there); nothing when they cannot be read, the reason told to
// the observer.
std::optional<Positions> SuggestPositions(const std::filesystem::path& path, JobObserver& observer);

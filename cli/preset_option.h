#pragma once

#include <filesystem>
#include <string>

#include "cli/options.h"

// "--preset NAME": puts the preset's mode and positions into options where the option stands
// among the others, so that those after it change them. The presets file is read then; what
// is damaged in it is told on standard error and the rest still serves. An unknown NAME is a
// usage error that lists the names.
ValueOption PresetOption(RenderOptions& options, const std::filesystem::path& file);

// The help's lines for the shipped presets: "  Start-up   pan 0 low 8 ...".
std::string ShippedPresetsHelp();

#pragma once

// Presets: trackbar settings saved under a name, for the window and the command-line tool
// alike. The shipped ones are compiled into the program; the user's live in a small text file
// in the configuration folder, beside the window's profile:
//
//   [Soft voice]
//   mode = mode2
//   pan = 0
//   ...
//
// one section a preset, every setting given but key and tempo, which a section gives only when
// they are not the original ones ("key = -2.5", "tempo = 90"), and the loudness of writes, only
// when it is on ("loudness = match", "loudness = -14"). A damaged entry is skipped with a
// message that names the file, the line and what is wrong; the others still load, and saving keeps
// the damaged entry's text as it was.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "processing/loudness.h"
#include "processing/processing_parameters.h"
#include "trackbars/parameters.h"

inline constexpr char kPresetsFileName[] = "zerbex2-presets.ini";
inline constexpr std::size_t kMaxPresetNameBytes = 64;
// The most presets of the user's that load, and that a save lets the file hold: a menu of
// thousands helps no one.
inline constexpr std::size_t kMaxPresets = 500;

struct Preset {
    std::string name;
    PlayMode mode = PlayMode::Mode2;
    Positions positions;
    Loudness loudness = {};  // of writes; a section gives it only when it is on
    bool shipped = false;    // comes with the program: cannot be replaced or deleted

    bool SameSettings(const Preset& other) const {
        return mode == other.mode && positions == other.positions && loudness == other.loudness;
    }
};

struct PresetList {
    std::vector<Preset> presets;        // the shipped ones, then the user's in the file's order
    std::vector<std::string> problems;  // "FILE, line N: what is wrong; ..." one each

    // The preset of that name, ASCII case ignored; null when there is none.
    const Preset* Find(std::string_view name) const;
    // "'Start-up', 'Soft voice'": every name, for a message.
    std::string Names() const;
};

// $XDG_CONFIG_HOME/zerbex2-presets.ini, or ~/.config/zerbex2-presets.ini: where the window's
// profile lives.
std::filesystem::path DefaultPresetsPath();

// The presets that come with the program.
PresetList ShippedPresets();

// The shipped presets, then those of file; a missing file holds none.
PresetList LoadPresets(const std::filesystem::path& file);

// The settings of a preset but its mode, as "key", "value" in the order its section gives
// them: the processing trackbars, then the others and the loudness only where a section gives
// them.
std::vector<std::pair<std::string, std::string>> PresetSettings(const Preset& preset);

// Why a name cannot be a preset's (empty, too long, control characters); nothing when it can.
std::optional<std::string> PresetNameProblem(std::string_view name);

// Adds preset to file, or replaces the user's own of the same name; every other entry of the
// file, damaged ones too, is kept as it was. The file is replaced only once the new one was
// written whole (through a link: the file it names is replaced, the link kept). The file is
// locked from its reading to its replacing, so that two programs saving at once each keep
// the other's preset. An error text when the name is refused (a shipped preset's included),
// the file holds kMaxPresets already, or it could not be written.
std::optional<std::string> SavePreset(const std::filesystem::path& file, const Preset& preset);

// Removes the user's preset of that name from file; an error text when there is none (a
// shipped one included) or the file could not be written.
std::optional<std::string> DeletePreset(const std::filesystem::path& file, std::string_view name);

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch_dir.h"
#include "settings/presets.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

// The user's presets of a list, in order.
std::vector<Preset> UserPresets(const PresetList& list) {
    std::vector<Preset> user;
    for (const Preset& preset : list.presets) {
        if (!preset.shipped) {
            user.push_back(preset);
        }
    }
    return user;
}

// What every list loaded must hold: the shipped presets first, names that could be saved and
// are told apart, positions in their trackbars' ranges, at most kMaxPresets of the user's.
void CheckList(const PresetList& list) {
    const std::size_t shipped = ShippedPresets().presets.size();
    FUZZ_CHECK(list.presets.size() >= shipped);
    std::set<std::string> names;
    for (std::size_t i = 0; i < list.presets.size(); ++i) {
        const Preset& preset = list.presets[i];
        FUZZ_CHECK(preset.shipped == (i < shipped));
        FUZZ_CHECK(!PresetNameProblem(preset.name));
        FUZZ_CHECK(names.insert(Lower(preset.name)).second);
        for (const KnobRow& row : kKnobs) {
            if (row.knob == Knob::LoopStart || row.knob == Knob::LoopEnd ||
                row.knob == Knob::PlayPos) {
                continue;
            }
            const int pos = PositionOf(preset.positions, row.knob);
            FUZZ_CHECK(pos >= row.min && pos <= row.max);
        }
        FUZZ_CHECK(list.Find(preset.name) == &preset);
    }
    FUZZ_CHECK(list.presets.size() - shipped <= kMaxPresets);
}

}  // namespace

// The bytes as the presets file: what loads keeps the invariants above, and a save of a new
// preset, then its deletion, keep every other entry the file held as it loaded.
int FuzzPresets(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = ScratchSubfolder("presets");
    const fs::path file = folder / kPresetsFileName;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const PresetList before = LoadPresets(file);
    CheckList(before);
    const std::vector<Preset> user = UserPresets(before);
    const Preset added{"zz fuzz added", PlayMode::Mode1, Positions{-3, 2, 60, 10, 11, 20}};
    if (before.Find(added.name) != nullptr || user.size() >= kMaxPresets) {
        return 0;
    }
    const std::optional<std::string> saved = SavePreset(file, added);
    if (saved) {
        // Only a file that cannot be read again (larger than a presets file may be) refuses.
        FUZZ_CHECK(saved->find("cannot be read") != std::string::npos ||
                   saved->find("larger than") != std::string::npos);
        return 0;
    }
    const PresetList after = LoadPresets(file);
    CheckList(after);
    std::vector<Preset> expected = user;
    // In the file's order, the new one last; a damaged duplicate of an earlier name may now
    // come before it, which the loader skips as before.
    const std::vector<Preset> now = UserPresets(after);
    FUZZ_CHECK(now.size() == std::min(expected.size() + 1, kMaxPresets));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(now[i].name == expected[i].name && now[i].SameSettings(expected[i]));
    }
    FUZZ_CHECK(after.Find(added.name) != nullptr && after.Find(added.name)->SameSettings(added));
    FUZZ_CHECK(!DeletePreset(file, added.name));
    const std::vector<Preset> again = UserPresets(LoadPresets(file));
    FUZZ_CHECK(again.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(again[i].name == expected[i].name && again[i].SameSettings(expected[i]));
    }
    for (const std::string& name : FolderEntries(folder)) {
        FUZZ_CHECK(name == kPresetsFileName);  // no temporary left
    }
    return 0;
}

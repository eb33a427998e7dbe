#include "cli/preset_option.h"

#include "cli/console.h"
#include "settings/presets.h"

namespace {

// "pan 0 low 8 high 57 left 13 right 13 output-level 25", the focus, key and tempo unless
// they are the start-up ones, the mode after it unless mode 2.
std::string SettingsText(const Preset& preset) {
    std::string text;
    for (const auto& [key, value] : PresetSettings(preset)) {
        text.append(text.empty() ? "" : " ").append(key).append(" ").append(value);
    }
    return preset.mode == PlayMode::Mode2 ? text : text + " (" + ModeName(preset.mode) + ")";
}

}  // namespace

ValueOption PresetOption(RenderOptions& options, const std::filesystem::path& file) {
    return {"--preset", [&options, file](const std::string& name) -> std::optional<std::string> {
                const PresetList list = LoadPresets(file);
                for (const std::string& problem : list.problems) {
                    PrintError(problem);
                }
                const Preset* preset = list.Find(name);
                if (preset == nullptr) {
                    return "unknown preset '" + Printable(name) + "'; the presets are " +
                           Printable(list.Names());
                }
                options.mode = preset->mode;
                options.positions = preset->positions;
                options.loudness = preset->loudness;
                return std::nullopt;
            }};
}

std::string ShippedPresetsHelp() {
    std::string help;
    for (const Preset& preset : ShippedPresets().presets) {
        help += OptionHelpLine(preset.name, SettingsText(preset));
    }
    return help;
}

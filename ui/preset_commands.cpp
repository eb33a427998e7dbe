// The presets on the window menu: save the trackbars' settings under a name, apply one,
// delete one of the user's own.

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QtGlobal>
#include <algorithm>

#include "ui/main_window.h"
#include "ui/menus.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"
#include "ui/trackbar_slider.h"

namespace {

constexpr char kPresetsMenuText[] = QT_TRANSLATE_NOOP("Zerbex", "预设");
constexpr char kSavePresetText[] = QT_TRANSLATE_NOOP("Zerbex", "将设置保存为预设...");
constexpr char kDeletePresetText[] = QT_TRANSLATE_NOOP("Zerbex", "删除预设");
constexpr char kPresetNameLabel[] = QT_TRANSLATE_NOOP("Zerbex", "预设名称：");
constexpr char kReplacePresetText[] = QT_TRANSLATE_NOOP("Zerbex", "预设“%1”已存在。要替换它吗？");
constexpr char kDeletePresetQuestion[] = QT_TRANSLATE_NOOP("Zerbex", "要删除预设“%1”吗？");
constexpr char kSavingPresetsText[] = QT_TRANSLATE_NOOP("Zerbex", "正在保存预设...");

QString Tr(const char* text) {
    return QCoreApplication::translate("Zerbex", text);
}

// The first problems, one a line: a box of a thousand lines helps no one.
QString Lines(const std::vector<std::string>& lines) {
    constexpr std::size_t kShown = 10;
    QStringList text;
    for (std::size_t i = 0; i < std::min(lines.size(), kShown); ++i) {
        text.append(QString::fromStdString(lines[i]));
    }
    if (lines.size() > kShown) {
        text.append(QStringLiteral("(%1 more)").arg(lines.size() - kShown));
    }
    return text.join(QLatin1Char('\n'));
}

}  // namespace

std::filesystem::path MainWindow::PresetsFile() const {
    const QString folder = QFileInfo(m_services.profile.Path()).absolutePath();
    return std::filesystem::path(QFile::encodeName(folder).toStdString()) / kPresetsFileName;
}

void MainWindow::CreatePresetMenus() {
    m_presetsMenu = m_windowMenu->addMenu(Tr(kPresetsMenuText));
    m_windowMenu->addAction(Tr(kSavePresetText), this, &MainWindow::SavePresetCommand);
    m_deletePresetMenu = m_windowMenu->addMenu(Tr(kDeletePresetText));
    FillPresetMenus(LoadPresets(PresetsFile()));
}

PresetList MainWindow::RefreshPresetMenus() {
    PresetList list = LoadPresets(PresetsFile());
    if (!list.problems.empty() && list.problems != m_presetProblems) {
        m_services.boxes.Tell(Lines(list.problems), MessageIcon::Warning);
    }
    m_presetProblems = list.problems;
    FillPresetMenus(list);
    return list;
}

// The shipped presets, then the user's after a separator.
void MainWindow::FillPresetMenus(const PresetList& list) {
    ClearMenu(m_presetsMenu);
    ClearMenu(m_deletePresetMenu);
    bool shipped = true;
    for (const Preset& preset : list.presets) {
        if (shipped && !preset.shipped) {
            m_presetsMenu->addSeparator();
            shipped = false;
        }
        m_presetsMenu->addAction(MenuText(preset.name), this,
                                 [this, preset] { ApplyPreset(preset); });
        if (!preset.shipped) {
            m_deletePresetMenu->addAction(MenuText(preset.name), this, [this, name = preset.name] {
                DeletePresetCommand(name);
            });
        }
    }
    m_deletePresetMenu->setEnabled(!m_deletePresetMenu->isEmpty());
}

Positions MainWindow::SliderPositions() const {
    Positions positions;
    for (const Knob knob : kProcessingKnobs) {
        PositionOf(positions, knob) = m_ui.Slider(knob)->sliderPosition();
    }
    for (const Knob knob : kKeyTempoKnobs) {
        PositionOf(positions, knob) = m_ui.Slider(knob)->sliderPosition();
    }
    return positions;
}

// The write command's settings: mode 2 and the trackbars.
void MainWindow::SavePresetCommand() {
    const PresetList list = RefreshPresetMenus();
    const std::optional<QString> answer = m_services.boxes.AskText(Tr(kPresetNameLabel));
    const QString name = answer ? answer->trimmed() : QString();
    if (name.isEmpty()) {
        return;
    }
    Preset preset{name.toStdString(), PlayMode::Mode2, SliderPositions()};
    if (m_ui.matchLoudnessCheck->isChecked()) {
        preset.loudness = {Loudness::Kind::Match, 0};
    }
    if (const Preset* same = list.Find(preset.name);
        same != nullptr && !same->shipped &&
        !m_services.boxes.AskYesNo(Tr(kReplacePresetText).arg(name))) {
        return;
    }
    const std::optional<std::string> error =
        ChangePresets([&] { return SavePreset(PresetsFile(), preset); });
    if (error) {
        m_services.boxes.Tell(QString::fromStdString(*error), MessageIcon::Warning);
    }
    RefreshPresetMenus();
}

// A change of the presets file waits for another program's change and syncs the file: on a
// worker, so that the window keeps drawing meanwhile (a dialog shows after half a second).
std::optional<std::string> MainWindow::ChangePresets(
    const std::function<std::optional<std::string>()>& change) {
    std::optional<std::string> error;
    bool ran = false;
    Shared<int> cancel{0};  // the change is short and all or nothing: it runs to its end
    RunWithProgress(
        Tr(kSavingPresetsText),
        [&] {
            error = change();
            ran = true;
        },
        cancel);
    return ran ? error : change();
}

// Through the trackbars, as the suggested settings: a playback hears them from its next frame.
// The window writes in mode 2 whatever the preset's mode, which the command line uses.
void MainWindow::ApplyPreset(const Preset& preset) {
    for (const Knob knob : kProcessingKnobs) {
        m_ui.Slider(knob)->setValue(PositionOf(preset.positions, knob));
    }
    for (const Knob knob : kKeyTempoKnobs) {
        m_ui.Slider(knob)->setValue(PositionOf(preset.positions, knob));
    }
    // The window's check box matches the input's loudness; a preset's target in LUFS, which
    // the command line takes, turns it on too.
    m_ui.matchLoudnessCheck->setChecked(preset.loudness.On());
    ApplyAllTrackbars();
}

void MainWindow::DeletePresetCommand(const std::string& name) {
    if (!m_services.boxes.AskYesNo(Tr(kDeletePresetQuestion).arg(QString::fromStdString(name)))) {
        return;
    }
    if (const std::optional<std::string> error =
            ChangePresets([&] { return DeletePreset(PresetsFile(), name); })) {
        m_services.boxes.Tell(QString::fromStdString(*error), MessageIcon::Warning);
    }
    RefreshPresetMenus();
}

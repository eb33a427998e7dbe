// The window menu: suggested settings for the song, the presets (save the trackbars' settings
// under a name, apply one, delete one of the user's own), the sound output (the devices the
// sound system offers, the system's default first; the choice is kept in the profile and each
// play the user starts opens it), and About; the buttons for the manual and the maker's page.

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <algorithm>

#include "jobs/suggest.h"
#include "ui/about_dialog.h"
#include "ui/main_window.h"
#include "ui/manual_path.h"
#include "ui/profile.h"
#include "ui/trackbar_slider.h"
#include "ui/ui_language.h"

namespace {

constexpr char kPresetsMenuText[] = QT_TRANSLATE_NOOP("Zerbex", "预设");
constexpr char kSavePresetText[] = QT_TRANSLATE_NOOP("Zerbex", "将设置保存为预设...");
constexpr char kDeletePresetText[] = QT_TRANSLATE_NOOP("Zerbex", "删除预设");
constexpr char kPresetNameLabel[] = QT_TRANSLATE_NOOP("Zerbex", "预设名称：");
constexpr char kReplacePresetText[] = QT_TRANSLATE_NOOP("Zerbex", "预设“%1”已存在。要替换它吗？");
constexpr char kDeletePresetQuestion[] = QT_TRANSLATE_NOOP("Zerbex", "要删除预设“%1”吗？");
constexpr char kSavingPresetsText[] = QT_TRANSLATE_NOOP("Zerbex", "正在保存预设...");

// A name as a menu shows it: an ampersand is no shortcut mark.
QString MenuText(const std::string& name) {
    return QString::fromStdString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Removes a menu's entries; one of them may be the entry being carried out.
void ClearMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        menu->removeAction(action);
        action->deleteLater();
    }
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

constexpr char kSoundMenuText[] = QT_TRANSLATE_NOOP("Zerbex", "声音输出");
constexpr char kDefaultDeviceText[] = QT_TRANSLATE_NOOP("Zerbex", "默认 (%1: %2)");
constexpr char kNoDefaultDeviceText[] = QT_TRANSLATE_NOOP("Zerbex", "默认");
constexpr char kDeviceNotKeptText[] =
    QT_TRANSLATE_NOOP("Zerbex", "无法将声音设备的选择保存到 %1。");

// Our own section: "Default" holds the folder entry.
const QString kSoundSection = QStringLiteral("Sound");
const QString kDeviceEntry = QStringLiteral("Device");

const QString kUpgradePage = QStringLiteral("https://www.hollenby.com/zerbex2/upgrade.html");
const QString kReaderDownloadPage = QStringLiteral("https://get.adobe.com/reader/");
const char* const kMsgNoReader =
    "Error: You need to install Acrobat Reader to view manual!\n Zerbex will attempt to "
    "connect to the Adobe webpage.";

// Keeps what a job told, to be shown once the job has returned.
class HeldMessage : public JobObserver {
  public:
    void Message(const JobMessage& message) override { held = message; }
    std::optional<JobMessage> held;
};

// What a preset holds of the trackbars.
constexpr std::initializer_list<Knob> kPresetKnobs = {Knob::Pan,  Knob::Low,   Knob::High,
                                                      Knob::Left, Knob::Right, Knob::OutputLevel,
                                                      Knob::Key,  Knob::Tempo};

// What a suggestion moves; the stereo mode's moves the focus too.
constexpr std::initializer_list<Knob> kSuggestedKnobs = {Knob::Pan, Knob::Low, Knob::High,
                                                         Knob::Left, Knob::Right};
constexpr std::initializer_list<Knob> kSuggestedStereoKnobs = {
    Knob::Pan, Knob::Low, Knob::High, Knob::Left, Knob::Right, Knob::Focus};

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
        Warn(Lines(list.problems));
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

// The write command's settings: mode 2 and the trackbars.
void MainWindow::SavePresetCommand() {
    const PresetList list = RefreshPresetMenus();
    const QString name =
        m_services.boxes.AskText(Tr(kPresetNameLabel)).value_or(QString()).trimmed();
    if (name.isEmpty()) {
        return;
    }
    Preset preset{name.toStdString(), PlayMode::Mode2, {}, WriteLoudness()};
    for (const Knob knob : kPresetKnobs) {
        PositionOf(preset.positions, knob) = Pos(knob);
    }
    if (const Preset* same = list.Find(preset.name);
        same != nullptr && !same->shipped && !Confirm(Tr(kReplacePresetText).arg(name))) {
        return;
    }
    ChangePresets([&] { return SavePreset(PresetsFile(), preset); });
}

// A change of the presets file waits for another program's change and syncs the file: on a
// worker, so that the window keeps drawing meanwhile (a dialog shows after half a second).
// Then the user hears what went wrong, and the menus show the file as it is.
void MainWindow::ChangePresets(const std::function<std::optional<std::string>()>& change) {
    std::optional<std::string> error;
    std::stop_source cancel;  // the change is short and all or nothing: it runs to its end
    if (!RunWithProgress(
            Tr(kSavingPresetsText), [&] { error = change(); }, cancel)) {
        error = change();
    }
    if (error) {
        Warn(QString::fromStdString(*error));
    }
    RefreshPresetMenus();
}

// Through the trackbars, as the suggested settings: a playback hears them from its next piece.
// The window writes in mode 2 whatever the preset's mode, which the command line uses.
void MainWindow::ApplyPreset(const Preset& preset) {
    // The window's check box matches the input's loudness; a preset's target in LUFS, which
    // the command line takes, turns it on too.
    m_ui.matchLoudnessCheck->setChecked(preset.loudness.On());
    MoveTrackbars(preset.positions, kPresetKnobs);
}

void MainWindow::DeletePresetCommand(const std::string& name) {
    if (!Confirm(Tr(kDeletePresetQuestion).arg(QString::fromStdString(name)))) {
        return;
    }
    ChangePresets([&] { return DeletePreset(PresetsFile(), name); });
}

void MainWindow::CreateSoundMenu() {
    m_host.ChooseDevice(
        m_services.profile.GetString(kSoundSection, kDeviceEntry, QString()).toStdString());
    m_soundMenu = m_windowMenu->addMenu(Tr(kSoundMenuText));
    m_deviceEntries = new QActionGroup(m_soundMenu);
    // Listing asks the sound system: not before the user looks.
    connect(m_soundMenu, &QMenu::aboutToShow, this, &MainWindow::FillSoundMenu);
}

void MainWindow::FillSoundMenu() {
    ClearMenu(m_soundMenu);
    const std::vector<AudioDevice> devices =
        m_services.devices != nullptr ? m_services.devices->Devices() : std::vector<AudioDevice>{};
    const auto system = std::ranges::find(devices, true, &AudioDevice::isDefault);
    if (system == devices.end()) {
        AddDeviceEntry(Tr(kNoDefaultDeviceText), {});
    } else {
        AddDeviceEntry(
            Tr(kDefaultDeviceText).arg(MenuText(system->hostApi), MenuText(system->name)), {},
            system->name == m_host.ChosenDevice());
    }
    // The system's default device is the first entry, which names it: one entry a device.
    if (!std::ranges::all_of(devices, &AudioDevice::isDefault)) {
        m_soundMenu->addSeparator();
    }
    for (const AudioDevice& device : devices) {
        if (device.isDefault) {
            continue;
        }
        AddDeviceEntry(
            QStringLiteral("%1 (%2)").arg(MenuText(device.name), MenuText(device.hostApi)),
            device.name);
    }
}

void MainWindow::AddDeviceEntry(const QString& text, const std::string& device, bool chosen) {
    // A play that runs keeps its device; the next one the user starts opens this one.
    QAction* entry = m_soundMenu->addAction(text, this, [this, device] {
        m_host.ChooseDevice(device);
        KeepInProfile(kSoundSection, kDeviceEntry, QString::fromStdString(device),
                      kDeviceNotKeptText);
    });
    entry->setCheckable(true);
    entry->setChecked(chosen || device == m_host.ChosenDevice());
    m_deviceEntries->addAction(entry);
}

void MainWindow::ShowAbout() {
    AboutDialog(this).exec();
}

void MainWindow::OpenUpgradePage() {
    Urls().Open(QUrl(kUpgradePage));
}

// Found from the program's own folder, wherever the user started it from.
void MainWindow::OpenManual() {
    // The manual that names the captions the window shows: its file name is translated too.
    const QString manual = FindManual(QCoreApplication::applicationDirPath(),
                                      Tr(QT_TRANSLATE_NOOP("Zerbex", "zerbex2manual-zh.pdf")));
    if (!QFile::exists(manual) || !Urls().Open(QUrl::fromLocalFile(manual))) {
        // The English text names a viewer the user installs from the distribution; only the
        // template's own message goes on to the reader maker's page.
        const QString text = Tr(kMsgNoReader);
        Tell(text);
        if (text == QLatin1String(kMsgNoReader)) {
            Urls().Open(QUrl(kReaderDownloadPage));
        }
    }
    FollowProfileFolder();
}

// Moves the pan, cut-off and level trackbars to the settings suggested for the input, read
// from a few excerpts of it: a fraction of a second whatever the song's length.
void MainWindow::SuggestSettings() {
    if (!m_host.HasInput()) {
        Tell(QStringLiteral("You need to select an input file first!"));
        return;
    }
    if (!AwaitDecoding()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    HeldMessage refusal;
    // After the stereo mode was played, the suggestion is the stereo mode's.
    const PlayMode mode = m_host.ChosenMode();
    const std::optional<Positions> suggested =
        SuggestPositions(m_host.Input().Reads(), refusal, mode);
    QApplication::restoreOverrideCursor();
    if (!suggested) {
        if (refusal.held) {
            TellJob(*refusal.held);
        }
        return;
    }
    // Through the trackbars, so that a playback hears the new settings from its next piece.
    MoveTrackbars(*suggested, mode == PlayMode::Stereo ? kSuggestedStereoKnobs : kSuggestedKnobs);
}

// The window menu's sound output: the devices the sound system offers, the system's default
// first (and only there); the choice is kept in the profile, and each play the user starts opens
// it.

#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <algorithm>

#include "playback/audio_out.h"
#include "ui/main_window.h"
#include "ui/menus.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"

namespace {

constexpr char kSoundMenuText[] = QT_TRANSLATE_NOOP("Zerbex", "声音输出");
constexpr char kDefaultDeviceText[] = QT_TRANSLATE_NOOP("Zerbex", "默认 (%1: %2)");
constexpr char kNoDefaultDeviceText[] = QT_TRANSLATE_NOOP("Zerbex", "默认");
constexpr char kDeviceGoneText[] =
    QT_TRANSLATE_NOOP("Zerbex", "声音设备“%1”不存在；将在默认设备上播放。");
constexpr char kDeviceNotKeptText[] =
    QT_TRANSLATE_NOOP("Zerbex", "无法将声音设备的选择保存到 %1。");

// Our own section: "Default" holds the folder entry.
const QString kSoundSection = QStringLiteral("Sound");
const QString kDeviceEntry = QStringLiteral("Device");

QString Tr(const char* text) {
    return QCoreApplication::translate("Zerbex", text);
}

QString DefaultEntryText(const std::vector<AudioDevice>& devices) {
    const auto system = std::find_if(devices.begin(), devices.end(),
                                     [](const AudioDevice& device) { return device.isDefault; });
    if (system == devices.end()) {
        return Tr(kNoDefaultDeviceText);
    }
    return Tr(kDefaultDeviceText).arg(MenuText(system->hostApi), MenuText(system->name));
}

}  // namespace

QString MainWindow::DeviceGoneText(const std::string& device) {
    return Tr(kDeviceGoneText).arg(QString::fromStdString(device));
}

void MainWindow::CreateSoundMenu() {
    m_device.Choose(
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
    const auto system = std::find_if(devices.begin(), devices.end(),
                                     [](const AudioDevice& device) { return device.isDefault; });
    AddDeviceEntry(DefaultEntryText(devices), {},
                   system != devices.end() && system->name == m_device.Chosen());
    // The system's default device is the first entry, which names it: one entry a device.
    const bool others = std::any_of(devices.begin(), devices.end(),
                                    [](const AudioDevice& device) { return !device.isDefault; });
    if (others) {
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
    QAction* entry = m_soundMenu->addAction(text, this, [this, device] { ChooseDevice(device); });
    entry->setCheckable(true);
    entry->setChecked(chosen || device == m_device.Chosen());
    m_deviceEntries->addAction(entry);
}

// A play that runs keeps its device; the next one the user starts opens this one.
void MainWindow::ChooseDevice(const std::string& device) {
    m_device.Choose(device);
    if (!m_services.profile.WriteString(kSoundSection, kDeviceEntry,
                                        QString::fromStdString(device))) {
        m_services.boxes.Tell(Tr(kDeviceNotKeptText).arg(m_services.profile.Path()),
                              MessageIcon::Warning);
    }
}

void MainWindow::UseChosenDevice() {
    if (m_services.audio != nullptr && m_services.devices != nullptr) {
        m_device.Apply(*m_services.devices, *m_services.audio, *this);
    }
}

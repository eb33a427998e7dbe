// The window menu's sound output: the devices listed when it opens, the choice kept in the
// profile and opened by the next play, and a kept device that is gone.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_button.h"

namespace {

const QString kSoundEntry = QString::fromUtf8("声音输出");
const QString kUsbEntry = QStringLiteral("USB && Co (ALSA)");
const std::string kUsb = "USB & Co";

std::vector<AudioDevice> TwoDevices() {
    return {{0, "default", "ALSA", true}, {3, kUsb, "ALSA", false}};
}

// The submenu as the user sees it when it opens: entries, and "*" before the checked one.
QStringList Shown(QMenu* menu) {
    emit menu->aboutToShow();
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts.append(action->isSeparator() ? QStringLiteral("--")
                                           : (action->isChecked() ? "*" : "") + action->text());
    }
    return texts;
}

void Choose(QMenu* menu, const QString& text) {
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "no entry " << text.toStdString();
}

QMenu* SoundMenu(const MainWindow& window) {
    for (QAction* action : window.WindowMenu()->actions()) {
        if (action->text() == kSoundEntry) {
            return action->menu();
        }
    }
    return nullptr;
}

// Plays the input until it has been opened, and stops.
void PlayAndStop(WindowFixture& f) {
    const int opens = f.audio.Opens();
    f.Ui().playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Opens() > opens; }));
    f.Ui().playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.window->Idle(); }));
}

TEST(SoundMenu, ListsTheDevicesOnlyWhenItOpensTheDefaultFirstAndTheKeptOneChecked) {
    const QString defaultEntry = QString::fromUtf8("默认 (ALSA: default)");
    const struct {
        QString kept;  // in the profile
        QStringList shown;
    } cases[] = {
        {"", {"*" + defaultEntry, "--", kUsbEntry}},
        {QString::fromStdString(kUsb), {defaultEntry, "--", "*" + kUsbEntry}},
        {"unplugged", {defaultEntry, "--", kUsbEntry}},
        // The default device kept by its name: its one entry is the first.
        {"default", {"*" + defaultEntry, "--", kUsbEntry}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept.toStdString());
        WindowFixture f;
        f.devices.devices = TwoDevices();
        ASSERT_TRUE(f.profile.WriteString("Sound", "Device", c.kept));
        f.Reopen();
        EXPECT_EQ(f.devices.listings, 0) << "listed before the menu opened";
        QMenu* menu = SoundMenu(*f.window);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(Shown(menu), c.shown);
        EXPECT_EQ(f.devices.listings, 1);
        EXPECT_EQ(Shown(menu), c.shown) << "opened again";
    }
    WindowFixture f;
    EXPECT_EQ(Shown(SoundMenu(*f.window)), QStringList{"*" + QString::fromUtf8("默认")})
        << "no devices listed";
}

// The choice goes to the profile beside the folder entry; a play that runs keeps its device,
// also when it starts again at the end of its data, and the next one the user starts opens it.
TEST(SoundMenu, AChoiceIsKeptAndOpenedFromTheNextPlayOn) {
    WindowFixture f(std::chrono::microseconds(500));
    f.devices.devices = TwoDevices();
    // Half a second: the data runs out and starts again every few milliseconds.
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(22050))));
    const QString folder = f.profile.GetString("Default", "Path", "");
    ASSERT_FALSE(folder.isEmpty());

    f.Ui().playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Opens() >= 2; }));
    Choose(SoundMenu(*f.window), kUsbEntry);
    EXPECT_EQ(f.window->ChosenDevice(), kUsb);
    const int opensBefore = f.audio.Opens();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Opens() >= opensBefore + 3; }));
    f.Ui().playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.window->Idle(); }));
    for (const std::string& device : f.audio.OpenedDevices()) {
        EXPECT_EQ(device, "") << "the running play changed its device";
    }

    PlayAndStop(f);
    EXPECT_EQ(f.audio.OpenedDevices().back(), kUsb);
    EXPECT_EQ(f.profile.GetString("Sound", "Device", ""), QString::fromStdString(kUsb));
    EXPECT_EQ(f.profile.GetString("Default", "Path", ""), folder);

    f.Reopen();
    f.ChooseInput(f.dir / "in.wav");
    PlayAndStop(f);
    EXPECT_EQ(f.audio.OpenedDevices().back(), kUsb) << "after a restart";
    Choose(SoundMenu(*f.window), QString::fromUtf8("默认 (ALSA: default)"));
    PlayAndStop(f);
    EXPECT_EQ(f.audio.OpenedDevices().back(), "");
    EXPECT_EQ(f.profile.GetString("Sound", "Device", "unset"), "");
    EXPECT_TRUE(f.boxes.shown.empty()) << f.boxes.shown.front().text.toStdString();
}

// Once for each time it goes missing, in the window's language; the default plays meanwhile.
TEST(SoundMenu, AKeptDeviceThatIsGoneIsToldOnceAndTheDefaultPlays) {
    const struct {
        bool english;
        QString text;
    } cases[] = {
        {false, QString::fromUtf8("声音设备“USB & Co”不存在；将在默认设备上播放。")},
        {true, QStringLiteral("The sound device \"USB & Co\" is not there; playing on the default "
                              "device.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.english ? "English" : "Chinese");
        ASSERT_TRUE(SpeakEnglish(c.english));
        WindowFixture f(std::chrono::milliseconds(10));
        ASSERT_TRUE(f.profile.WriteString("Sound", "Device", QString::fromStdString(kUsb)));
        f.devices.devices = {TwoDevices()[0]};
        f.Reopen();
        f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
        PlayAndStop(f);
        PlayAndStop(f);
        ASSERT_EQ(f.boxes.shown.size(), 1u);
        EXPECT_EQ(f.boxes.shown[0].text, c.text);
        EXPECT_EQ(f.audio.OpenedDevices(), (std::vector<std::string>{"", ""}));
        EXPECT_EQ(f.window->ChosenDevice(), kUsb) << "the choice stays for when it is back";

        f.devices.devices = TwoDevices();
        PlayAndStop(f);
        f.devices.devices = {TwoDevices()[0]};
        PlayAndStop(f);
        EXPECT_EQ(f.audio.OpenedDevices(), (std::vector<std::string>{"", "", kUsb, ""}));
        EXPECT_EQ(f.boxes.shown.size(), 2u) << "gone again";
    }
    SpeakEnglish(false);
}

TEST(SoundMenu, AChoiceThatCannotBeKeptIsSaidAndStillPlays) {
    EnsureApplication();
    RecordingBoxes boxes;
    ScriptedFileDialogs files;
    Profile profile(QStringLiteral("/dev/null/zerbex2.ini"));
    TestAudioOut audio;
    TestAudioDevices devices;
    devices.devices = TwoDevices();
    MainWindow window(UiServices{boxes, files, profile, &audio, nullptr, &devices});
    Choose(SoundMenu(window), kUsbEntry);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              QString::fromUtf8("无法将声音设备的选择保存到 /dev/null/zerbex2.ini。"));
    EXPECT_EQ(window.ChosenDevice(), kUsb);
}

}  // namespace

// The window attacked as a hostile user would: what it writes, what it saves and what it
// shows, one row a case, numbered and named after what it checks.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "settings/presets.h"
#include "tests/test_support/command.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_button.h"

namespace fs = std::filesystem;

namespace {

const QString kSaveEntry = QString::fromUtf8("将设置保存为预设...");
const QString kPresetsEntry = QString::fromUtf8("预设");

QAction* Entry(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

fs::path PresetsFile(const WindowFixture& f) {
    return fs::path(f.profileDir.path().toStdString()) / kPresetsFileName;
}

void Save(WindowFixture& f, const QString& name) {
    f.boxes.textAnswers.resize(f.boxes.textLabels.size());
    f.boxes.textAnswers.push_back(name);
    Entry(f.window->WindowMenu(), kSaveEntry)->trigger();
}

Bytes CoverOf(const fs::path& file) {
    const CommandResult r = RunCommand({"ffmpeg", "-v", "error", "-i", file.string(), "-map", "0:v",
                                        "-c", "copy", "-f", "image2pipe", "-"});
    return Bytes(r.out.begin(), r.out.end());
}

const std::string kGoodPreset =
    "mode = mode2\npan = 0\nlow = 8\nhigh = 57\nleft = 13\nright = 13\noutput-level = 25\n";

struct WindowCase {
    const char* name;
    std::function<void()> run;
};

const WindowCase kWindowCases[] = {
    // 22: another input takes its own output name, unless one was typed for it.
    {"P22_AnotherInputGetsItsOwnOutputName",
     [] {
         WindowFixture f;
         fs::create_directories(f.dir / "one");
         fs::create_directories(f.dir / "two");
         f.ChooseInput(f.Make("one/first.wav", SimpleWav(TestSignal(1000))));
         f.ChooseOutput(f.dir / "one" / "mine.mp3");
         EXPECT_EQ(f.Ui().outputPathEdit->text(), Q(f.dir / "one" / "mine.mp3"));
         f.ChooseInput(f.Make("two/second.flac", SimpleWav(TestSignal(1000))));
         EXPECT_EQ(f.Ui().outputPathEdit->text(), Q(f.dir / "two" / "second-karaoke.flac"))
             << "not the first song's output";
         // A name typed for this input stays when the same input is chosen again.
         f.Ui().outputPathEdit->setText(Q(f.dir / "typed.wav"));
         emit f.Ui().outputPathEdit->textEdited(Q(f.dir / "typed.wav"));
         f.ChooseInput(f.dir / "two" / "second.flac");
         EXPECT_EQ(f.Ui().outputPathEdit->text(), Q(f.dir / "typed.wav"));
         // An output chosen before any input is the first input's.
         WindowFixture g;
         g.ChooseOutput(g.dir / "before.wav");
         g.ChooseInput(g.Make("song.wav", SimpleWav(TestSignal(1000))));
         EXPECT_EQ(g.Ui().outputPathEdit->text(), Q(g.dir / "before.wav"));
     }},
    // 7: the window writes from the decoded copy, and keeps the input's cover.
    {"P7_TheWindowsWriteKeepsTheCover",
     [] {
         WindowFixture f;
         const fs::path picture = f.dir / "cover.png";
         ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=s=32x32",
                               "-frames:v", "1", picture.string()})
                       .exitCode,
                   0);
         const fs::path input = EncodeWithFfmpeg(
             f.dir / "song.mp3", "aevalsrc=sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=44100:d=1",
             {"-i", picture.string(), "-map", "0", "-map", "1", "-c:v", "copy", "-disposition:v",
              "attached_pic", "-c:a", "libmp3lame"});
         for (const char* name : {"out.mp3", "out.flac", "out.m4a"}) {
             SCOPED_TRACE(name);
             f.ChooseInput(input);
             f.ChooseOutput(f.dir / name);
             f.Ui().writeFileButton->click();
             ASSERT_TRUE(fs::exists(f.dir / name));
             EXPECT_TRUE(CoverOf(f.dir / name) == ReadFile(picture));
         }
     }},
    // 3: a save waits for another program's change of the presets file, and the window keeps
    // drawing meanwhile; both presets are kept.
    {"P3_ASaveWaitsForAnotherProgramWithoutFreezing",
     [] {
         WindowFixture f;
         const fs::path folder = PresetsFile(f).parent_path();
         const int held = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
         ASSERT_EQ(::flock(held, LOCK_EX), 0);
         // The other program: its preset goes in while it holds the lock.
         std::ofstream(PresetsFile(f)) << "[Theirs]\n" << kGoodPreset;
         std::thread other([held] {
             std::this_thread::sleep_for(std::chrono::milliseconds(800));
             ::close(held);
         });
         int ticks = 0;
         QTimer timer;
         QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
         timer.start(20);
         QElapsedTimer clock;
         clock.start();
         Save(f, QStringLiteral("Mine"));
         other.join();
         EXPECT_GE(clock.elapsed(), 700) << "it waited for the other program";
         EXPECT_GE(ticks, 10) << "the window's events ran while it waited";
         const PresetList list = LoadPresets(PresetsFile(f));
         EXPECT_NE(list.Find("Theirs"), nullptr);
         EXPECT_NE(list.Find("Mine"), nullptr);
     }},
    // 15: a presets file of 7,692 entries: the window opens at once, its menu holds the
    // shipped presets and the first 500, and a save is quick.
    {"P15_AMegabyteOfPresetsOpensAtOnce",
     [] {
         WindowFixture f;
         std::string text;
         for (int i = 0; i < 7692; ++i) {
             text += "[p" + std::to_string(i) + "]\n" + kGoodPreset + "\n";
         }
         std::ofstream(PresetsFile(f)) << text;
         QElapsedTimer clock;
         clock.start();
         f.Reopen();
         EXPECT_LT(clock.elapsed(), 2000);
         const QMenu* presets = Entry(f.window->WindowMenu(), kPresetsEntry)->menu();
         EXPECT_LE(presets->actions().size(),
                   static_cast<qsizetype>(ShippedPresets().presets.size() + 1 + kMaxPresets));
         clock.restart();
         Save(f, QStringLiteral("p7"));  // replaces one: a full file takes no new ones
         EXPECT_LT(clock.elapsed(), 2000);
     }},
    // 16: a device name of two megabytes in the profile: bounded, elided in the message.
    {"P16_AHugeDeviceNameInTheProfileIsElided",
     [] {
         WindowFixture f(std::chrono::milliseconds(10));
         ASSERT_TRUE(f.profile.WriteString("Sound", "Device", QString(2 << 20, QLatin1Char('D'))));
         QElapsedTimer clock;
         clock.start();
         f.Reopen();
         f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100))));
         f.devices.devices = {AudioDevice{0, "default", "ALSA", true}};
         f.Ui().playMode2Button->click();
         ASSERT_TRUE(PumpUntil([&] { return f.audio.Opens() > 0; }));
         f.Ui().playMode2Button->click();
         ASSERT_TRUE(PumpUntil([&] { return f.window->Idle(); }));
         EXPECT_LT(clock.elapsed(), 5000);
         ASSERT_EQ(f.boxes.shown.size(), 1u);
         EXPECT_LT(f.boxes.shown.front().text.size(), 200) << f.boxes.shown.front().text.size();
         EXPECT_EQ(f.audio.OpenedDevices(), std::vector<std::string>{""}) << "the default plays";
     }},
};

class HostileWindow : public ::testing::TestWithParam<WindowCase> {};

TEST_P(HostileWindow, HoldsWhatItShould) {
    GetParam().run();
}

void PrintTo(const WindowCase& c, std::ostream* out) {
    *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(Attacked, HostileWindow, ::testing::ValuesIn(kWindowCases),
                         [](const ::testing::TestParamInfo<WindowCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace

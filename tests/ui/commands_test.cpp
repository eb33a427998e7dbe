// The window's commands: choosing files, writing, the seven play buttons, the manual and the
// upgrade page. Playback goes to a test sound output.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <random>

#include "tests/test_support/cache_home.h"
#include "tests/test_support/command.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_button.h"
#include "ui/play_buttons.h"
#include "ui/resource_ids.h"
#include "ui/trackbar_slider.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const QString kStopFirst = "Please stop playing audio first!";
const QString kCreate = "Do you wish to create a new file?";
const QString kOverwrite = "This command will overwrite the output file. Are you sure?";
const QString kDone = "Done processing file!";

class Commands : public ::testing::Test {
  protected:
    Commands() : f(2ms) {}  // a quarter second of sound plays in 2 ms

    std::vector<QString> Texts() const { return f.boxes.Texts(); }
    void ExpectIdleFaces() {
        for (const auto& [button, face] : std::vector<std::pair<BitmapButton*, int>>{
                 {ui.lowButton, IDB_LOW_IDLE},
                 {ui.leftButton, IDB_LEFT_IDLE},
                 {ui.rightButton, IDB_RIGHT_IDLE},
                 {ui.highButton, IDB_HIGH_IDLE},
                 {ui.playMode2Button, IDB_PLAY_MODE2_IDLE},
                 {ui.playMode1Button, IDB_PLAY_MODE1_IDLE},
                 {ui.playOriginalButton, IDB_PLAY_ORIGINAL_IDLE}}) {
            EXPECT_EQ(button->ImageId(), face) << button->objectName().toStdString();
        }
    }
    // Plays a long input that keeps playing until the test releases the sound output.
    void StartHeldPlayback() {
        f.ChooseInput(f.Make("long.wav", SimpleWav(TestSignal(44100 * 30))));
        f.audio.holdCompletions = true;
        ui.playMode2Button->click();
        ASSERT_TRUE(PumpUntil([&] { return f.audio.BlockSizes().size() >= 2; }));
    }
    void StopHeldPlayback() {
        ui.playMode2Button->click();
        f.audio.ReleaseHeld();
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
    }
    void TypeOutput(const fs::path& path) { ui.outputPathEdit->setText(Q(path)); }
    bool AllBoxesOnTheWindowThread() const {
        return std::all_of(f.boxes.threads.begin(), f.boxes.threads.end(),
                           [](QThread* thread) { return thread == qApp->thread(); });
    }

    WindowFixture f;
    MainWindow& window = *f.window;
    const MainWindowUi& ui = f.Ui();
    const PlayControls& controls = window.Controls();
};

// --- Choosing files ---------------------------------------------------------------------

TEST_F(Commands, ChoosingAnInputRemembersItsFolderAndResetsTheLoop) {
    const fs::path input = f.Make("song.wav", SimpleWav(TestSignal(100)));
    ui.Slider(Knob::LoopStart)->setValue(30);
    ui.Slider(Knob::LoopEnd)->setValue(60);
    ui.Slider(Knob::PlayPos)->setValue(42);
    f.ChooseInput(input);
    EXPECT_EQ(ui.inputPathEdit->text(), Q(input));
    EXPECT_EQ(ui.Slider(Knob::LoopStart)->value(), 0);
    EXPECT_EQ(ui.Slider(Knob::LoopEnd)->value(), 100);
    EXPECT_EQ(ui.Slider(Knob::PlayPos)->value(), 42) << "the play position is left alone";
    EXPECT_EQ(f.profile.GetString("Default", "Path", ""), Q(f.dir.Path()));
    EXPECT_EQ(f.files.requests.at(0).kind, FileDialogRequest::Kind::Open);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(Commands, DialogsOpenInTheProfilesFolderThenWhereTheLastInputWas) {
    f.ChooseOutput(f.dir / "out.wav");  // before any input: where the program started
    f.files.answers.push_back(std::nullopt);
    ui.selectInputButton->click();  // the profile has none yet: the home folder
    EXPECT_EQ(f.profile.GetString("Default", "Path", "none"), QDir::homePath())
        << "a cancelled dialog still stores its folder";
    f.ChooseInput(f.Make("a.wav", SimpleWav(TestSignal(10))));
    f.ChooseOutput(f.dir / "out.wav");
    f.files.answers.push_back(std::nullopt);
    ui.selectInputButton->click();
    const std::vector<QString> folders = {QDir::currentPath(), QDir::homePath(), QDir::homePath(),
                                          Q(f.dir.Path()), Q(f.dir.Path())};
    ASSERT_EQ(f.files.requests.size(), folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(f.files.requests[i].directory, folders[i]) << "dialog " << i;
    }
    EXPECT_EQ(f.files.requests[0].kind, FileDialogRequest::Kind::Save);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(Commands, InputCannotChangeWhilePlaying) {
    StartHeldPlayback();
    const QString before = f.profile.GetString("Default", "Path", "untouched");
    const std::size_t requests = f.files.requests.size();
    ui.selectInputButton->click();
    window.DropFiles({Q(f.dir / "long.wav")});
    EXPECT_EQ(Texts(), (std::vector<QString>{kStopFirst, kStopFirst}));
    EXPECT_EQ(f.files.requests.size(), requests);
    EXPECT_EQ(f.profile.GetString("Default", "Path", "untouched"), before);
    StopHeldPlayback();
}

TEST_F(Commands, ChoosingAnOutputShowsItWithoutTouchingTheProfile) {
    const fs::path out = f.dir / "out.wav";
    f.ChooseOutput(out);
    EXPECT_EQ(ui.outputPathEdit->text(), Q(out));
    EXPECT_EQ(f.files.requests.at(0).kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(f.profile.GetString("Default", "Path", "none"), "none");
}

// --- Writing ----------------------------------------------------------------------------

TEST_F(Commands, WriteNeedsBothFilesChosenWithTheirDialogs) {
    ui.writeFileButton->click();
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(100))));
    TypeOutput(f.dir / "typed.wav");
    ui.writeFileButton->click();
    const QString needBoth = "You need to select an input file and output file first!";
    EXPECT_EQ(Texts(), (std::vector<QString>{needBoth, needBoth}));
    EXPECT_FALSE(fs::exists(f.dir / "typed.wav"));
}

TEST_F(Commands, WriteRefusesTheInputUnderAnySpelling) {
    const fs::path input = f.Make("in.wav", SimpleWav(TestSignal(1000)));
    const Bytes before = ReadFile(input);
    f.ChooseInput(input);
    f.ChooseOutput(f.dir / "out.wav");
    fs::create_symlink(input, f.dir / "link.wav");
    for (const fs::path& same : {input, f.dir.Path() / "." / "in.wav", f.dir / "link.wav"}) {
        f.boxes.shown.clear();
        TypeOutput(same);
        ui.writeFileButton->click();
        EXPECT_EQ(Texts(), std::vector<QString>{"Enter a different filename. Trying to write to "
                                                "the input filename is not allowed."})
            << same;
    }
    EXPECT_TRUE(ReadFile(input) == before);
}

TEST_F(Commands, WriteAsksFirstAndNoLeavesTheDiskUnchanged) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(3000))));
    const fs::path out = f.Make("out.wav", Bytes(100, 7));
    f.ChooseOutput(out);
    f.boxes.answers = {false, false};
    ui.writeFileButton->click();
    const fs::path fresh = f.dir / "fresh.wav";
    TypeOutput(fresh);
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{kOverwrite, kCreate}));
    EXPECT_TRUE(f.boxes.shown[0].question);
    EXPECT_TRUE(ReadFile(out) == Bytes(100, 7));
    EXPECT_FALSE(fs::exists(fresh));
}

// The write hands the engine mode 2 and the positions as they were when it started, moves of
// the trackbars while it runs notwithstanding.
TEST_F(Commands, WriteProducesTheModeTwoCopyWithTheSettingsAtItsStartAndSaysDoneOnce) {
    const Bytes inBytes = SimpleWav(TestSignal(44100 * 5));
    f.ChooseInput(f.Make("in.wav", inBytes));
    const fs::path out = f.dir / "out.wav";
    f.ChooseOutput(out);
    ui.Slider(Knob::Pan)->setSliderPosition(-20);  // as a drag would
    ui.Slider(Knob::OutputLevel)->setSliderPosition(10);
    ui.Slider(Knob::LoopStart)->setValue(30);
    QObject::connect(ui.Slider(Knob::PlayPos), &QSlider::valueChanged, [&](int step) {
        if (step == 1) {
            ui.Slider(Knob::Pan)->setSliderPosition(25);
        }
    });
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, kDone}));
    EXPECT_EQ(f.boxes.shown.back().icon, MessageIcon::Information);
    EXPECT_EQ(controls.settings.Read().mode, PlayMode::Mode2);
    EXPECT_EQ(ui.Slider(Knob::Pan)->value(), 25) << "the move came while the job ran";
    Positions expected;
    expected.pan = -20;
    expected.outputLevel = 10;
    EXPECT_TRUE(ReadFile(out) == ModeTwoWrite(inBytes, expected));
    EXPECT_EQ(ui.Slider(Knob::LoopStart)->value(), 0) << "a write runs from the first byte";
    EXPECT_TRUE(window.Idle());
}

TEST_F(Commands, FailedWriteShowsItsOwnMessageAndNeverDone) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(100))));
    f.ChooseOutput(f.dir / "missing-folder" / "out.wav");
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, "Error creating output wave file...\n"}));
    f.boxes.shown.clear();
    f.ChooseInput(f.Make("mono.wav", SimpleWav(std::vector<std::int16_t>(400, 3), 1)));
    f.ChooseOutput(f.dir / "out.wav");
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, "Error code 1101, Input not stereo! \n"}));
    EXPECT_FALSE(fs::exists(f.dir / "out.wav"));
    EXPECT_TRUE(AllBoxesOnTheWindowThread());
}

// A name of no format is refused as the command line refuses it, before the question; an
// MP3's name gets an MP3.
TEST_F(Commands, WriteRefusesANameOfNoFormatAndEncodesByTheExtension) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100))));
    for (const char* extension : {".xyz", ".MP4"}) {
        const fs::path out = f.dir / (std::string("out") + extension);
        f.ChooseOutput(out);
        f.boxes.shown.clear();
        ui.writeFileButton->click();
        EXPECT_EQ(Texts(), std::vector<QString>{Q(out) + ": cannot write " + extension +
                                                " files; use .wav, .flac, .mp3, .m4a, .opus or "
                                                ".ogg"});
        EXPECT_FALSE(fs::exists(out));
    }
    f.ChooseOutput(f.dir / "out.Mp3");
    f.boxes.shown.clear();
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, kDone}));
    const CommandResult probe =
        RunCommand({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                    "csv=p=0", (f.dir / "out.Mp3").string()});
    EXPECT_EQ(probe.out, "mp3\n");
}

TEST_F(Commands, WriteIsRefusedWhilePlaying) {
    StartHeldPlayback();
    f.ChooseOutput(f.dir / "out.wav");
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), std::vector<QString>{kStopFirst});
    EXPECT_FALSE(fs::exists(f.dir / "out.wav"));
    StopHeldPlayback();
}

// Cancel on the progress dialog stops the write, to a WAV or through an encoder: the old
// output stays, no "Done", and while the write runs nothing else starts.
TEST_F(Commands, CancelledWriteLeavesTheOldOutputAndNothingStartsMeanwhile) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 10))));
    const Bytes old(10, 7);
    QObject::connect(ui.Slider(Knob::PlayPos), &QSlider::valueChanged, [&](int step) {
        if (step != 1) {
            return;
        }
        EXPECT_EQ(window.Phase(), JobPhase::Writing);
        ui.playMode1Button->click();
        ui.writeFileButton->click();
        auto* progress = window.findChild<QProgressDialog*>();
        ASSERT_NE(progress, nullptr);
        progress->findChild<QPushButton*>()->click();
    });
    for (const char* name : {"out.wav", "out.flac"}) {
        SCOPED_TRACE(name);
        f.boxes.shown.clear();
        const fs::path out = f.Make(name, old);
        f.ChooseOutput(out);
        ui.writeFileButton->click();
        EXPECT_EQ(Texts(), (std::vector<QString>{kOverwrite, kStopFirst}));
        EXPECT_TRUE(ReadFile(out) == old);
        EXPECT_EQ(f.audio.Opens(), 0);
        EXPECT_TRUE(window.Idle());
        fs::remove(out);
        EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path()), fs::directory_iterator()), 1)
            << "no file is left beside the output";
    }
}

// Every kind of audio file is offered and decoded when chosen; a file that is no audio is
// refused when written or played, with no "Done processing file!" and the output untouched.
TEST_F(Commands, AudioOfAnyKindIsReadAndNonAudioIsRefused) {
    const Bytes old(10, 7);
    const fs::path out = f.Make("out.wav", old);
    f.ChooseInput(f.Make("notes.txt", Bytes{'h', 'i', '\n'}));
    f.ChooseOutput(out);
    EXPECT_TRUE(f.files.requests.at(0).filter.startsWith("Audio Files (*.wav *.mp3 *.flac"));
    EXPECT_EQ(f.files.requests.at(0).otherFilters,
              (QStringList{"Wave Files (*.wav)", "All Files (*)"}));
    EXPECT_EQ(QStringList{f.files.requests.at(1).filter} + f.files.requests.at(1).otherFilters,
              OutputFilters());
    const QString notAudio = "Error code 1103, Input is not an audio file! \n";
    ui.writeFileButton->click();
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle() && f.boxes.shown.size() == 3; }));
    EXPECT_EQ(Texts(), (std::vector<QString>{kOverwrite, notAudio, notAudio}));
    EXPECT_TRUE(ReadFile(out) == old);

    const fs::path mp3 = f.dir / "song.mp3";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=0.3:r=22050", "-ac",
                          "2", mp3.string()})
                  .exitCode,
              0);
    f.ChooseInput(mp3);
    f.ChooseOutput(f.dir / "out.FLAC");
    f.boxes.shown.clear();
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, kDone}));
    const Bytes flac = ReadFile(f.dir / "out.FLAC");
    EXPECT_EQ(std::string(flac.begin(), flac.begin() + std::min<std::size_t>(4, flac.size())),
              "fLaC");

    // A file cut short is written as far as it decodes, and "Done" says how far that was.
    const fs::path whole = f.dir / "whole.flac";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=6", "-ac", "2",
                          whole.string()})
                  .exitCode,
              0);
    const Bytes all = ReadFile(whole);
    f.ChooseInput(f.Make(
        "cut.flac", Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2))));
    f.ChooseOutput(f.dir / "cut.wav");
    f.boxes.shown.clear();
    ui.writeFileButton->click();
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_TRUE(Texts()[1].startsWith(kDone + "\n\ncut.flac: decoded 3 s of the 6 s it declares"))
        << Texts()[1].toStdString();
    EXPECT_EQ(f.boxes.shown.back().icon, MessageIcon::Information);
}

// A decoded input plays at once, while it is decoded; a write after it waits for the decoder
// and writes exactly what render writes of the input.
TEST_F(Commands, DecodedInputPlaysAtOnceAndAWriteAfterIsWhatRenderWrites) {
    const CacheHome cache(f.dir.Path());
    const struct {
        const char* input;
        const char* output;
    } cases[] = {{"song.mp3", "out.wav"}, {"song.flac", "out.flac"}, {"song.ogg", "out.wav"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const fs::path input = EncodeWithFfmpeg(
            f.dir / c.input, "aevalsrc=0.4*sin(440*2*PI*t)|0.3*sin(660*2*PI*t):s=44100:d=20");
        f.ChooseInput(input);
        ui.playMode2Button->click();
        ASSERT_TRUE(PumpUntil([&] { return f.audio.BlockSizes().size() >= 2; }));
        ui.playMode2Button->click();
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
        f.ChooseOutput(f.dir / c.output);
        f.boxes.shown.clear();
        ui.writeFileButton->click();
        EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, kDone}));
        const fs::path rendered = f.dir / (std::string("render-") + c.output);
        ASSERT_EQ(RunCommand({ZERBEX_CLI, "render", input.string(), rendered.string()}).exitCode,
                  0);
        EXPECT_TRUE(ReadFile(f.dir / c.output) == ReadFile(rendered));
        fs::remove(f.dir / c.output);
    }
}

// A write follows the mode last played: the stereo mode writes itself (and its vocals, with
// the box checked), any other mode writes mode 2, each as the tool renders it.
TEST_F(Commands, AWriteFollowsTheModeLastPlayed) {
    const fs::path input = f.Make("in.wav", SimpleWav(TestSignal(44100 * 4)));
    f.ChooseInput(input);
    ui.writeVocalsCheck->setChecked(true);
    const struct {
        BitmapButton* button;
        const char* mode;
    } cases[] = {{ui.playStereoButton, "stereo"}, {ui.playMode1Button, "mode2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        c.button->click();
        ASSERT_TRUE(PumpUntil([&] { return f.audio.BlockSizes().size() >= 2; }));
        c.button->click();
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
        const fs::path out = f.dir / (std::string("out-") + c.mode + ".wav");
        f.ChooseOutput(out);
        f.boxes.shown.clear();
        ui.writeFileButton->click();
        EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, kDone}));
        const fs::path rendered = f.dir / (std::string("render-") + c.mode + ".wav");
        ASSERT_EQ(RunCommand({ZERBEX_CLI, "render", "--mode", c.mode, "--stems", input.string(),
                              rendered.string()})
                      .exitCode,
                  0);
        EXPECT_TRUE(ReadFile(out) == ReadFile(rendered));
        const auto vocals = [](const fs::path& p) {
            return p.parent_path() / (p.stem().string() + "-vocals.wav");
        };
        EXPECT_TRUE(ReadFile(vocals(out)) == ReadFile(vocals(rendered)));
    }
}

// The decoding shows in the title, and another choice stops it and removes its copy.
TEST_F(Commands, ChoosingAnotherFileWhileDecodingLeavesOnlyItsCopy) {
    const CacheHome cache(f.dir.Path());
    const QString title = window.windowTitle();
    const fs::path longer = EncodeWithFfmpeg(f.dir / "long.flac", "sine=d=120", {"-ac", "2"});
    const fs::path wav = f.Make("short.wav", SimpleWav(TestSignal(4410)));
    const fs::path mp3 = EncodeWithFfmpeg(f.dir / "short.mp3", "sine=d=1", {"-ac", "2"});
    f.ChooseInput(longer);
    EXPECT_TRUE(window.windowTitle().startsWith(title) && window.windowTitle() != title)
        << window.windowTitle().toStdString();
    f.ChooseInput(wav);
    EXPECT_EQ(window.windowTitle(), title);
    EXPECT_EQ(CopiesUnder(f.dir.Path()), 0u);
    f.ChooseInput(longer);
    f.ChooseInput(mp3);
    ASSERT_TRUE(PumpUntil([&] { return window.windowTitle() == title; }));
    EXPECT_EQ(CopiesUnder(f.dir.Path()), 1u);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(Commands, OverLongPathsAreRefused) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(100))));
    const QString longPath = Q(f.dir.Path()) + "/" + QString(2000, 'x');
    f.files.answers.push_back(longPath);
    ui.selectOutputButton->click();
    EXPECT_TRUE(ui.outputPathEdit->text().isEmpty());
    f.ChooseOutput(f.dir / "out.wav");
    ui.outputPathEdit->setText(longPath);
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), std::vector<QString>(2, "The file path is too long."));
    EXPECT_EQ(ui.outputPathEdit->text(), longPath);
    EXPECT_FALSE(fs::exists(f.dir / "out.wav"));
}

// --- Playing ----------------------------------------------------------------------------

TEST_F(Commands, PlayWithoutAnInputOnlySaysSo) {
    ui.lowButton->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"You need to select an input file first!"});
    EXPECT_TRUE(window.Idle());
    EXPECT_EQ(f.audio.Opens(), 0);
    ExpectIdleFaces();
}

TEST_F(Commands, StartSwitchAndStop) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    ui.Slider(Knob::Low)->setValue(20);  // a program move: the start reads it
    f.audio.holdCompletions = true;
    ui.lowButton->click();
    EXPECT_EQ(window.Phase(), JobPhase::Playing);
    EXPECT_EQ(controls.settings.Read().mode, PlayMode::Low);
    EXPECT_EQ(controls.settings.Read().lowCutoff, 540);
    EXPECT_EQ(ui.lowButton->ImageId(), IDB_LOW_STOP);
    EXPECT_EQ(ui.lowButton->text(), "Stop");
    ASSERT_TRUE(PumpUntil([&] { return f.audio.BlockSizes().size() >= 2; }));
    // The level reaches the window through a queued call, which may still be waiting.
    EXPECT_TRUE(PumpUntil([&] { return window.MeterImage() != IDB_METER_DARK; }))
        << "the meter follows the sound";

    // Switch: same job, new mode, faces swap, nothing recomputed.
    ui.Slider(Knob::Low)->setValue(30);
    ui.playMode1Button->click();
    EXPECT_EQ(controls.settings.Read().mode, PlayMode::Mode1);
    EXPECT_FALSE(controls.stop.stop_requested());
    EXPECT_EQ(controls.settings.Read().lowCutoff, 540);
    EXPECT_EQ(ui.playMode1Button->ImageId(), IDB_WIDE_STOP);
    EXPECT_EQ(ui.lowButton->ImageId(), IDB_LOW_IDLE);

    // Stop: the job ends, the window goes back to idle and does not start again.
    ui.playMode1Button->click();
    EXPECT_TRUE(controls.stop.stop_requested());
    EXPECT_EQ(ui.playMode1Button->ImageId(), IDB_WIDE_STOP) << "until the job has ended";
    f.audio.ReleaseHeld();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
    ExpectIdleFaces();
    EXPECT_EQ(window.MeterImage(), IDB_METER_DARK);
    EXPECT_EQ(controls.settings.Read().mode, PlayMode::Mode2);
    EXPECT_EQ(f.audio.Opens(), 1) << "a switch starts no new job";
    EXPECT_TRUE(Texts().empty());
}

// Alt+1 and Alt+2 start and stop playback at every press, and a stopped button says its
// own caption again.
TEST_F(Commands, AccessKeysStartAndStopEveryTime) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QString caption = ui.playMode2Button->text();
    for (int round = 0; round < 10; ++round) {
        const Qt::Key key = round % 2 == 0 ? Qt::Key_2 : Qt::Key_1;
        const PlayMode mode = round % 2 == 0 ? PlayMode::Mode2 : PlayMode::Mode1;
        // An access key clicks its button a moment later, as a mouse click would look.
        QTest::keyClick(&window, key, Qt::AltModifier);
        ASSERT_TRUE(PumpUntil([&] { return window.Phase() == JobPhase::Playing; })) << round;
        EXPECT_EQ(controls.settings.Read().mode, mode) << round;
        QTest::keyClick(&window, key, Qt::AltModifier);
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); })) << round;
    }
    EXPECT_EQ(ui.playMode2Button->text(), caption);
    EXPECT_NE(ui.playMode1Button->text(), "Stop");
}

TEST_F(Commands, PlaybackMovesThePlayPositionAndMovesToAReleasedOne) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    f.audio.holdCompletions = true;
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.BlockSizes().size() >= 2; }));
    ui.Slider(Knob::PlayPos)->setSliderPosition(60);
    emit ui.Slider(Knob::PlayPos)->released();
    f.audio.ReleaseHeld();
    ASSERT_TRUE(PumpUntil([&] { return ui.Slider(Knob::PlayPos)->value() > 61; }));
    EXPECT_EQ(controls.seek, 0) << "the playback took the request";
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
}

// A window thread busy elsewhere (drawing, a slow event) must not hold the sound up: the
// playback tells its position steps and goes on feeding the device.
TEST_F(Commands, PlaybackGoesOnWhileTheWindowThreadIsBusy) {
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.BlockSizes().size() >= 2; }));
    const std::size_t before = f.audio.BlockSizes().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GE(f.audio.BlockSizes().size(), before + 20) << "the steps passed meanwhile";
    std::vector<int> shown;
    QObject::connect(ui.Slider(Knob::PlayPos), &QSlider::valueChanged,
                     [&](int step) { shown.push_back(step); });
    ASSERT_TRUE(PumpUntil([&] { return shown.size() >= 3; }));
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
}

TEST_F(Commands, PlaybackThatReachesTheEndStartsAgainInTheSameMode) {
    // Shorter than 110 blocks' worth of steps: the data runs out before the loop end.
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(11025 * 6))));
    ui.rightButton->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Opens() >= 3; }));
    EXPECT_EQ(controls.settings.Read().mode, PlayMode::Right);
    EXPECT_EQ(ui.rightButton->ImageId(), IDB_RIGHT_STOP);
    ui.rightButton->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
    ExpectIdleFaces();
    const int opens = f.audio.Opens();
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.audio.Opens(), opens) << "a stopped playback stays stopped";
}

// A playback that plays nothing starts no other: a refused file, a missing device, a file
// without sample data. Its message, if any, comes once, on the window's thread.
TEST_F(Commands, PlaybackThatPlaysNothingDoesNotStartAgain) {
    struct Case {
        const char* name;
        Bytes file;
        bool failOpen;
        std::vector<QString> texts;
    };
    const std::vector<Case> cases = {
        {"mono.wav",
         SimpleWav(std::vector<std::int16_t>(8000, 5), 1),
         false,
         {"Error code 1101, Input not stereo! \n"}},
        {"stereo.wav",
         SimpleWav(TestSignal(8000)),
         true,
         {"A sound device was not found!\nPlease install one and try again."}},
        {"text.wav", Bytes(5000, 'x'), false, {"Error code 1103, Input is not an audio file! \n"}},
        {"empty.wav",
         SimpleWav({}),
         false,
         {"Error 86: Play start is after play end. Play starts at 0.",
          "Error 87: Play start is after play end. Play starts at 0."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.boxes.shown.clear();
        f.audio.failOpen = c.failOpen;
        f.ChooseInput(f.Make(c.name, c.file));
        const int opens = f.audio.Opens();
        ui.playMode2Button->click();
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
        std::this_thread::sleep_for(50ms);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window.Idle());
        EXPECT_EQ(Texts(), c.texts);
        EXPECT_LE(f.audio.Opens(), opens + 1);
        ExpectIdleFaces();
    }
    EXPECT_TRUE(AllBoxesOnTheWindowThread());
}

TEST_F(Commands, ClosingWhilePlayingStopsAndJoinsTheWorker) {
    StartHeldPlayback();
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    // The worker has ended and released the sound output.
    EXPECT_EQ(f.audio.Closes(), 1);
    EXPECT_FALSE(f.audio.IsOpen());
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
    ui.playMode2Button->click();
    EXPECT_TRUE(window.Idle());
    EXPECT_EQ(f.audio.Opens(), 1) << "a closed window starts nothing";
}

TEST_F(Commands, OneJobAtATime) {
    const fs::path output = f.dir / "out.wav";
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(11025 * 6))));
    f.ChooseOutput(output);

    // A playback that reached the end of its data starts again; a write meanwhile, before or
    // after the restart, is refused.
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Closes() >= 1; }));
    ui.writeFileButton->click();
    EXPECT_EQ(Texts(), std::vector<QString>{kStopFirst});
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Opens() >= 2; })) << "the restart still comes";
    ui.playMode2Button->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));

    // Clicks while the write asks for confirmation start nothing.
    f.boxes.shown.clear();
    const int opens = f.audio.Opens();
    f.boxes.whileOpen = [&](const MessageBoxRequest&) {
        f.boxes.whileOpen = nullptr;
        ui.playMode1Button->click();
        ui.writeFileButton->click();
        QCoreApplication::processEvents();
    };
    ui.writeFileButton->click();
    EXPECT_EQ(f.audio.Opens(), opens);
    EXPECT_EQ(fs::file_size(output), fs::file_size(f.dir / "in.wav"));
    EXPECT_EQ(Texts(), (std::vector<QString>{kCreate, kStopFirst, kDone}));
    EXPECT_TRUE(window.Idle());
}

TEST_F(Commands, ModeSwitchesNeverPlayAnUnprocessedSample) {
    // Left and right play silence on the other channel; the input has sound on both.
    std::vector<std::int16_t> samples(44100 * 2 * 60);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = i % 2 == 0 ? 1000 : 3000;
    }
    f.ChooseInput(f.Make("in.wav", SimpleWav(samples)));
    ui.leftButton->click();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Completions() > 0; }));
    for (int i = 0; i < 1000; ++i) {
        (i % 2 == 0 ? ui.rightButton : ui.leftButton)->click();
        QCoreApplication::processEvents();
    }
    const std::size_t completions = f.audio.Completions();
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Completions() > completions + 1; }));
    (controls.settings.Read().mode == PlayMode::Left ? ui.leftButton : ui.rightButton)->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
    const Bytes played = f.audio.Played();
    ASSERT_GT(played.size(), 44100u);
    std::size_t unprocessed = 0;
    for (std::size_t i = 0; i + 4 <= played.size(); i += 4) {
        const bool left = played[i] != 0 || played[i + 1] != 0;
        const bool right = played[i + 2] != 0 || played[i + 3] != 0;
        unprocessed += left && right ? 1 : 0;
    }
    EXPECT_EQ(unprocessed, 0u);
}

// Whatever the order of the commands, every confirmed write is written: none found another
// job running.
TEST_F(Commands, RandomCommandSequencesNeverRunTwoJobsAtOnce) {
    const fs::path input = f.Make("in.wav", SimpleWav(TestSignal(44100 * 2)));
    const fs::path output = f.dir / "out.wav";
    f.ChooseInput(input);
    f.ChooseOutput(output);
    const std::vector<std::function<void()>> commands = {
        [&] { ui.playMode2Button->click(); }, [&] { ui.lowButton->click(); },
        [&] { ui.highButton->click(); },      [&] { ui.leftButton->click(); },
        [&] { ui.writeFileButton->click(); }, [&] { emit ui.Slider(Knob::PlayPos)->released(); },
    };
    std::mt19937 random(20261208);
    for (int sequence = 0; sequence < 300; ++sequence) {
        for (int step = 0; step < 4; ++step) {
            ui.Slider(Knob::PlayPos)->setValue(static_cast<int>(random() % 90));
            commands[random() % commands.size()]();
            if (random() % 2 == 0) {
                QCoreApplication::processEvents();
            }
        }
        if (window.Phase() == JobPhase::Playing) {
            (ui.*ButtonFor(controls.settings.Read().mode).button)->click();
        }
        ASSERT_TRUE(PumpUntil([&] { return window.Idle(); })) << "sequence " << sequence;
    }
    EXPECT_EQ(fs::file_size(output), fs::file_size(input));
    const std::vector<QString> texts = Texts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i] == kCreate || texts[i] == kOverwrite) {
            ASSERT_LT(i + 1, texts.size());
            EXPECT_EQ(texts[i + 1], kDone) << "box " << i;
        } else if (texts[i] != kDone) {
            EXPECT_EQ(texts[i], kStopFirst);
        }
    }
}

// --- The manual and the upgrade page ----------------------------------------------------------

TEST_F(Commands, ManualWithoutAReaderFallsBackToTheReaderPageAndTheProfilesFolder) {
    f.profile.WriteString("Default", "Path", Q(f.dir.Path()));
    f.urls.manualOpens = false;
    ui.manualButton->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Error: You need to install Acrobat Reader to view "
                                            "manual!\n Zerbex will attempt to connect to the "
                                            "Adobe webpage."});
    ASSERT_FALSE(f.urls.opened.empty());
    EXPECT_EQ(f.urls.opened.back().host(), "get.adobe.com");
    f.ChooseOutput(f.dir / "out.wav");
    EXPECT_EQ(f.files.requests.back().directory, Q(f.dir.Path()))
        << "the command ends in the folder of the last input";
}

// The manual in the window's language: the Chinese window's names the Chinese captions.
TEST_F(Commands, ManualOpensTheDocumentBesideTheProgram) {
    const QString manual = QCoreApplication::applicationDirPath() + "/manual/" +
                           QCoreApplication::translate("Zerbex", "zerbex2manual-zh.pdf");
    if (!QFile::exists(manual)) {
        GTEST_SKIP() << "the manual is not built beside this program";
    }
    ui.manualButton->click();
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(f.urls.opened, std::vector<QUrl>{QUrl::fromLocalFile(manual)});
}

TEST_F(Commands, UpgradeButtonOpensTheMakersPage) {
    ui.checkUpgradesButton->click();
    ASSERT_EQ(f.urls.opened.size(), 1u);
    EXPECT_EQ(f.urls.opened[0].toString(), "https://www.hollenby.com/zerbex2/upgrade.html");
    EXPECT_TRUE(Texts().empty());
}

}  // namespace

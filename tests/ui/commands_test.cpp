// The window's commands: choosing files, writing, the seven play buttons with their worker
// threads, the suggested settings, the About box, the manual and the upgrade page. Playback goes to
// a test sound device behind the output-system interface.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "about_dialog.h"
#include "command.h"
#include "current_directory.h"
#include "job_runner.h"
#include "job_state.h"
#include "parameters.h"
#include "resource_ids.h"
#include "slider_ctrl.h"
#include "suggest_settings.h"
#include "test_audio_backend.h"
#include "ui_test_support.h"
#include "url_opener.h"
#include "wave_excerpts.h"
#include "window_state.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class RecordingUrls : public UrlOpener {
  public:
    bool Open(const QUrl& url) override {
        opened.push_back(url);
        return url.isLocalFile() ? manualOpens : true;
    }
    std::vector<QUrl> opened;
    bool manualOpens = true;
};

// Spins the event loop until done() or ten seconds have passed.
template <typename Done>
bool PumpUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class Commands : public ::testing::Test {
  protected:
    Commands() : profile(QDir(profileDir.path()).filePath("zerbex2.ini")) {
        EnsureApplication();
        dialog = std::make_unique<MainDialog>(UiServices{boxes, files, profile, &audio, &urls});
    }
    ~Commands() override { dialog.reset(); }

    fs::path Make(const std::string& name, const Bytes& bytes) {
        fs::path path = dir / name;
        WriteFile(path, bytes);
        return path;
    }
    void ChooseInput(const fs::path& path) {
        files.answers.push_back(QString::fromStdString(path.string()));
        dialog->OnSelectInput();
    }
    void ChooseOutput(const fs::path& path) {
        files.answers.push_back(QString::fromStdString(path.string()));
        dialog->OnSelectOutput();
    }
    std::vector<QString> Texts() const {
        std::vector<QString> texts;
        for (const MessageBoxRequest& r : boxes.shown) {
            texts.push_back(r.text);
        }
        return texts;
    }
    bool Idle() {
        return s().m_bPlaying == 0 && dialog->Workers().AllFinished() &&
               dialog->Phase() == JobPhase::Idle;
    }
    WindowState& s() { return dialog->State(); }
    SliderCtrl* Slider(int id) { return qobject_cast<SliderCtrl*>(dialog->GetDlgItem(id)); }
    int Face(int id) { return dialog->ButtonFace(id); }
    void ExpectIdleFaces() {
        EXPECT_EQ(Face(IDC_LOW), IDB_LOW_IDLE);
        EXPECT_EQ(Face(IDC_LEFT), IDB_LEFT_IDLE);
        EXPECT_EQ(Face(IDC_RIGHT), IDB_RIGHT_IDLE);
        EXPECT_EQ(Face(IDC_HIGH), IDB_HIGH_IDLE);
        EXPECT_EQ(Face(IDC_PLAY_MODE2), IDB_PLAY_MODE2_IDLE);
        EXPECT_EQ(Face(IDC_PLAY_MODE1), IDB_PLAY_MODE1_IDLE);
        EXPECT_EQ(Face(IDC_PLAY_ORIGINAL), IDB_PLAY_ORIGINAL_IDLE);
    }
    bool AllModeFlagsClear() {
        return !s().m_bPlayMode2 && !s().m_bPlayLow && !s().m_bPlayHigh && !s().m_bPlayOriginal &&
               !s().m_bPlayMode1 && !s().m_bPlayLeft && !s().m_bPlayRight;
    }

    TempDir dir;
    QTemporaryDir profileDir;
    RecordingBoxes boxes;
    ScriptedFileDialogs files;
    Profile profile;
    TestAudioBackend audio{2ms};  // a quarter second of sound plays in 2 ms
    RecordingUrls urls;
    std::unique_ptr<MainDialog> dialog;
};

// --- Choosing files -------------------------------------------------------------------

TEST_F(Commands, ChoosingAnInputRemembersItsFolderAndResetsTheLoop) {
    const fs::path input = Make("song.wav", SimpleWav(TestSignal(100)));
    Slider(IDC_LOOP_START)->setValue(30);
    Slider(IDC_LOOP_END)->setValue(60);
    Slider(IDC_PLAY_POS)->setValue(42);
    ChooseInput(input);
    EXPECT_TRUE(s().m_bInputSelected);
    EXPECT_STREQ(s().m_szInputPath, input.c_str());
    EXPECT_EQ(dialog->GetDlgItemText(IDC_INPUT_PATH), QString::fromStdString(input.string()));
    EXPECT_EQ(Slider(IDC_LOOP_START)->value(), 0);
    EXPECT_EQ(Slider(IDC_LOOP_END)->value(), 100);
    EXPECT_EQ(Slider(IDC_PLAY_POS)->value(), 42) << "the play position is left alone";
    EXPECT_EQ(profile.GetString("Default", "Path", ""),
              QString::fromStdString(dir.Path().string()));
    EXPECT_EQ(files.requests.at(0).kind, FileDialogRequest::Kind::Open);
}

TEST_F(Commands, FirstInputDialogOpensInTheHomeFolderAndCancelStillStoresTheFolder) {
    files.answers.push_back(std::nullopt);
    dialog->OnSelectInput();
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].directory, QDir::homePath());
    EXPECT_FALSE(s().m_bInputSelected);
    EXPECT_EQ(profile.GetString("Default", "Path", "none"), CurrentDirectory());
    // The next dialog opens where the last one was.
    ChooseInput(Make("a.wav", SimpleWav(TestSignal(10))));
    files.answers.push_back(std::nullopt);
    dialog->OnSelectInput();
    EXPECT_EQ(files.requests[2].directory, QString::fromStdString(dir.Path().string()));
}

TEST_F(Commands, InputCannotChangeWhilePlaying) {
    s().m_bPlayLeft = 1;
    const QString before = profile.GetString("Default", "Path", "untouched");
    dialog->OnSelectInput();
    EXPECT_EQ(Texts(), std::vector<QString>{"Please stop playing audio first!"});
    EXPECT_TRUE(files.requests.empty());
    EXPECT_EQ(profile.GetString("Default", "Path", "untouched"), before);
}

TEST_F(Commands, ChoosingAnOutputShowsItWithoutTouchingTheProfile) {
    const fs::path out = dir / "out.wav";
    ChooseOutput(out);
    EXPECT_TRUE(s().m_bOutputSelected);
    EXPECT_EQ(dialog->GetDlgItemText(IDC_OUTPUT_PATH), QString::fromStdString(out.string()));
    EXPECT_EQ(files.requests.at(0).kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(profile.GetString("Default", "Path", "none"), "none");
}

// --- Writing ----------------------------------------------------------------------------

TEST_F(Commands, WriteNeedsBothFilesChosenWithTheirDialogs) {
    dialog->OnWriteFile();
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(100))));
    qobject_cast<QLineEdit*>(dialog->GetDlgItem(IDC_OUTPUT_PATH))
        ->setText(QString::fromStdString((dir / "typed.wav").string()));
    dialog->OnWriteFile();
    const QString needBoth = "You need to select an input file and output file first!";
    EXPECT_EQ(Texts(), (std::vector<QString>{needBoth, needBoth}));
    EXPECT_FALSE(fs::exists(dir / "typed.wav"));
}

TEST_F(Commands, WriteRefusesTheInputUnderAnySpelling) {
    const fs::path input = Make("in.wav", SimpleWav(TestSignal(1000)));
    const Bytes before = ReadFile(input);
    ChooseInput(input);
    ChooseOutput(dir / "out.wav");
    fs::create_symlink(input, dir / "link.wav");
    auto* box = qobject_cast<QLineEdit*>(dialog->GetDlgItem(IDC_OUTPUT_PATH));
    for (const fs::path& same : {input, dir.Path() / "." / "in.wav", dir / "link.wav"}) {
        boxes.shown.clear();
        box->setText(QString::fromStdString(same.string()));
        dialog->OnWriteFile();
        EXPECT_EQ(Texts(), std::vector<QString>{"Enter a different filename. Trying to write to "
                                                "the input filename is not allowed."})
            << same;
        EXPECT_STREQ(s().m_szOutputPath, same.c_str());
    }
    EXPECT_TRUE(ReadFile(input) == before);
}

TEST_F(Commands, WriteAsksFirstAndNoLeavesTheDiskUnchanged) {
    const Bytes inBytes = SimpleWav(TestSignal(3000));
    ChooseInput(Make("in.wav", inBytes));
    const fs::path out = Make("out.wav", Bytes(100, 7));
    ChooseOutput(out);
    boxes.answers = {IDNO};
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(),
              std::vector<QString>{"This command will overwrite the output file. Are you sure?"});
    EXPECT_EQ(boxes.shown[0].type, static_cast<unsigned>(MB_YESNO));
    EXPECT_TRUE(ReadFile(out) == Bytes(100, 7));

    const fs::path fresh = dir / "fresh.wav";
    qobject_cast<QLineEdit*>(dialog->GetDlgItem(IDC_OUTPUT_PATH))
        ->setText(QString::fromStdString(fresh.string()));
    boxes.shown.clear();
    boxes.answers = {IDNO};
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(), std::vector<QString>{"Do you wish to create a new file?"});
    EXPECT_FALSE(fs::exists(fresh));
}

TEST_F(Commands, WriteProducesTheModeTwoCopyAndSaysDoneOnce) {
    const Bytes inBytes = SimpleWav(TestSignal(30000));
    ChooseInput(Make("in.wav", inBytes));
    const fs::path out = dir / "out.wav";
    ChooseOutput(out);
    // As the user's moves would: each move runs its scroll handler.
    Slider(IDC_PAN)->setValue(-20);
    dialog->OnHScroll();
    Slider(IDC_OUTPUT_LEVEL)->setValue(10);
    dialog->OnVScroll();
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(),
              (std::vector<QString>{"Do you wish to create a new file?", "Done processing file!"}));
    EXPECT_EQ(boxes.shown.back().type, static_cast<unsigned>(MB_ICONINFORMATION));
    EXPECT_TRUE(AllModeFlagsClear());
    EXPECT_EQ(s().m_bStopRequest, 0);
    WindowState expected;
    expected.m_nPan = -20;
    expected.m_nOutputLevel = 10;
    UpdateDerivedParameters(expected);
    EXPECT_TRUE(ReadFile(out) == ExpectedWrite(inBytes, expected));
    EXPECT_EQ(Slider(IDC_LOOP_START)->value(), 0);
}

TEST_F(Commands, FailedWriteShowsItsOwnMessageAndNeverDone) {
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(100))));
    ChooseOutput(dir / "missing-folder" / "out.wav");
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(), (std::vector<QString>{"Do you wish to create a new file?",
                                             "Error creating output wave file...\n"}));
    boxes.shown.clear();
    const fs::path mono = Make("mono.wav", SimpleWav(std::vector<std::int16_t>(400, 3), 1));
    ChooseInput(mono);
    ChooseOutput(dir / "out.wav");
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(), (std::vector<QString>{"Do you wish to create a new file?",
                                             "Error code 1101, Input not stereo! \n"}));
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
}

TEST_F(Commands, WriteIsRefusedWhilePlaying) {
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(44100 * 20))));
    ChooseOutput(dir / "out.wav");
    audio.holdCompletions = true;  // keeps the playback running
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return audio.BlockSizes().size() >= 2; }));
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(), std::vector<QString>{"Please stop playing audio first!"});
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
    dialog->OnPlayMode2();
    audio.ReleaseHeld();
    EXPECT_TRUE(PumpUntil([&] { return Idle(); }));
}

// Every kind of audio file is offered and decoded when chosen; a file that is no audio is
// refused when written or played, with no "Done processing file!" and the output untouched.
TEST_F(Commands, AudioOfAnyKindIsReadAndNonAudioIsRefused) {
    const Bytes old(10, 7);
    const fs::path out = Make("out.wav", old);
    ChooseInput(Make("notes.txt", Bytes{'h', 'i', '\n'}));
    ChooseOutput(out);
    EXPECT_TRUE(files.requests.at(0).filter.startsWith("Audio Files (*.wav *.mp3 *.flac"));
    EXPECT_EQ(files.requests.at(0).otherFilters,
              (QStringList{"Wave Files (*.wav)", "All Files (*)"}));
    EXPECT_EQ(files.requests.at(1).otherFilters, QStringList{"FLAC Files (*.flac)"});
    const QString notAudio = "Error code 1103, Input is not an audio file! \n";
    dialog->OnWriteFile();
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return Idle() && boxes.shown.size() == 3; }));
    EXPECT_EQ(Texts(),
              (std::vector<QString>{"This command will overwrite the output file. Are you sure?",
                                    notAudio, notAudio}));
    EXPECT_TRUE(ReadFile(out) == old);

    const fs::path mp3 = dir / "song.mp3";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=0.3:r=22050", "-ac",
                          "2", mp3.string()})
                  .exitCode,
              0);
    ChooseInput(mp3);
    ChooseOutput(dir / "out.FLAC");
    boxes.shown.clear();
    dialog->OnWriteFile();
    EXPECT_EQ(Texts().back(), "Done processing file!");
    const Bytes flac = ReadFile(dir / "out.FLAC");
    EXPECT_EQ(std::string(flac.begin(), flac.begin() + std::min<std::size_t>(4, flac.size())),
              "fLaC");
}

TEST_F(Commands, OverLongOutputPathIsRefusedWithoutOverrunningTheMember) {
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(100))));
    ChooseOutput(dir / "out.wav");
    const QString longPath = QString::fromStdString(dir.Path().string()) + "/" + QString(2000, 'x');
    qobject_cast<QLineEdit*>(dialog->GetDlgItem(IDC_OUTPUT_PATH))->setText(longPath);
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(), std::vector<QString>{"The file path is too long."});
    EXPECT_STREQ(s().m_szOutputPath, (dir / "out.wav").c_str());
    EXPECT_EQ(qobject_cast<QLineEdit*>(dialog->GetDlgItem(IDC_OUTPUT_PATH))->text(), longPath);
}

// --- Playing ----------------------------------------------------------------------------

TEST_F(Commands, PlayWithoutAnInputOnlySaysSo) {
    dialog->OnLow();
    EXPECT_EQ(Texts(), std::vector<QString>{"You need to select an input file first!"});
    EXPECT_EQ(s().m_bPlaying, 0);
    EXPECT_EQ(audio.Opens(), 0);
    ExpectIdleFaces();
}

TEST_F(Commands, StartSwitchAndStop) {
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    Slider(IDC_LOW_SLIDER)->setValue(20);
    s().m_nLowCutoff = 0;  // a start recomputes it from the trackbar
    audio.holdCompletions = true;
    dialog->OnLow();
    EXPECT_EQ(s().m_bPlaying, 1);
    EXPECT_EQ(s().m_bPlayLow, 1);
    EXPECT_EQ(s().m_nLowCutoff, 540);
    EXPECT_EQ(Face(IDC_LOW), IDB_LOW_STOP);
    EXPECT_EQ(dialog->GetDlgItemText(IDC_LOW), "Stop");
    ASSERT_TRUE(PumpUntil([&] { return audio.BlockSizes().size() >= 2; }));

    // Switch: same job, new mode, faces swap, nothing recomputed.
    s().m_nLowCutoff = 123;
    dialog->OnPlayMode1();
    EXPECT_EQ(s().m_bPlayMode1, 1);
    EXPECT_EQ(s().m_bPlayLow, 0);
    EXPECT_EQ(s().m_bStopRequest, 0);
    EXPECT_EQ(s().m_bNoRestart, 0);
    EXPECT_EQ(s().m_nLowCutoff, 123);
    EXPECT_EQ(Face(IDC_PLAY_MODE1), IDB_WIDE_STOP);
    EXPECT_EQ(Face(IDC_LOW), IDB_LOW_IDLE);

    // Stop: the job ends, the window goes back to idle and does not start again.
    dialog->OnPlayMode1();
    EXPECT_EQ(s().m_bStopRequest, 1);
    EXPECT_EQ(Face(IDC_PLAY_MODE1), IDB_WIDE_STOP) << "until the job has ended";
    audio.ReleaseHeld();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    QCoreApplication::processEvents();
    ExpectIdleFaces();
    EXPECT_EQ(dialog->MeterBitmap(), IDB_METER_DARK);
    EXPECT_TRUE(AllModeFlagsClear());
    EXPECT_EQ(s().m_bNoRestart, 0);
    EXPECT_EQ(audio.Opens(), 1) << "a switch starts no new job";
    EXPECT_TRUE(Texts().empty());
}

TEST_F(Commands, PlaybackThatReachesTheEndStartsAgainInTheSameMode) {
    // Shorter than 110 blocks' worth of steps: the data runs out before the loop end.
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(11025 * 6))));
    dialog->OnRight();
    ASSERT_TRUE(PumpUntil([&] { return audio.Opens() >= 3; }));
    EXPECT_EQ(s().m_bPlayRight, 1);
    dialog->OnRight();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(AllModeFlagsClear());
    ExpectIdleFaces();
    const int opens = audio.Opens();
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(audio.Opens(), opens) << "a stopped playback stays stopped";
}

TEST_F(Commands, RefusedPlaybackShowsItsErrorOnceAndDoesNotCycle) {
    ChooseInput(Make("mono.wav", SimpleWav(std::vector<std::int16_t>(8000, 5), 1)));
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(Texts(), std::vector<QString>{"Error code 1101, Input not stereo! \n"});
    EXPECT_TRUE(AllModeFlagsClear());
    EXPECT_EQ(s().m_bNoRestart, 0);

    boxes.shown.clear();
    audio.openResult = MMSYSERR_BADDEVICEID;
    ChooseInput(Make("stereo.wav", SimpleWav(TestSignal(8000))));
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(Texts(), std::vector<QString>{
                           "A sound device was not found!\nPlease install one and try again."});
    ExpectIdleFaces();
}

TEST_F(Commands, FileWithoutSampleDataDoesNotRestartForever) {
    ChooseInput(Make("text.wav", Bytes(5000, 'x')));
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(s().m_bPlaying, 0);
    EXPECT_TRUE(AllModeFlagsClear());
}

TEST_F(Commands, ClosingWhilePlayingStopsAndJoinsTheWorker) {
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    audio.holdCompletions = true;
    dialog->show();
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return audio.BlockSizes().size() >= 2; }));
    // Completions come while the window closes; the worker may be waiting on the window.
    std::thread release([&] {
        std::this_thread::sleep_for(20ms);
        audio.ReleaseHeld();
    });
    dialog->reject();
    release.join();
    EXPECT_TRUE(dialog->Workers().AllFinished());
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(Commands, OneJobAtATime) {
    const fs::path output = dir / "out.wav";
    ChooseInput(Make("in.wav", SimpleWav(TestSignal(11025 * 6))));
    ChooseOutput(output);
    const std::uint64_t refusals = JobGuard::Refusals();

    // A playback that reached the end of its data has ended on its worker, but the window
    // has not yet started it again: a write now would run beside the restarted playback.
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return s().m_bPlaying == 0; }));
    dialog->OnWriteFile();
    EXPECT_EQ(Texts(), std::vector<QString>{"Please stop playing audio first!"});
    ASSERT_TRUE(PumpUntil([&] { return s().m_bPlaying == 1; })) << "the restart still comes";
    dialog->OnPlayMode2();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));

    // Clicks while the write asks for confirmation, or while it runs, start nothing.
    boxes.shown.clear();
    const int opens = audio.Opens();
    boxes.whileOpen = [&](const MessageBoxRequest&) {
        boxes.whileOpen = nullptr;
        dialog->OnPlayMode1();
        dialog->OnWriteFile();
        QCoreApplication::processEvents();
    };
    dialog->OnWriteFile();
    EXPECT_EQ(audio.Opens(), opens);
    EXPECT_EQ(fs::file_size(output), fs::file_size(dir / "in.wav"));
    EXPECT_EQ(Texts().back(), "Done processing file!");
    EXPECT_EQ(JobGuard::Refusals(), refusals);
    EXPECT_EQ(dialog->Phase(), JobPhase::Idle);
}

TEST_F(Commands, ModeSwitchesNeverPlayAnUnprocessedSample) {
    // Left and right play silence on the other channel; the input has sound on both.
    std::vector<std::int16_t> samples(44100 * 2 * 60);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = i % 2 == 0 ? 1000 : 3000;
    }
    ChooseInput(Make("in.wav", SimpleWav(samples)));
    dialog->OnLeft();
    ASSERT_TRUE(PumpUntil([&] { return audio.Completions() > 0; }));
    // A job may read the flags at any moment of a switch; this reader reads them without pause.
    std::atomic<bool> switching{true};
    std::atomic<int> otherModesSeen{0};
    std::thread reader([&] {
        PlayMode mode = PlayMode::Left;
        while (switching.load()) {
            mode = FrameMode(s(), mode);
            otherModesSeen += mode != PlayMode::Left && mode != PlayMode::Right ? 1 : 0;
        }
    });
    for (int i = 0; i < 1000; ++i) {
        i % 2 == 0 ? dialog->OnRight() : dialog->OnLeft();
        QCoreApplication::processEvents();
    }
    switching = false;
    reader.join();
    EXPECT_EQ(otherModesSeen, 0);
    const std::size_t completions = audio.Completions();
    ASSERT_TRUE(PumpUntil([&] { return audio.Completions() > completions + 1; }));
    (s().m_bPlayLeft ? dialog->OnLeft() : dialog->OnRight());
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    const std::vector<std::uint8_t> played = audio.Played();
    ASSERT_GT(played.size(), 44100u);
    std::size_t unprocessed = 0;
    for (std::size_t i = 0; i + 4 <= played.size(); i += 4) {
        const bool left = played[i] != 0 || played[i + 1] != 0;
        const bool right = played[i + 2] != 0 || played[i + 3] != 0;
        unprocessed += left && right ? 1 : 0;
    }
    EXPECT_EQ(unprocessed, 0u);
}

TEST_F(Commands, RandomCommandSequencesNeverRunTwoJobsAtOnce) {
    const fs::path input = Make("in.wav", SimpleWav(TestSignal(44100 * 2)));
    const fs::path output = dir / "out.wav";
    ChooseInput(input);
    ChooseOutput(output);
    const std::uint64_t refusals = JobGuard::Refusals();
    using Handler = void (MainDialog::*)();
    const Handler commands[] = {&MainDialog::OnPlayMode2, &MainDialog::OnLow,
                                &MainDialog::OnHigh,      &MainDialog::OnLeft,
                                &MainDialog::OnWriteFile, &MainDialog::OnReleasedCapturePlayPos};
    std::mt19937 random(20261208);
    for (int sequence = 0; sequence < 1000; ++sequence) {
        for (int step = 0; step < 4; ++step) {
            const Handler command = commands[random() % std::size(commands)];
            Slider(IDC_PLAY_POS)->setValue(static_cast<int>(random() % 90));
            ((*dialog).*command)();
            if (random() % 2 == 0) {
                QCoreApplication::processEvents();
            }
        }
        if (dialog->Phase() != JobPhase::Idle) {
            s().m_bNoRestart = 1;
            s().m_bStopRequest = 1;
        }
        ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << "sequence " << sequence;
    }
    EXPECT_EQ(JobGuard::Refusals(), refusals);
    EXPECT_EQ(fs::file_size(output), fs::file_size(input));
    for (const QString& text : Texts()) {
        EXPECT_TRUE(text == "Please stop playing audio first!" || text == "Done processing file!" ||
                    text == "Do you wish to create a new file?" ||
                    text.startsWith("This command will overwrite"))
            << text.toStdString();
    }
}

// --- Suggested settings ----------------------------------------------------------------------

TEST_F(Commands, SuggestEntryMovesTheTrackbarsToWhatTheCommandLineSuggests) {
    QAction* suggest = nullptr;
    for (QAction* action : dialog->SystemMenu()->actions()) {
        if (action->text() == "Suggest settings for this song") {
            suggest = action;
        }
    }
    ASSERT_NE(suggest, nullptr);
    const auto positions = [&] {
        return TrackbarPositions{Slider(IDC_PAN)->GetPos(), Slider(IDC_LOW_SLIDER)->GetPos(),
                                 Slider(IDC_HIGH_SLIDER)->GetPos(),
                                 Slider(IDC_LEFT_SLIDER)->GetPos(),
                                 Slider(IDC_RIGHT_SLIDER)->GetPos()};
    };
    suggest->trigger();
    EXPECT_EQ(Texts(), std::vector<QString>{"You need to select an input file first!"});
    EXPECT_EQ(positions(), kStartupPositions);

    const fs::path input = Make("song.wav", SimpleWav(TestSignal(3 * 44100)));
    ChooseInput(input);
    const WaveExcerpts excerpts =
        ReadWaveExcerpts(input.c_str(), SuggestExcerptStarts, kSuggestExcerptFrames);
    const TrackbarPositions expected =
        SuggestSettings(std::vector<StereoFrames>(excerpts.frames.begin(), excerpts.frames.end()));
    ASSERT_NE(expected, kStartupPositions) << "the song should move the trackbars";
    suggest->trigger();
    EXPECT_EQ(Texts().size(), 1u);
    EXPECT_EQ(positions(), expected);
    EXPECT_EQ((TrackbarPositions{s().m_nPan, s().m_nLowSlider, s().m_nHighSlider, s().m_nLeftSlider,
                                 s().m_nRightSlider}),
              expected);
    EXPECT_EQ(s().m_nLowCutoff, LowCutoffFor(expected.low)) << "the processing uses them at once";
    EXPECT_EQ(s().m_fLeftGain, ChannelGainFor(expected.left));
}

// --- About, manual, upgrades ----------------------------------------------------------------

TEST_F(Commands, AboutBoxOpensFromTheButtonAndTheMenuEntry) {
    std::vector<QString> titles;
    auto closeWhenShown = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
            if (box != nullptr) {
                titles.push_back(box->windowTitle());
                auto* ok = box->findChild<QPushButton*>("aboutOk");
                EXPECT_EQ(ok->text(), "确定");
                EXPECT_FALSE(box->findChild<QLabel*>("aboutIcon")->pixmap().isNull());
                ok->click();
            }
        });
    };
    closeWhenShown();
    qobject_cast<QPushButton*>(dialog->GetDlgItem(IDC_ABOUT))->click();
    closeWhenShown();
    dialog->OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(titles, (std::vector<QString>{"关于Zerbex", "关于Zerbex"}));
}

TEST_F(Commands, ManualWithoutAReaderFallsBackToTheReaderPage) {
    profile.WriteString("Default", "Path", QString::fromStdString(dir.Path().string()));
    urls.manualOpens = false;
    dialog->OnManual();
    EXPECT_EQ(Texts(), std::vector<QString>{"Error: You need to install Acrobat Reader to view "
                                            "manual!\n Zerbex will attempt to connect to the "
                                            "Adobe webpage."});
    ASSERT_FALSE(urls.opened.empty());
    EXPECT_EQ(urls.opened.back().host(), "get.adobe.com");
    EXPECT_EQ(CurrentDirectory(), QString::fromStdString(dir.Path().string()))
        << "the command ends in the folder of the last input";
}

TEST_F(Commands, ManualOpensTheDocumentBesideTheProgram) {
    const QString manual = QCoreApplication::applicationDirPath() + "/manual/zerbex2manual.pdf";
    if (!QFile::exists(manual)) {
        GTEST_SKIP() << "the manual is not built beside this program";
    }
    dialog->OnManual();
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(urls.opened, std::vector<QUrl>{QUrl::fromLocalFile(manual)});
}

TEST_F(Commands, UpgradeButtonOpensTheMakersPage) {
    qobject_cast<QPushButton*>(dialog->GetDlgItem(IDC_CHECK_UPGRADES))->click();
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0].scheme(), "https");
    EXPECT_TRUE(Texts().empty());
}

}  // namespace

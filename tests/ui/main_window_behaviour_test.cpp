// The main window at work: start values, trackbars, keys and the window menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "jobs/suggest.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/bitmap_button.h"
#include "ui/resource_ids.h"
#include "ui/trackbar_slider.h"

namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void ShowAndActivate() {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // A mouse press on the trackbar that ends at pos, without the moves before it.
    static void Release(TrackbarSlider* slider, int pos) {
        slider->setValue(pos);
        emit slider->released();
    }

    WindowFixture f;
    MainWindow& window = *f.window;
    const MainWindowUi& ui = f.Ui();
    ProcessingParameters Params() const { return window.Controls().settings.Read(); }
};

TEST_F(MainWindowTest, StartsAtTheTablesPositionsWithTheirValues) {
    for (const KnobRow& row : kKnobs) {
        SCOPED_TRACE(row.label);
        const TrackbarSlider* slider = ui.Slider(row.knob);
        EXPECT_EQ(slider->value(), row.start);
        EXPECT_EQ(slider->minimum(), row.min);
        EXPECT_EQ(slider->maximum(), row.max);
        // A fifth of the range, in whole units: four semitones for the key.
        EXPECT_EQ(slider->pageStep(),
                  std::max(1, (row.max - row.min) / 5 / row.perUnit) * row.perUnit);
    }
    EXPECT_EQ(window.Controls().play.Read().key, 0);
    EXPECT_EQ(window.Controls().play.Read().tempo, 100);
    EXPECT_EQ(Params().pan.left, 1.0f);
    EXPECT_EQ(Params().pan.right, 1.0f);
    EXPECT_EQ(Params().lowCutoff, 240);
    EXPECT_EQ(Params().highCutoff, 10875);
    EXPECT_EQ(Params().leftGain, 2.2f);
    EXPECT_EQ(Params().rightGain, 2.2f);
    EXPECT_EQ(Params().outputGain, 1.0f);
    EXPECT_EQ(Params().mode, PlayMode::Mode2);
    EXPECT_EQ(window.Controls().play.Read().loopStart, 0);
    EXPECT_EQ(window.Controls().play.Read().loopEnd, 100);
    EXPECT_EQ(window.Controls().play.Read().playPos, 0);
    EXPECT_EQ(window.Controls().seek, 0);
    EXPECT_EQ(window.MeterImage(), IDB_METER_DARK);
    EXPECT_EQ(ui.lowButton->ImageId(), IDB_LOW_IDLE);
    EXPECT_EQ(ui.playMode2Button->ImageId(), IDB_PLAY_MODE2_IDLE);
    EXPECT_EQ(ui.playOriginalButton->ImageId(), IDB_PLAY_ORIGINAL_IDLE);
    EXPECT_TRUE(window.Idle());
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindowTest, PanReleaseAppliesThePanMappingAtEveryStep) {
    struct Case {
        int pan;
        float gainL;
        float gainR;
    };
    const Case cases[] = {
        {-30, static_cast<float>(1 / 1.1875), 1.1875f},
        {-1, static_cast<float>(1 / 1.00625), 1.00625f},
        {0, 1.0f, 1.0f},
        {1, 1.00625f, static_cast<float>(1 / 1.00625)},
        {30, 1.1875f, static_cast<float>(1 / 1.1875)},
    };
    ui.Slider(Knob::Low)->setValue(0);  // not the pan's business
    for (const Case& c : cases) {
        Release(ui.Slider(Knob::Pan), c.pan);
        const PanPair pan = Params().pan;
        EXPECT_FLOAT_EQ(pan.left, c.gainL) << c.pan;
        EXPECT_FLOAT_EQ(pan.right, c.gainR) << c.pan;
        EXPECT_NEAR(pan.left * pan.right, 1.0f, 1e-6f);
    }
    EXPECT_EQ(Params().lowCutoff, 240);
}

// Every other trackbar moves first, so a release that set more than its own value would show.
TEST_F(MainWindowTest, ReleaseSetsOnlyItsOwnValueAtTheRangeEnds) {
    struct Case {
        TrackbarSlider* slider;
        std::function<double()> value;
        double atBottom;  // position 0
        double atTop;     // the highest position
    };
    const std::vector<Case> cases = {
        {ui.Slider(Knob::Low), [&] { return Params().lowCutoff; }, 40, 1040},
        {ui.Slider(Knob::High), [&] { return Params().highCutoff; }, 900, 14900},
        {ui.Slider(Knob::Left), [&] { return Params().leftGain; }, 3.5, 1.0},
        {ui.Slider(Knob::Right), [&] { return Params().rightGain; }, 3.5, 1.0},
        {ui.Slider(Knob::OutputLevel), [&] { return Params().outputGain; }, 4.75, 1.0},
    };
    for (const int end : {0, 80}) {  // each trackbar clamps 80 to its own top
        for (const Case& c : cases) {
            ui.Slider(Knob::Pan)->setValue(end);
            for (const Case& other : cases) {
                other.slider->setValue(end);
            }
            std::vector<double> before;
            before.reserve(cases.size());
            for (const Case& other : cases) {
                before.push_back(other.value());
            }
            emit c.slider->released();
            for (std::size_t i = 0; i < cases.size(); ++i) {
                const double expected =
                    &cases[i] == &c ? (end == 0 ? c.atBottom : c.atTop) : before[i];
                EXPECT_NEAR(cases[i].value(), expected, 1e-6)
                    << cases[i].slider->objectName().toStdString() << " after releasing "
                    << c.slider->objectName().toStdString() << " at " << end;
            }
        }
    }
    EXPECT_EQ(Params().pan.left, 1.0f) << "the pan was never released";
    EXPECT_EQ(window.Controls().seek, 0);
}

TEST_F(MainWindowTest, DraggingAHorizontalTrackbarAppliesEveryValueButTheOutputGain) {
    ui.Slider(Knob::Pan)->setValue(30);
    ui.Slider(Knob::Low)->setValue(40);
    ui.Slider(Knob::High)->setValue(0);
    ui.Slider(Knob::Left)->setValue(0);
    ui.Slider(Knob::Right)->setValue(25);
    ui.Slider(Knob::OutputLevel)->setValue(0);
    ui.Slider(Knob::Focus)->setValue(80);
    ui.Slider(Knob::LoopStart)->setSliderDown(true);
    ui.Slider(Knob::LoopStart)->setSliderPosition(40);
    EXPECT_EQ(window.Controls().play.Read().loopStart, 40);
    EXPECT_FLOAT_EQ(Params().pan.left, 1.1875f);
    EXPECT_FLOAT_EQ(Params().aim, AimFor(30));
    EXPECT_FLOAT_EQ(Params().focus, FocusFor(80));
    EXPECT_EQ(Params().lowCutoff, 1040);
    EXPECT_EQ(Params().highCutoff, 900);
    EXPECT_FLOAT_EQ(Params().leftGain, 3.5f);
    EXPECT_FLOAT_EQ(Params().rightGain, 1.0f);
    EXPECT_EQ(Params().outputGain, 1.0f);
    ui.Slider(Knob::LoopStart)->setSliderDown(false);
}

// The stereo mode's button plays, switches and stops as the others do, by its access key too;
// its play sets the focus from its trackbar.
TEST_F(MainWindowTest, StereoButtonAndItsAccessKeyPlayTheStereoMode) {
    ShowAndActivate();
    f.ChooseInput(f.Make("in.wav", SimpleWav(TestSignal(44100 * 30))));
    ui.Slider(Knob::Focus)->setValue(20);
    QTest::keyClick(&window, Qt::Key_3, Qt::AltModifier);  // clicks a moment later
    ASSERT_TRUE(PumpUntil([&] { return window.Phase() == JobPhase::Playing; }));
    EXPECT_EQ(Params().mode, PlayMode::Stereo);
    EXPECT_FLOAT_EQ(Params().focus, FocusFor(20));
    EXPECT_EQ(ui.playStereoButton->ImageId(), IDB_WIDE_STOP);
    ASSERT_TRUE(PumpUntil([&] { return f.audio.Played().size() > 44100; }));
    QTest::mouseClick(ui.playMode2Button, Qt::LeftButton);  // switches
    EXPECT_EQ(Params().mode, PlayMode::Mode2);
    EXPECT_EQ(ui.playStereoButton->ImageId(), IDB_PLAY_STEREO_IDLE);
    QTest::mouseClick(ui.playStereoButton, Qt::LeftButton);
    EXPECT_EQ(Params().mode, PlayMode::Stereo);
    QTest::mouseClick(ui.playStereoButton, Qt::LeftButton);  // stops
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
    EXPECT_EQ(ui.playStereoButton->ImageId(), IDB_PLAY_STEREO_IDLE);
    EXPECT_TRUE(f.boxes.shown.empty());
}

// "Write the vocals too" is kept in the profile: a window opened later shows it as left.
TEST_F(MainWindowTest, VocalsCheckBoxIsKeptInTheProfile) {
    EXPECT_FALSE(ui.writeVocalsCheck->isChecked());
    for (const bool on : {true, false}) {
        f.Ui().writeVocalsCheck->setChecked(on);
        f.Reopen();
        EXPECT_EQ(f.Ui().writeVocalsCheck->isChecked(), on);
    }
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindowTest, OutputLevelKeysApplyOnlyTheOutputGain) {
    ShowAndActivate();
    ui.Slider(Knob::Low)->setValue(0);
    ui.Slider(Knob::OutputLevel)->setFocus();
    QTest::keyClick(ui.Slider(Knob::OutputLevel), Qt::Key_Up);  // toward "+"
    EXPECT_EQ(ui.Slider(Knob::OutputLevel)->value(), 24);
    EXPECT_FLOAT_EQ(Params().outputGain, 1.15f);
    EXPECT_EQ(Params().lowCutoff, 240);
    QTest::keyClick(ui.Slider(Knob::OutputLevel), Qt::Key_Home);
    EXPECT_FLOAT_EQ(Params().outputGain, 4.75f);
    EXPECT_TRUE(f.boxes.shown.empty());
}

// The key moves by semitones, by tenths with Shift, from anywhere in the window with Ctrl and
// the arrows; Ctrl+0 brings back the original key and tempo, Home on either trackbar its own
// start, never its end. Each move reaches a playback at once, and the values beside the
// trackbars follow.
TEST_F(MainWindowTest, KeyAndTempoKeysMoveTheirTrackbarsAndReachThePlayback) {
    ShowAndActivate();
    TrackbarSlider* key = ui.Slider(Knob::Key);
    TrackbarSlider* tempo = ui.Slider(Knob::Tempo);
    ui.Slider(Knob::Low)->setFocus();  // the window's keys work wherever the focus is
    const struct {
        QWidget* target;
        Qt::Key keyPressed;
        Qt::KeyboardModifiers modifiers;
        int key;
        int tempo;
    } steps[] = {
        {&window, Qt::Key_Up, Qt::ControlModifier, 10, 100},
        {&window, Qt::Key_Up, Qt::ControlModifier, 20, 100},
        {key, Qt::Key_Left, Qt::ShiftModifier, 19, 100},
        {key, Qt::Key_Right, Qt::NoModifier, 30, 100},  // whole semitones again
        {tempo, Qt::Key_Left, Qt::NoModifier, 30, 99},
        {tempo, Qt::Key_Home, Qt::NoModifier, 30, 100},
        {tempo, Qt::Key_Left, Qt::NoModifier, 30, 99},
        {&window, Qt::Key_Down, Qt::ControlModifier, 20, 99},
        {&window, Qt::Key_0, Qt::ControlModifier, 0, 100},
        {&window, Qt::Key_Down, Qt::ControlModifier, -10, 100},
        {tempo, Qt::Key_PageDown, Qt::NoModifier, -10, 80},
        {key, Qt::Key_Home, Qt::NoModifier, 0, 80},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.key << " " << step.tempo);
        if (step.target != &window) {
            step.target->setFocus();
        }
        QTest::keyClick(step.target == &window ? QApplication::focusWidget() : step.target,
                        step.keyPressed, step.modifiers);
        EXPECT_EQ(key->value(), step.key);
        EXPECT_EQ(tempo->value(), step.tempo);
        EXPECT_EQ(window.Controls().play.Read().key, step.key);
        EXPECT_EQ(window.Controls().play.Read().tempo, step.tempo);
        EXPECT_EQ(ui.keyValue->text(), QCoreApplication::translate("Zerbex", "%1 半音")
                                           .arg(QStringLiteral("%1%2")
                                                    .arg(step.key > 0 ? "+" : "")
                                                    .arg(step.key / 10.0, 0, 'f', 1)));
        EXPECT_EQ(ui.tempoValue->text(), QStringLiteral("%1 %").arg(step.tempo));
    }
    key->setValue(RowOf(Knob::Key).max);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(window.Controls().play.Read().key, RowOf(Knob::Key).max)
        << "the key stops at its end";
    EXPECT_TRUE(f.boxes.shown.empty());
}

// A double-click on any trackbar puts it back at its start-up position, as a move by hand: the
// window reads it at once.
TEST_F(MainWindowTest, DoubleClickBringsEveryTrackbarBackToItsStart) {
    ShowAndActivate();
    for (const KnobRow& row : kKnobs) {
        SCOPED_TRACE(row.label);
        TrackbarSlider* slider = ui.Slider(row.knob);
        slider->setValue(row.start == row.max ? row.min : row.max);
        QTest::mouseDClick(slider, Qt::LeftButton, {}, slider->rect().center());
        EXPECT_EQ(slider->value(), row.start);
    }
    EXPECT_EQ(window.Controls().play.Read().key, RowOf(Knob::Key).start);
    EXPECT_EQ(window.Controls().play.Read().tempo, RowOf(Knob::Tempo).start);
    EXPECT_EQ(window.Controls().settings.Read().focus, FocusFor(RowOf(Knob::Focus).start));
    EXPECT_EQ(window.Controls().settings.Read().outputGain,
              OutputGainFor(RowOf(Knob::OutputLevel).start));
}

TEST_F(MainWindowTest, DraggingThePlayPositionReadsItAndOnlyTheReleaseAsksToSeek) {
    ShowAndActivate();
    TrackbarSlider* playPos = ui.Slider(Knob::PlayPos);
    const QPoint start = playPos->rect().center();
    playPos->setValue(50);
    QTest::mousePress(playPos, Qt::LeftButton, {}, start);
    QTest::mouseMove(playPos, start + QPoint(playPos->width() / 5, 0));
    EXPECT_GT(window.Controls().play.Read().playPos, 55);
    EXPECT_EQ(window.Controls().seek, 0);
    const int dragged = playPos->sliderPosition();
    QTest::mouseRelease(playPos, Qt::LeftButton, {}, start + QPoint(playPos->width() / 5, 0));
    EXPECT_EQ(window.Controls().seek, 1);
    EXPECT_EQ(window.Controls().play.Read().playPos, dragged);
}

TEST_F(MainWindowTest, ProgramMovesOfTheTrackbarsAreReadOnlyAtTheNextRelease) {
    ui.Slider(Knob::PlayPos)->setValue(70);
    ui.Slider(Knob::LoopStart)->setValue(20);
    EXPECT_EQ(window.Controls().play.Read().playPos, 0);
    EXPECT_EQ(window.Controls().play.Read().loopStart, 0);
    emit ui.Slider(Knob::LoopEnd)->released();
    EXPECT_EQ(window.Controls().play.Read().loopStart, 20);
    EXPECT_EQ(window.Controls().seek, 0);
    emit ui.Slider(Knob::PlayPos)->released();
    EXPECT_EQ(window.Controls().play.Read().playPos, 70);
    EXPECT_EQ(window.Controls().seek, 1);
}

TEST_F(MainWindowTest, KeysReachingTheWindowItselfShowTheTestBoxes) {
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(&window, &space);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(&window, &letter);
    const std::vector<QString> expected = {"Test 0", "Test 2", "Test 1", "Test 3"};
    EXPECT_EQ(f.boxes.Texts(), expected);
    for (const MessageBoxRequest& request : f.boxes.shown) {
        EXPECT_EQ(request.caption, "ui_tests");  // the executable's base name
        EXPECT_FALSE(request.question);
        EXPECT_EQ(request.icon, MessageIcon::None);
    }
}

// The dialog keys and Alt combinations are the dialog's own, even where they reach it.
TEST_F(MainWindowTest, DialogKeysAndAltCombinationsShowNoTestBox) {
    const std::pair<int, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Tab, Qt::NoModifier},    {Qt::Key_Backtab, Qt::ShiftModifier},
        {Qt::Key_Up, Qt::NoModifier},     {Qt::Key_Down, Qt::NoModifier},
        {Qt::Key_Left, Qt::NoModifier},   {Qt::Key_Right, Qt::NoModifier},
        {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier},
        {Qt::Key_A, Qt::AltModifier},     {Qt::Key_Space, Qt::AltModifier},
    };
    for (const auto& [key, modifiers] : keys) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&window, &press);
    }
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindowTest, KeysTypedIntoAControlShowNoTestBox) {
    ShowAndActivate();
    ui.selectOutputButton->setFocus();
    QTest::keyClick(ui.selectOutputButton, Qt::Key_A);
    QTest::keyClick(ui.Slider(Knob::Pan), Qt::Key_B);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindowTest, EnterClicksPlayMode2UnlessAnotherButtonHasTheFocus) {
    ShowAndActivate();
    QSignalSpy mode2(ui.playMode2Button, &QPushButton::clicked);
    QSignalSpy output(ui.selectOutputButton, &QPushButton::clicked);
    ui.Slider(Knob::Pan)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(mode2.count(), 1);
    ui.selectOutputButton->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(mode2.count(), 1);
    EXPECT_EQ(output.count(), 1);
    EXPECT_TRUE(window.isVisible());
    // Play mode 2 ran: with no input chosen it only says so.
    EXPECT_EQ(f.boxes.Texts(), std::vector<QString>{"You need to select an input file first!"});
}

TEST_F(MainWindowTest, EscapeAndTheExitButtonEndTheWindow) {
    const std::vector<std::function<void()>> ends = {
        [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); },
        [&] { ui.exitButton->click(); },
    };
    for (const auto& end : ends) {
        ShowAndActivate();
        ui.Slider(Knob::Pan)->setFocus();
        end();
        EXPECT_FALSE(window.isVisible());
    }
    EXPECT_TRUE(f.boxes.shown.empty());
}

QAction* MenuEntry(const MainWindow& window, const QString& text) {
    for (QAction* action : window.WindowMenu()->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

// The About box from every way to it: the button, the window menu's last entry, F1, Ctrl+?.
TEST_F(MainWindowTest, AboutBoxOpensFromTheButtonTheMenuAndTheHelpKeys) {
    const QList<QAction*> entries = window.WindowMenu()->actions();
    ASSERT_EQ(entries.size(), 7) << "suggest, three for the presets and the sound output";
    EXPECT_TRUE(entries.front()->isSeparator());
    EXPECT_EQ(entries.back()->text(), QString::fromUtf8("关于Zerbex ... "));
    const std::vector<std::function<void()>> ways = {
        [&] { ui.aboutButton->click(); },
        [&] { entries.back()->trigger(); },
        [&] { QTest::keyClick(&window, Qt::Key_F1); },
        [&] { QTest::keyClick(&window, Qt::Key_Question, Qt::ControlModifier); },
    };
    for (std::size_t i = 0; i < ways.size(); ++i) {
        ShowAndActivate();
        QString title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            title = box->windowTitle();
            auto* ok = box->findChild<QPushButton*>("aboutOk");
            EXPECT_EQ(ok->text(), "确定");
            EXPECT_FALSE(box->findChild<QLabel*>("aboutIcon")->pixmap().isNull());
            ok->click();
        });
        ways[i]();
        EXPECT_EQ(title, "关于Zerbex") << "way " << i;
    }
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindowTest, SuggestEntryNeedsAnInputAndMovesTheTrackbarsAsTheEngineSuggests) {
    QAction* suggest = MenuEntry(window, "Suggest settings for this song");
    ASSERT_NE(suggest, nullptr);
    const auto positions = [&] {
        return Positions{ui.Slider(Knob::Pan)->value(),   ui.Slider(Knob::Low)->value(),
                         ui.Slider(Knob::High)->value(),  ui.Slider(Knob::Left)->value(),
                         ui.Slider(Knob::Right)->value(), ui.Slider(Knob::OutputLevel)->value()};
    };
    suggest->trigger();
    EXPECT_EQ(f.boxes.Texts(), std::vector<QString>{"You need to select an input file first!"});
    EXPECT_EQ(positions(), Positions{});

    const std::filesystem::path input = f.Make("song.wav", SimpleWav(TestSignal(3 * 44100)));
    f.ChooseInput(input);
    JobObserver quiet;
    const std::optional<Positions> expected = SuggestPositions(input, quiet);
    ASSERT_TRUE(expected);
    ASSERT_NE(*expected, Positions{}) << "the song should move the trackbars";
    suggest->trigger();
    EXPECT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(positions(), *expected);
    // The processing uses them at once.
    ProcessingParameters applied;
    ApplyPositions(*expected, applied);
    EXPECT_EQ(Params().lowCutoff, applied.lowCutoff);
    EXPECT_EQ(Params().leftGain, applied.leftGain);
    EXPECT_EQ(Params().pan.left, applied.pan.left);

    // A file the engine cannot read says why.
    f.ChooseInput(f.Make("mono.wav", SimpleWav(std::vector<std::int16_t>(44100, 5), 1)));
    suggest->trigger();
    EXPECT_EQ(f.boxes.Texts().back(), "Error code 1101, Input not stereo! \n");
    EXPECT_EQ(positions(), *expected);
}

// While the stereo mode plays, the suggestion is the stereo mode's, its focus included, and
// the playback hears it at once.
TEST_F(MainWindowTest, SuggestWhileTheStereoModePlaysAppliesTheStereoSettings) {
    const std::filesystem::path input = f.Make("song.wav", SimpleWav(TestSignal(30 * 44100)));
    f.ChooseInput(input);
    JobObserver quiet;
    const std::optional<Positions> expected = SuggestPositions(input, quiet, PlayMode::Stereo);
    ASSERT_TRUE(expected);
    ui.Slider(Knob::Focus)->setValue(RowOf(Knob::Focus).max);
    ui.playStereoButton->click();
    ASSERT_EQ(Params().mode, PlayMode::Stereo);
    MenuEntry(window, "Suggest settings for this song")->trigger();
    for (const Knob knob :
         {Knob::Pan, Knob::Low, Knob::High, Knob::Left, Knob::Right, Knob::Focus}) {
        EXPECT_EQ(ui.Slider(knob)->value(), PositionOf(*expected, knob)) << RowOf(knob).label;
    }
    ProcessingParameters applied;
    ApplyPositions(*expected, applied);
    EXPECT_EQ(Params().aim, applied.aim);
    EXPECT_EQ(Params().focus, applied.focus);
    EXPECT_EQ(Params().highCutoff, applied.highCutoff);
    ui.playStereoButton->click();
    ASSERT_TRUE(PumpUntil([&] { return window.Idle(); }));
}

}  // namespace

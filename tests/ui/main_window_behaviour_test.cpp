// The main window at work: start values, trackbar handlers, keys, menu and the engine's
// calls from worker threads.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "bitmap_button.h"
#include "resource_ids.h"
#include "slider_ctrl.h"
#include "ui_test_support.h"
#include "window_state.h"

namespace {

class MainWindow : public ::testing::Test {
  protected:
    SliderCtrl* Slider(int id) { return qobject_cast<SliderCtrl*>(dialog.GetDlgItem(id)); }
    QString PanValueText() { return dialog.GetDlgItemText(IDC_PAN_VALUE); }
    void ShowAndActivate() {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    // Spins the event loop until done() or a time-out.
    template <typename Done>
    bool Pump(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    DialogFixture f;
    MainDialog& dialog = *f.dialog;
    WindowState& s = dialog.State();
};

TEST_F(MainWindow, StartsWithTheInitialPositionsAndDerivedValues) {
    EXPECT_EQ(Slider(IDC_PAN)->value(), 0);
    EXPECT_EQ(PanValueText(), "1");
    EXPECT_EQ(s.m_fPanValue, 1.0f);
    EXPECT_EQ(s.m_fPanGainL, 1.0f);
    EXPECT_EQ(s.m_fPanGainR, 1.0f);
    EXPECT_EQ(Slider(IDC_LOW_SLIDER)->value(), 8);
    EXPECT_EQ(s.m_nLowCutoff, 240);
    EXPECT_EQ(Slider(IDC_HIGH_SLIDER)->value(), 57);
    EXPECT_EQ(s.m_nHighCutoff, 10875);
    EXPECT_EQ(Slider(IDC_LEFT_SLIDER)->value(), 13);
    EXPECT_EQ(Slider(IDC_RIGHT_SLIDER)->value(), 13);
    EXPECT_EQ(s.m_fLeftGain, 2.2f);
    EXPECT_EQ(s.m_fRightGain, 2.2f);
    EXPECT_EQ(Slider(IDC_OUTPUT_LEVEL)->value(), 25);
    EXPECT_EQ(s.m_fOutputGain, 1.0f);
    EXPECT_EQ(s.m_nLoopStart, 0);
    EXPECT_EQ(s.m_nLoopEnd, 100);
    EXPECT_EQ(Slider(IDC_LOOP_END)->maximum(), 100);
    EXPECT_EQ(s.m_nPlayPos, 0);
    EXPECT_EQ(dialog.MeterBitmap(), IDB_METER_DARK);
    for (const Shared<int>* flag :
         {&s.m_bPlayMode2, &s.m_bPlayLow, &s.m_bPlayHigh, &s.m_bPlayOriginal, &s.m_bPlayMode1,
          &s.m_bPlayLeft, &s.m_bPlayRight, &s.m_bPlaying, &s.m_bSeekRequest, &s.m_bNoRestart}) {
        EXPECT_EQ(flag->Get(), 0);
    }
    EXPECT_FALSE(s.m_bInputSelected);
    EXPECT_FALSE(s.m_bOutputSelected);
    EXPECT_EQ(dialog.ButtonFace(IDC_LOW), IDB_LOW_IDLE);
    EXPECT_EQ(dialog.ButtonFace(IDC_PLAY_MODE2), IDB_PLAY_MODE2_IDLE);
    EXPECT_EQ(dialog.ButtonFace(IDC_PLAY_ORIGINAL), IDB_PLAY_ORIGINAL_IDLE);
    EXPECT_EQ(dialog.StartDir(), QDir::currentPath());
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindow, PanReleaseAppliesThePanMappingAtEveryStep) {
    struct Case {
        int pan;
        float gainL;
        float gainR;
        const char* text;
    };
    const Case cases[] = {
        {-30, static_cast<float>(1 / 1.1875), 1.1875f, "-1.1875"},
        {-1, static_cast<float>(1 / 1.00625), 1.00625f, "-1.00625"},
        {0, 1.0f, 1.0f, "1"},
        {1, 1.00625f, static_cast<float>(1 / 1.00625), "1.00625"},
        {30, 1.1875f, static_cast<float>(1 / 1.1875), "1.1875"},
    };
    Slider(IDC_LOW_SLIDER)->SetPos(0);  // not the pan's business
    for (const Case& c : cases) {
        Slider(IDC_PAN)->SetPos(c.pan);
        dialog.OnReleasedCapturePan();
        EXPECT_EQ(s.m_nPan, c.pan);
        EXPECT_FLOAT_EQ(s.m_fPanGainL, c.gainL) << c.pan;
        EXPECT_FLOAT_EQ(s.m_fPanGainR, c.gainR) << c.pan;
        EXPECT_NEAR(s.m_fPanGainL * s.m_fPanGainR, 1.0f, 1e-6f);
        EXPECT_EQ(PanValueText(), c.text);
    }
    EXPECT_EQ(s.m_nLowCutoff, 240);
}

TEST_F(MainWindow, ReleaseHandlersRecomputeOnlyTheirOwnValueAtTheRangeEnds) {
    // Every other trackbar moves first, so a handler that did more would show it.
    auto moveAll = [&](int pos) {
        for (int id : {IDC_PAN, IDC_LOW_SLIDER, IDC_HIGH_SLIDER, IDC_LEFT_SLIDER, IDC_RIGHT_SLIDER,
                       IDC_OUTPUT_LEVEL}) {
            Slider(id)->SetPos(pos);
        }
    };
    moveAll(0);
    dialog.OnReleasedCaptureLow();
    EXPECT_EQ(s.m_nLowCutoff, 40);
    EXPECT_EQ(s.m_nHighCutoff, 10875);
    EXPECT_EQ(s.m_fLeftGain, 2.2f);
    dialog.OnReleasedCaptureHigh();
    EXPECT_EQ(s.m_nHighCutoff, 900);
    dialog.OnReleasedCaptureLeft();
    EXPECT_FLOAT_EQ(s.m_fLeftGain, 3.5f);
    EXPECT_EQ(s.m_fRightGain, 2.2f);
    dialog.OnReleasedCaptureRight();
    EXPECT_FLOAT_EQ(s.m_fRightGain, 3.5f);
    EXPECT_EQ(s.m_fOutputGain, 1.0f);
    dialog.OnReleasedCaptureOutputLevel();
    EXPECT_FLOAT_EQ(s.m_fOutputGain, 4.75f);
    EXPECT_EQ(s.m_fPanGainL, 1.0f);

    moveAll(80);  // each trackbar clamps to its own top
    dialog.OnReleasedCaptureLow();
    EXPECT_EQ(s.m_nLowCutoff, 1040);
    dialog.OnReleasedCaptureHigh();
    EXPECT_EQ(s.m_nHighCutoff, 14900);
    dialog.OnReleasedCaptureLeft();
    dialog.OnReleasedCaptureRight();
    EXPECT_FLOAT_EQ(s.m_fLeftGain, 1.0f);
    EXPECT_FLOAT_EQ(s.m_fRightGain, 1.0f);
    dialog.OnReleasedCaptureOutputLevel();
    EXPECT_FLOAT_EQ(s.m_fOutputGain, 1.0f);
    EXPECT_EQ(s.m_fPanGainL, 1.0f);  // pan at 30 was never released
    EXPECT_EQ(s.m_bSeekRequest, 0);
}

TEST_F(MainWindow, DraggingTheLoopStartRecomputesEverythingButTheOutputGain) {
    Slider(IDC_PAN)->SetPos(30);
    Slider(IDC_LOW_SLIDER)->SetPos(40);
    Slider(IDC_HIGH_SLIDER)->SetPos(0);
    Slider(IDC_LEFT_SLIDER)->SetPos(0);
    Slider(IDC_RIGHT_SLIDER)->SetPos(25);
    Slider(IDC_OUTPUT_LEVEL)->SetPos(0);
    SliderCtrl* loopStart = Slider(IDC_LOOP_START);
    loopStart->setSliderDown(true);
    loopStart->setSliderPosition(40);
    EXPECT_EQ(s.m_nLoopStart, 40);
    EXPECT_FLOAT_EQ(s.m_fPanGainL, 1.1875f);
    EXPECT_EQ(s.m_nLowCutoff, 1040);
    EXPECT_EQ(s.m_nHighCutoff, 900);
    EXPECT_FLOAT_EQ(s.m_fLeftGain, 3.5f);
    EXPECT_FLOAT_EQ(s.m_fRightGain, 1.0f);
    EXPECT_EQ(s.m_fOutputGain, 1.0f);
    EXPECT_EQ(PanValueText(), "1.1875");
    loopStart->setSliderDown(false);
}

TEST_F(MainWindow, OutputLevelScrollRecomputesOnlyTheOutputGain) {
    ShowAndActivate();
    SliderCtrl* output = Slider(IDC_OUTPUT_LEVEL);
    Slider(IDC_LOW_SLIDER)->SetPos(0);
    output->setFocus();
    QTest::keyClick(output, Qt::Key_Up);  // toward "+"
    EXPECT_EQ(output->value(), 24);
    EXPECT_EQ(s.m_nOutputLevel, 24);
    EXPECT_FLOAT_EQ(s.m_fOutputGain, 1.15f);
    EXPECT_EQ(s.m_nLowCutoff, 240);
    QTest::keyClick(output, Qt::Key_Home);
    EXPECT_FLOAT_EQ(s.m_fOutputGain, 4.75f);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindow, DraggingThePlayPositionReadsItAndOnlyTheReleaseAsksToSeek) {
    ShowAndActivate();
    SliderCtrl* playPos = Slider(IDC_PLAY_POS);
    const QPoint start = playPos->rect().center();
    playPos->SetPos(50);
    QTest::mousePress(playPos, Qt::LeftButton, {}, start);
    QTest::mouseMove(playPos, start + QPoint(playPos->width() / 5, 0));
    EXPECT_GT(s.m_nPlayPos, 55);
    EXPECT_EQ(s.m_bSeekRequest, 0);
    const int dragged = playPos->sliderPosition();
    QTest::mouseRelease(playPos, Qt::LeftButton, {}, start + QPoint(playPos->width() / 5, 0));
    EXPECT_EQ(s.m_bSeekRequest, 1);
    EXPECT_EQ(s.m_nPlayPos, dragged);

    s.m_bSeekRequest = 0;
    playPos->setFocus();
    QTest::keyClick(playPos, Qt::Key_Right);
    EXPECT_EQ(s.m_nPlayPos, dragged + 1);
    EXPECT_EQ(s.m_bSeekRequest, 0);
}

TEST_F(MainWindow, ProgramMovesOfTheTrackbarsRunNoHandler) {
    dialog.SetTrackbarPos(Trackbar::PlayPos, 70);
    dialog.SetTrackbarPos(Trackbar::LoopStart, 20);
    EXPECT_EQ(Slider(IDC_PLAY_POS)->value(), 70);
    EXPECT_EQ(dialog.GetTrackbarPos(Trackbar::LoopStart), 20);
    EXPECT_EQ(s.m_nPlayPos, 0);
    EXPECT_EQ(s.m_nLoopStart, 0);
    EXPECT_EQ(s.m_bSeekRequest, 0);
    dialog.OnReleasedCaptureLoop();
    EXPECT_EQ(s.m_nLoopStart, 20);
    dialog.OnReleasedCapturePlayPos();
    EXPECT_EQ(s.m_nPlayPos, 70);
    EXPECT_EQ(s.m_bSeekRequest, 1);
}

TEST_F(MainWindow, PanValueOutsideItsRangeStopsTheExchangeWithAMessage) {
    auto* box = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_PAN_VALUE));
    Slider(IDC_LOW_SLIDER)->SetPos(3);
    box->setText("7");
    EXPECT_FALSE(dialog.UpdateData(true));
    EXPECT_EQ(s.m_nLowSlider, 8);  // bound after the pan value: not read
    box->setText("x");
    EXPECT_FALSE(dialog.UpdateData(true));
    box->setText("-6");
    EXPECT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(s.m_nLowSlider, 3);
    ASSERT_EQ(f.Texts().size(), 2u);
    EXPECT_EQ(f.Texts()[0], "Please enter a number between -6 and 6.");
    EXPECT_EQ(f.Texts()[1], "Please enter a number.");
}

TEST_F(MainWindow, KeysReachingTheWindowItselfShowTheTestBoxes) {
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(&dialog, &space);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(&dialog, &letter);
    const std::vector<QString> expected = {"Test 0", "Test 2", "Test 1", "Test 3"};
    EXPECT_EQ(f.Texts(), expected);
    for (const MessageBoxRequest& request : f.boxes.shown) {
        EXPECT_EQ(request.caption, "ui_tests");  // the executable's base name
        EXPECT_EQ(request.type, unsigned(MB_OK));
    }
}

TEST_F(MainWindow, KeysTypedIntoAControlShowNoTestBox) {
    ShowAndActivate();
    QWidget* button = dialog.GetDlgItem(IDC_SELECT_OUTPUT);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_A);
    QTest::keyClick(Slider(IDC_PAN), Qt::Key_B);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindow, EnterClicksPlayMode2UnlessAnotherButtonHasTheFocus) {
    ShowAndActivate();
    QSignalSpy mode2(qobject_cast<QPushButton*>(dialog.GetDlgItem(IDC_PLAY_MODE2)),
                     &QPushButton::clicked);
    QSignalSpy output(qobject_cast<QPushButton*>(dialog.GetDlgItem(IDC_SELECT_OUTPUT)),
                      &QPushButton::clicked);
    Slider(IDC_PAN)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(mode2.count(), 1);
    dialog.GetDlgItem(IDC_SELECT_OUTPUT)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(mode2.count(), 1);
    EXPECT_EQ(output.count(), 1);
    EXPECT_TRUE(dialog.isVisible());
    // Play mode 2 ran: with no input chosen it only says so.
    EXPECT_EQ(f.Texts(), std::vector<QString>{"You need to select an input file first!"});
}

TEST_F(MainWindow, EscapeEndsTheWindow) {
    ShowAndActivate();
    Slider(IDC_PAN)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindow, ExitButtonEndsTheWindow) {
    ShowAndActivate();
    qobject_cast<QPushButton*>(dialog.GetDlgItem(IDCANCEL))->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

class CountingAbout : public MainDialog {
  public:
    using MainDialog::MainDialog;
    void OnAbout() override { ++abouts; }
    int abouts = 0;
};

TEST(MainWindowAbout, ButtonMenuEntryAndF1ReachTheSameHandler) {
    DialogFixture f;
    CountingAbout dialog(UiServices{f.boxes, f.files, f.profile, nullptr});
    qobject_cast<QPushButton*>(dialog.GetDlgItem(IDC_ABOUT))->click();
    EXPECT_EQ(dialog.abouts, 1);

    QAction* entry = nullptr;
    for (QAction* action : dialog.SystemMenu()->actions()) {
        if (!action->isSeparator()) {
            entry = action;
        }
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QString::fromUtf8("关于Zerbex ... "));
    EXPECT_EQ(entry->data().toInt(), IDM_ABOUTBOX);
    EXPECT_TRUE(dialog.SystemMenu()->actions().front()->isSeparator());
    entry->trigger();
    EXPECT_EQ(dialog.abouts, 2);

    dialog.OnSysCommand(IDM_ABOUTBOX | 0x3);  // low four bits are ignored
    EXPECT_EQ(dialog.abouts, 3);
    dialog.OnSysCommand(0xF060);
    EXPECT_EQ(dialog.abouts, 3);

    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(dialog.abouts, 4);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(MainWindow, ResetPlayButtonsRestoresEveryIdleFaceAndHandlesQueuedInput) {
    for (int id : {IDC_LOW, IDC_LEFT, IDC_RIGHT, IDC_HIGH}) {
        dialog.ShowButtonFace(id, IDB_LOW_STOP);
    }
    for (int id : {IDC_PLAY_MODE2, IDC_PLAY_MODE1, IDC_PLAY_ORIGINAL}) {
        dialog.ShowButtonFace(id, IDB_WIDE_STOP);
    }
    s.m_bPlayHigh = 1;
    Slider(IDC_LOW_SLIDER)->SetPos(30);
    auto* button = qobject_cast<QPushButton*>(dialog.GetDlgItem(IDC_SELECT_OUTPUT));
    QSignalSpy clicked(button, &QPushButton::clicked);
    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);

    dialog.ResetPlayButtons();

    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(s.m_nLowSlider, 30);
    const std::pair<int, int> idle[] = {{IDC_LOW, IDB_LOW_IDLE},
                                        {IDC_LEFT, IDB_LEFT_IDLE},
                                        {IDC_RIGHT, IDB_RIGHT_IDLE},
                                        {IDC_HIGH, IDB_HIGH_IDLE},
                                        {IDC_PLAY_MODE2, IDB_PLAY_MODE2_IDLE},
                                        {IDC_PLAY_MODE1, IDB_PLAY_MODE1_IDLE},
                                        {IDC_PLAY_ORIGINAL, IDB_PLAY_ORIGINAL_IDLE}};
    for (const auto& [id, face] : idle) {
        EXPECT_EQ(dialog.ButtonFace(id), face) << id;
    }
    EXPECT_EQ(s.m_bPlayHigh, 1);  // the flags are not its business
}

TEST_F(MainWindow, EngineCallsFromAWorkerAreCarriedOutOnTheWindowThread) {
    dialog.ShowButtonFace(IDC_PLAY_MODE1, IDB_WIDE_STOP);
    Slider(IDC_LOOP_END)->SetPos(90);
    std::atomic<bool> done{false};
    int loopEnd = -1;
    ASSERT_TRUE(dialog.Workers().Start([&] {
        dialog.SetTrackbarPos(Trackbar::PlayPos, 42);
        loopEnd = dialog.GetTrackbarPos(Trackbar::LoopEnd);
        dialog.ShowMeter(132);
        dialog.ShowMessage("Error reading input wave file...\n");
        dialog.ResetPlayButtons();
        done = true;
    }));
    ASSERT_TRUE(Pump([&] { return done.load(); }));
    EXPECT_EQ(Slider(IDC_PLAY_POS)->value(), 42);
    EXPECT_EQ(loopEnd, 90);
    EXPECT_EQ(dialog.MeterBitmap(), 132);
    EXPECT_EQ(s.m_nLoopEnd, 90);  // read back by the reset
    EXPECT_EQ(dialog.ButtonFace(IDC_PLAY_MODE1), IDB_PLAY_MODE1_IDLE);
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text, "Error reading input wave file...\n");
    EXPECT_EQ(f.boxes.shown[0].caption, "ui_tests");
}

TEST_F(MainWindow, ClosingWhileAWorkerWaitsOnTheWindowStopsAndJoinsIt) {
    std::atomic<int> calls{0};
    ASSERT_TRUE(dialog.Workers().Start([&] {
        while (!s.m_bStopRequest) {
            dialog.SetTrackbarPos(Trackbar::PlayPos, calls % 100);
            dialog.ShowMeter(kMeterBitmaps[calls % 9]);
            ++calls;
        }
        // After the close every call returns at once.
        dialog.ShowMessage("late");
        dialog.ResetPlayButtons();
    }));
    ASSERT_TRUE(Pump([&] { return calls > 20; }));
    dialog.reject();
    EXPECT_TRUE(dialog.Workers().AllFinished());
    EXPECT_EQ(s.m_bStopRequest, 1);
    EXPECT_EQ(s.m_bNoRestart, 1);
    EXPECT_FALSE(dialog.Workers().Start([] {}));
    EXPECT_TRUE(f.boxes.shown.empty());
}

}  // namespace

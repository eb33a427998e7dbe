#include "main_dialog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <algorithm>

#include "bitmap_button.h"
#include "parameters.h"
#include "play_buttons.h"
#include "resource_ids.h"
#include "resources.h"
#include "slider_ctrl.h"
#include "window_builder.h"

namespace {

// A page of a trackbar is a fifth of its range.
void SetRange(SliderCtrl* slider, int minimum, int maximum) {
    slider->setRange(minimum, maximum);
    slider->setPageStep(std::max(1, (maximum - minimum) / 5));
}

void ExchangeSlider(bool save, SliderCtrl* slider, Shared<int>& member) {
    if (save) {
        member = slider->GetPos();
    } else {
        slider->SetPos(member);
    }
}

}  // namespace

MainDialog::MainDialog(UiServices services, QWidget* parent)
    : QDialog(parent), m_services(services) {
    // The ten exchanged values start at zero; initialisation gives them their positions.
    m_state.m_nPan = 0;
    m_state.m_fPanValue = 0.0f;
    m_state.m_nLowSlider = 0;
    m_state.m_nHighSlider = 0;
    m_state.m_nPlayPos = 0;
    m_state.m_nRightSlider = 0;
    m_state.m_nLeftSlider = 0;
    m_state.m_nOutputLevel = 0;
    m_state.m_nLoopStart = 0;
    m_state.m_nLoopEnd = 0;
    m_hIcon = LoadAppIcon();

    CreateControls(MainDialogTemplate());
    BindControls();
    AttachTrackbarTips();
    MakeInputPathReadable();
    setAcceptDrops(true);
    // A file dropped anywhere on the window is the input, also over the output box.
    GetDlgItem(IDC_OUTPUT_PATH)->setAcceptDrops(false);
    ConnectMessageMap();
    OnInitDialog();
}

MainDialog::~MainDialog() {
    ShutDownJobs();
}

void MainDialog::CreateControls(const DialogTemplate& dialog) {
    m_controls = BuildWindow(*this, dialog);
}

void MainDialog::BindControls() {
    m_btnPlayOriginal = qobject_cast<BitmapButton*>(GetDlgItem(IDC_PLAY_ORIGINAL));
    m_btnPlayMode1 = qobject_cast<BitmapButton*>(GetDlgItem(IDC_PLAY_MODE1));
    m_btnPlayMode2 = qobject_cast<BitmapButton*>(GetDlgItem(IDC_PLAY_MODE2));
    m_btnRight = qobject_cast<BitmapButton*>(GetDlgItem(IDC_RIGHT));
    m_btnHigh = qobject_cast<BitmapButton*>(GetDlgItem(IDC_HIGH));
    m_btnLeft = qobject_cast<BitmapButton*>(GetDlgItem(IDC_LEFT));
    m_btnLow = qobject_cast<BitmapButton*>(GetDlgItem(IDC_LOW));
    m_sliderLoopStart = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_LOOP_START));
    m_sliderLoopEnd = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_LOOP_END));
    m_staticMeter = qobject_cast<QLabel*>(GetDlgItem(IDC_CLIP_LAMP));
    m_sliderOutputLevel = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_OUTPUT_LEVEL));
    m_sliderLeft = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_LEFT_SLIDER));
    m_sliderRight = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_RIGHT_SLIDER));
    m_sliderPlayPos = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_PLAY_POS));
    m_sliderHigh = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_HIGH_SLIDER));
    m_sliderLow = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_LOW_SLIDER));
    m_sliderPan = qobject_cast<SliderCtrl*>(GetDlgItem(IDC_PAN));

    m_modeButtons = {
        {m_btnLow, &m_bmpLow, IDB_LOW_IDLE},
        {m_btnLeft, &m_bmpLeft, IDB_LEFT_IDLE},
        {m_btnRight, &m_bmpRight, IDB_RIGHT_IDLE},
        {m_btnHigh, &m_bmpHigh, IDB_HIGH_IDLE},
        {m_btnPlayMode2, &m_bmpPlayMode2, IDB_PLAY_MODE2_IDLE},
        {m_btnPlayMode1, &m_bmpPlayMode1, IDB_PLAY_MODE1_IDLE},
        {m_btnPlayOriginal, &m_bmpPlayOriginal, IDB_PLAY_ORIGINAL_IDLE},
    };
}

void MainDialog::ConnectTrackbar(SliderCtrl* slider, void (MainDialog::*onRelease)()) {
    connect(slider, &SliderCtrl::releasedCapture, this, onRelease);
    // Mouse drags, channel clicks, the wheel and the keyboard all arrive as actions; moves
    // made by the program do not.
    if (slider->orientation() == Qt::Horizontal) {
        connect(slider, &QAbstractSlider::actionTriggered, this, [this] { OnHScroll(); });
    } else {
        connect(slider, &QAbstractSlider::actionTriggered, this, [this] { OnVScroll(); });
    }
}

void MainDialog::ConnectMessageMap() {
    auto onClick = [this](int id, void (MainDialog::*handler)()) {
        connect(qobject_cast<QPushButton*>(GetDlgItem(id)), &QPushButton::clicked, this,
                [this, handler] { (this->*handler)(); });
    };
    onClick(IDC_SELECT_INPUT, &MainDialog::OnSelectInput);
    onClick(IDC_SELECT_OUTPUT, &MainDialog::OnSelectOutput);
    onClick(IDC_WRITE_FILE, &MainDialog::OnWriteFile);
    onClick(IDC_CHECK_UPGRADES, &MainDialog::OnCheckUpgrades);
    onClick(IDC_ABOUT, &MainDialog::OnAbout);
    onClick(IDC_PLAY_MODE2, &MainDialog::OnPlayMode2);
    onClick(IDC_HIGH, &MainDialog::OnHigh);
    onClick(IDC_LOW, &MainDialog::OnLow);
    onClick(IDC_PLAY_ORIGINAL, &MainDialog::OnPlayOriginal);
    onClick(IDC_PLAY_MODE1, &MainDialog::OnPlayMode1);
    onClick(IDC_RIGHT, &MainDialog::OnRight);
    onClick(IDC_LEFT, &MainDialog::OnLeft);
    onClick(IDC_MANUAL, &MainDialog::OnManual);
    connect(qobject_cast<QPushButton*>(GetDlgItem(IDCANCEL)), &QPushButton::clicked, this,
            &QDialog::reject);

    ConnectTrackbar(m_sliderPan, &MainDialog::OnReleasedCapturePan);
    ConnectTrackbar(m_sliderHigh, &MainDialog::OnReleasedCaptureHigh);
    ConnectTrackbar(m_sliderLow, &MainDialog::OnReleasedCaptureLow);
    ConnectTrackbar(m_sliderPlayPos, &MainDialog::OnReleasedCapturePlayPos);
    ConnectTrackbar(m_sliderLeft, &MainDialog::OnReleasedCaptureLeft);
    ConnectTrackbar(m_sliderRight, &MainDialog::OnReleasedCaptureRight);
    ConnectTrackbar(m_sliderOutputLevel, &MainDialog::OnReleasedCaptureOutputLevel);
    ConnectTrackbar(m_sliderLoopStart, &MainDialog::OnReleasedCaptureLoop);
    ConnectTrackbar(m_sliderLoopEnd, &MainDialog::OnReleasedCaptureLoop);

    connect(qobject_cast<QLineEdit*>(GetDlgItem(IDC_OUTPUT_PATH)), &QLineEdit::textChanged, this,
            [this] { OnOutputPathChange(); });

    // Where a Linux desktop user looks for About: F1 and Ctrl+?.
    for (const QKeySequence& keys :
         {QKeySequence(QKeySequence::HelpContents), QKeySequence(Qt::CTRL | Qt::Key_Question)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] { OnAbout(); });
    }
}

void MainDialog::OnInitDialog() {
    // The first exchange: every bound trackbar at 0, the pan value box "0".
    UpdateData(false);
    AppendAboutEntry();
    AppendSuggestEntry();
    setWindowIcon(m_hIcon);
    m_state.m_bInputSelected = false;
    m_state.m_bOutputSelected = false;
    // Pan centred.
    SetRange(m_sliderPan, -30, 30);
    m_sliderPan->SetPos(0);
    SetDlgItemText(IDC_PAN_VALUE, QStringLiteral("0"));
    // Nothing plays.
    m_state.m_bPlaying = 0;
    m_state.m_bNoRestart = 0;
    // The cut-off trackbars at their start-up positions; the cut-offs stay at their lowest
    // until the parameters are derived below.
    SetRange(m_sliderLow, 0, 40);
    m_sliderLow->SetPos(8);
    SetRange(m_sliderHigh, 0, 80);
    m_sliderHigh->SetPos(57);
    m_state.m_nLowCutoff = 40;
    m_state.m_nHighCutoff = 900;
    // Play position, channel levels and requests.
    SetRange(m_sliderPlayPos, 0, 100);
    m_sliderPlayPos->SetPos(0);
    SetRange(m_sliderLeft, 0, 25);
    m_sliderLeft->SetPos(13);
    SetRange(m_sliderRight, 0, 25);
    m_sliderRight->SetPos(13);
    m_state.m_fLeftGain = 1.0f;
    m_state.m_fRightGain = 1.0f;
    m_state.m_bSeekRequest = 0;
    SetRange(m_sliderOutputLevel, 0, 25);
    m_sliderOutputLevel->SetPos(25);
    ShowMeter(IDB_METER_DARK);
    // The loop spans the whole data.
    SetRange(m_sliderLoopStart, 0, 100);
    m_sliderLoopStart->SetPos(0);
    SetRange(m_sliderLoopEnd, 0, 100);
    m_sliderLoopEnd->SetPos(100);
    ShowAllIdleFaces();
    ClearModeFlags();
    // The derived parameters from the trackbars.
    UpdateParameters();
    // Where the program started, for the manual command.
    m_strStartDir = QDir::currentPath();
}

void MainDialog::AppendAboutEntry() {
    m_systemMenu = new QMenu(this);
    const QString text = QCoreApplication::translate("Zerbex", kAboutMenuText);
    if (text.isEmpty()) {
        return;
    }
    m_systemMenu->addSeparator();
    QAction* about = m_systemMenu->addAction(text);
    about->setData(IDM_ABOUTBOX);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    m_systemMenu->exec(event->globalPos());
}

void MainDialog::OnSysCommand(int nID) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
    }
}

bool MainDialog::UpdateData(bool saveAndValidate) {
    bool ok = false;
    m_bridge.Run([&] { ok = DoDataExchange(saveAndValidate); });
    return ok;
}

bool MainDialog::DoDataExchange(bool save) {
    ExchangeSlider(save, m_sliderPan, m_state.m_nPan);
    if (!ExchangePanValue(save)) {
        return false;
    }
    ExchangeSlider(save, m_sliderLow, m_state.m_nLowSlider);
    ExchangeSlider(save, m_sliderHigh, m_state.m_nHighSlider);
    ExchangeSlider(save, m_sliderPlayPos, m_state.m_nPlayPos);
    ExchangeSlider(save, m_sliderRight, m_state.m_nRightSlider);
    ExchangeSlider(save, m_sliderLeft, m_state.m_nLeftSlider);
    ExchangeSlider(save, m_sliderOutputLevel, m_state.m_nOutputLevel);
    ExchangeSlider(save, m_sliderLoopStart, m_state.m_nLoopStart);
    ExchangeSlider(save, m_sliderLoopEnd, m_state.m_nLoopEnd);
    return true;
}

bool MainDialog::ExchangePanValue(bool save) {
    constexpr float kMin = -6.0f;
    constexpr float kMax = 6.0f;
    auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(IDC_PAN_VALUE));
    if (!save) {
        edit->setText(QString::asprintf("%.*g", 6, static_cast<double>(m_state.m_fPanValue)));
        return true;
    }
    bool parsed = false;
    const double value = edit->text().trimmed().toDouble(&parsed);
    if (!parsed) {
        MessageBox(QStringLiteral("Please enter a number."), MB_ICONEXCLAMATION);
        return false;
    }
    m_state.m_fPanValue = static_cast<float>(value);
    if (m_state.m_fPanValue < kMin || m_state.m_fPanValue > kMax) {
        MessageBox(QStringLiteral("Please enter a number between %1 and %2.")
                       .arg(QString::asprintf("%.*g", 6, kMin), QString::asprintf("%.*g", 6, kMax)),
                   MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

void MainDialog::UpdateParameters() {
    UpdateData(true);
    UpdateDerivedParameters(m_state);
    UpdateData(false);
}

int MainDialog::MessageBox(const QString& text, unsigned type) {
    int answer = (type & MB_YESNO) ? IDNO : IDOK;
    m_bridge.Run([&] { answer = m_services.boxes.Show({AppDisplayName(), text, type}); });
    return answer;
}

QWidget* MainDialog::GetDlgItem(int id) const {
    for (QWidget* widget : m_controls) {
        if (widget->property(kControlIdProperty).toInt() == id) {
            return widget;
        }
    }
    return nullptr;
}

QString MainDialog::GetDlgItemText(int id) {
    QString text;
    m_bridge.Run([&] {
        QWidget* widget = GetDlgItem(id);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            text = edit->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
        }
    });
    return text;
}

void MainDialog::SetDlgItemText(int id, const QString& text) {
    m_bridge.Run([&] {
        QWidget* widget = GetDlgItem(id);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(text);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(text);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(text);
        }
    });
}

void MainDialog::ShowMessage(const char* text) {
    MessageBox(QString::fromUtf8(text), MB_OK);
}

SliderCtrl* MainDialog::SliderFor(Trackbar trackbar) const {
    switch (trackbar) {
        case Trackbar::LoopStart:
            return m_sliderLoopStart;
        case Trackbar::LoopEnd:
            return m_sliderLoopEnd;
        case Trackbar::PlayPos:
            return m_sliderPlayPos;
    }
    return m_sliderPlayPos;
}

void MainDialog::SetTrackbarPos(Trackbar trackbar, int pos) {
    m_bridge.Run([&] { SliderFor(trackbar)->SetPos(pos); });
    if (m_phase.Phase() == JobPhase::Writing) {
        // A write job runs on this thread: let the window repaint, but take no input.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

int MainDialog::GetTrackbarPos(Trackbar trackbar) {
    // Once the window closes, the members stand in for the controls.
    int pos = trackbar == Trackbar::LoopStart ? m_state.m_nLoopStart.Get()
              : trackbar == Trackbar::LoopEnd ? m_state.m_nLoopEnd.Get()
                                              : m_state.m_nPlayPos.Get();
    m_bridge.Run([&] { pos = SliderFor(trackbar)->GetPos(); });
    return pos;
}

void MainDialog::ShowMeter(int bitmapId) {
    m_bridge.Run([&] {
        m_bmpMeter = LoadBitmapResource(bitmapId);
        m_staticMeter->setPixmap(m_bmpMeter);
        m_staticMeter->resize(m_bmpMeter.deviceIndependentSize().toSize());
        m_meterBitmapId = m_bmpMeter.isNull() ? 0 : bitmapId;
    });
}

void MainDialog::ShowFace(BitmapButton* button, QPixmap& bitmap, int bitmapId) {
    bitmap = LoadBitmapResource(bitmapId);
    button->SetImage(bitmap, bitmapId);
}

void MainDialog::ShowButtonFace(int buttonId, int bitmapId) {
    m_bridge.Run([&] {
        for (ModeButton& mode : m_modeButtons) {
            if (mode.button->property(kControlIdProperty).toInt() == buttonId) {
                ShowFace(mode.button, *mode.bitmap, bitmapId);
            }
        }
    });
}

int MainDialog::ButtonFace(int buttonId) const {
    auto* button = qobject_cast<BitmapButton*>(GetDlgItem(buttonId));
    return button ? button->ImageId() : 0;
}

void MainDialog::ShowAllIdleFaces() {
    for (ModeButton& mode : m_modeButtons) {
        ShowFace(mode.button, *mode.bitmap, mode.idleFace);
    }
}

void MainDialog::ShowIdleFaceOfCurrentMode() {
    const PlayButton& current = ButtonFor(CurrentProcessingMode(m_state));
    ShowButtonFace(current.buttonId, current.idleFace);
}

void MainDialog::ResetPlayButtons() {
    if (!m_bridge.OnUiThread()) {
        // A worker has no messages of its own to pump.
        m_bridge.Run([this] {
            ShowIdleFaceOfCurrentMode();
            DoDataExchange(true);
            ShowAllIdleFaces();
        });
        return;
    }
    ShowIdleFaceOfCurrentMode();
    UpdateData(true);
    PumpMessages();
    ShowAllIdleFaces();
}

void MainDialog::PumpMessages() {
    // Handles only what is already queued and never waits, so a pending quit cannot keep it
    // going.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void MainDialog::done(int result) {
    ShutDownJobs();
    QDialog::done(result);
}

void MainDialog::ShutDownJobs() {
    m_state.m_bStopRequest = 1;
    m_state.m_bNoRestart = 1;
    m_bridge.ShutDown();
}

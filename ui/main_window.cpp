#include "ui/main_window.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <algorithm>

#include "res/resources.h"
#include "settings/job_messages.h"
#include "ui/bitmap_button.h"
#include "ui/job_progress.h"
#include "ui/message_boxes.h"
#include "ui/play_buttons.h"
#include "ui/trackbar_slider.h"
#include "ui/trackbar_tips.h"
#include "ui/waveform_view.h"

namespace {

// The range check of the hidden pan value box.
constexpr float kPanValueMin = -6.0f;
constexpr float kPanValueMax = 6.0f;

constexpr int kDecodingShownMs = 200;

}  // namespace

MainWindow::MainWindow(UiServices services, QWidget* parent)
    : QDialog(parent), m_services(services), m_folder(QDir::currentPath()) {
    m_ui.SetUp(*this, MainDialogTemplate());
    m_title = windowTitle();
    m_decodingTimer = new QTimer(this);
    m_decodingTimer->setInterval(kDecodingShownMs);
    connect(m_decodingTimer, &QTimer::timeout, this, &MainWindow::ShowDecoding);
    setWindowIcon(LoadAppIcon());
    SetUpTrackbars();
    MakeInputPathReadable();
    setAcceptDrops(true);
    // A file dropped anywhere on the window is the input, also over the output box.
    m_ui.outputPathEdit->setAcceptDrops(false);
    ConnectControls();
    ConnectWaveform();
    CreateWindowMenu();
    ShowStartPositions();
    KeepWriteChecks();
    m_controls.keyTempoLive = 1;
}

MainWindow::~MainWindow() {
    ShutDown();
}

void MainWindow::SetUpTrackbars() {
    for (const KnobRow& row : kKnobs) {
        TrackbarSlider* slider = m_ui.Slider(row.knob);
        slider->SetUp(row);
        slider->SetTip(
            [this, knob = row.knob](int pos) { return TrackbarTip(knob, pos, m_input.Length()); });
        connect(slider, &TrackbarSlider::released, this,
                [this, knob = row.knob] { TrackbarReleased(knob); });
        // Mouse drags, channel clicks, the wheel and the keyboard all arrive as actions; moves
        // made by the program do not.
        const bool horizontal = slider->orientation() == Qt::Horizontal;
        connect(slider, &QAbstractSlider::actionTriggered, this,
                horizontal ? &MainWindow::HorizontalTrackbarMoved : &MainWindow::OutputLevelMoved);
    }
}

// The template's box is disabled, which greys its text out; read-only with the read-only
// background keeps it as unchangeable, leaves the path legible and lets it be copied.
void MainWindow::MakeInputPathReadable() {
    QLineEdit* edit = m_ui.inputPathEdit;
    edit->setEnabled(true);  // and read-only, as the template's disabled edit boxes are made
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

void MainWindow::ConnectControls() {
    connect(m_ui.selectInputButton, &QPushButton::clicked, this, &MainWindow::ChooseInput);
    connect(m_ui.selectOutputButton, &QPushButton::clicked, this, &MainWindow::ChooseOutput);
    connect(m_ui.writeFileButton, &QPushButton::clicked, this, &MainWindow::WriteOutput);
    connect(m_ui.aboutButton, &QPushButton::clicked, this, &MainWindow::ShowAbout);
    connect(m_ui.checkUpgradesButton, &QPushButton::clicked, this, &MainWindow::OpenUpgradePage);
    connect(m_ui.manualButton, &QPushButton::clicked, this, &MainWindow::OpenManual);
    connect(m_ui.exitButton, &QPushButton::clicked, this, &QDialog::reject);
    for (const PlayButton& play : kPlayButtons) {
        connect(m_ui.*play.button, &QPushButton::clicked, this,
                [this, mode = play.mode] { PlayCommand(mode); });
    }
    // The typed path is read when the write command runs; a change reads the trackbars.
    connect(m_ui.outputPathEdit, &QLineEdit::textChanged, this, &MainWindow::ReadTrackbars);
    // A name the user types is this input's output.
    connect(m_ui.outputPathEdit, &QLineEdit::textEdited, this,
            [this] { m_outputFor = m_inputSelected ? m_inputPath : QString(); });
    // Where a Linux desktop user looks for About: F1 and Ctrl+?.
    for (const QKeySequence& keys :
         {QKeySequence(QKeySequence::HelpContents), QKeySequence(Qt::CTRL | Qt::Key_Question)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &MainWindow::ShowAbout);
    }
    // A semitone up or down, and back to the original key and tempo, from anywhere in the
    // window.
    constexpr int semitone = RowOf(Knob::Key).perUnit;
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), this), &QShortcut::activated, this,
            [this] { MoveKey(m_ui.Slider(Knob::Key)->sliderPosition() + semitone); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down), this), &QShortcut::activated, this,
            [this] { MoveKey(m_ui.Slider(Knob::Key)->sliderPosition() - semitone); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this), &QShortcut::activated, this,
            [this] { ResetKeyAndTempo(); });
}

// As a move of the trackbar by hand: a playback hears it at once, and the tooltip says where
// the key now is.
void MainWindow::MoveKey(int pos) {
    TrackbarSlider* slider = m_ui.Slider(Knob::Key);
    slider->setValue(std::clamp(pos, slider->minimum(), slider->maximum()));
    ReadTrackbars();
    slider->ShowTip();
}

// Suggest, the presets and the sound output above About, which stays the last entry.
void MainWindow::CreateWindowMenu() {
    m_windowMenu = new QMenu(this);
    m_windowMenu->addSeparator();
    m_windowMenu->addAction(QStringLiteral("Suggest settings for this song"), this,
                            &MainWindow::SuggestSettings);
    CreatePresetMenus();
    CreateSoundMenu();
    m_windowMenu->addAction(QCoreApplication::translate("Zerbex", kAboutMenuText), this,
                            &MainWindow::ShowAbout);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    RefreshPresetMenus();
    m_windowMenu->exec(event->globalPos());
}

// The pan value box shows "0" until the parameters are derived from the start positions.
void MainWindow::ShowStartPositions() {
    ShowPanValue();
    ShowMeter(IDB_METER_DARK);
    ShowAllIdleFaces();
    m_controls.params.mode = PlayMode::Mode2;
    ApplyAllTrackbars();
}

void MainWindow::ReadTrackbars() {
    m_positions.pan = m_ui.Slider(Knob::Pan)->sliderPosition();
    if (!ReadPanValue()) {
        return;
    }
    m_positions.low = m_ui.Slider(Knob::Low)->sliderPosition();
    m_positions.high = m_ui.Slider(Knob::High)->sliderPosition();
    m_controls.playPos = m_ui.Slider(Knob::PlayPos)->sliderPosition();
    m_positions.right = m_ui.Slider(Knob::Right)->sliderPosition();
    m_positions.left = m_ui.Slider(Knob::Left)->sliderPosition();
    m_positions.outputLevel = m_ui.Slider(Knob::OutputLevel)->sliderPosition();
    m_controls.loopStart = m_ui.Slider(Knob::LoopStart)->sliderPosition();
    m_controls.loopEnd = m_ui.Slider(Knob::LoopEnd)->sliderPosition();
    m_positions.key = m_ui.Slider(Knob::Key)->sliderPosition();
    m_positions.tempo = m_ui.Slider(Knob::Tempo)->sliderPosition();
    m_positions.focus = m_ui.Slider(Knob::Focus)->sliderPosition();
    m_controls.key = m_positions.key;
    m_controls.tempo = m_positions.tempo;
}

// False, with a message, when the box does not hold a pan value: the trackbars after it are
// then not read.
bool MainWindow::ReadPanValue() {
    bool parsed = false;
    const double value = m_ui.panValueEdit->text().trimmed().toDouble(&parsed);
    if (!parsed) {
        m_services.boxes.Tell(QStringLiteral("Please enter a number."), MessageIcon::Warning);
        return false;
    }
    m_panValue = static_cast<float>(value);
    if (m_panValue < kPanValueMin || m_panValue > kPanValueMax) {
        m_services.boxes.Tell(QStringLiteral("Please enter a number between %1 and %2.")
                                  .arg(kPanValueMin)
                                  .arg(kPanValueMax),
                              MessageIcon::Warning);
        return false;
    }
    return true;
}

void MainWindow::WriteTrackbars() {
    m_ui.Slider(Knob::Pan)->setValue(m_positions.pan);
    ShowPanValue();
    m_ui.Slider(Knob::Low)->setValue(m_positions.low);
    m_ui.Slider(Knob::High)->setValue(m_positions.high);
    m_ui.Slider(Knob::PlayPos)->setValue(m_controls.playPos);
    m_ui.Slider(Knob::Right)->setValue(m_positions.right);
    m_ui.Slider(Knob::Left)->setValue(m_positions.left);
    m_ui.Slider(Knob::OutputLevel)->setValue(m_positions.outputLevel);
    m_ui.Slider(Knob::LoopStart)->setValue(m_controls.loopStart);
    m_ui.Slider(Knob::LoopEnd)->setValue(m_controls.loopEnd);
    m_ui.Slider(Knob::Key)->setValue(m_positions.key);
    m_ui.Slider(Knob::Tempo)->setValue(m_positions.tempo);
    m_ui.Slider(Knob::Focus)->setValue(m_positions.focus);
}

void MainWindow::ShowPanValue() {
    m_ui.panValueEdit->setText(QString::number(m_panValue, 'g', 6));  // as printf's %g
}

// A released trackbar sets its own value only; the play position asks the playback to move.
void MainWindow::TrackbarReleased(Knob knob) {
    ReadTrackbars();
    ProcessingParameters& params = m_controls.params;
    switch (knob) {
        case Knob::Pan:
            ApplyPan();
            ShowPanValue();
            break;
        case Knob::Low:
            params.lowCutoff = LowCutoffFor(m_positions.low);
            if (m_inputSelected) {
                StartWaveform(false);  // the removed part's band moved
            }
            break;
        case Knob::High:
            params.highCutoff = HighCutoffFor(m_positions.high);
            if (m_inputSelected) {
                StartWaveform(false);
            }
            break;
        case Knob::Left:
            params.leftGain = ChannelGainFor(m_positions.left);
            break;
        case Knob::Right:
            params.rightGain = ChannelGainFor(m_positions.right);
            break;
        case Knob::OutputLevel:
            params.outputGain = OutputGainFor(m_positions.outputLevel);
            break;
        case Knob::Focus:
            params.focus = FocusFor(m_positions.focus);
            break;
        case Knob::PlayPos:
            // To the frame the tooltip named, which the playback's own position reports
            // cannot overwrite.
            m_controls.seekFrame = FrameOfStep(m_ui.Slider(Knob::PlayPos)->sliderPosition());
            m_controls.seek = 1;
            if (m_controls.seekFrame >= 0) {
                m_ui.waveform->SetPlayHead(m_controls.seekFrame);
            }
            break;
        case Knob::LoopStart:
        case Knob::LoopEnd:
        case Knob::Key:
        case Knob::Tempo:
            break;
    }
}

// Whichever horizontal trackbar moved, every value but the output gain follows the
// positions, so that a playback hears a drag as it happens.
void MainWindow::HorizontalTrackbarMoved() {
    ReadTrackbars();
    ApplyPan();
    ProcessingParameters& params = m_controls.params;
    params.leftGain = ChannelGainFor(m_positions.left);
    params.rightGain = ChannelGainFor(m_positions.right);
    params.highCutoff = HighCutoffFor(m_positions.high);
    params.lowCutoff = LowCutoffFor(m_positions.low);
    params.focus = FocusFor(m_positions.focus);
    ShowPanValue();
}

void MainWindow::OutputLevelMoved() {
    ReadTrackbars();
    m_controls.params.outputGain = OutputGainFor(m_positions.outputLevel);
}

// The pan value is only computed here; ShowPanValue puts it in the box. The pan aims the
// stereo mode too.
void MainWindow::ApplyPan() {
    const PanGains pan = PanMapping(m_positions.pan);
    m_controls.params.panGainL = pan.gainL;
    m_controls.params.panGainR = pan.gainR;
    m_controls.params.aim = AimFor(m_positions.pan);
    m_panValue = pan.panValue;
}

// Every value from the trackbars as read, and the trackbars back at the positions read.
void MainWindow::ApplyAllTrackbars() {
    ReadTrackbars();
    ApplyPositions(m_positions, m_controls.params);
    m_panValue = PanMapping(m_positions.pan).panValue;
    WriteTrackbars();
}

bool MainWindow::KeyReachedWindowItself(const QKeyEvent& event) const {
    // Alt combinations are menu keys, and the dialog keys move the focus, press the default
    // button or close the window before any key handler sees them.
    static const QList<int> kDialogKeys = {Qt::Key_Escape, Qt::Key_Return,  Qt::Key_Enter,
                                           Qt::Key_Tab,    Qt::Key_Backtab, Qt::Key_Up,
                                           Qt::Key_Down,   Qt::Key_Left,    Qt::Key_Right};
    if ((event.modifiers() & Qt::AltModifier) || kDialogKeys.contains(event.key())) {
        return false;
    }
    // A key typed into a control comes here only when the control passed it on.
    const QWidget* focus = focusWidget();
    return focus == nullptr || focus == this;
}

// A key that reaches the window itself shows the test boxes: one as it goes down,
// one for the character it types.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    const bool itself = KeyReachedWindowItself(*event);
    if (itself) {
        Tell(event->key() == Qt::Key_Space ? QStringLiteral("Test 0") : QStringLiteral("Test 1"));
    }
    QDialog::keyPressEvent(event);
    if (itself && !event->text().isEmpty()) {
        Tell(event->text().at(0) == QLatin1Char(' ') ? QStringLiteral("Test 2")
                                                     : QStringLiteral("Test 3"));
    }
}

void MainWindow::Tell(const QString& text) {
    m_services.boxes.Tell(text);
}

void MainWindow::ShowMeter(int bitmapId) {
    const QPixmap image = LoadBitmapResource(bitmapId, m_ui.meter->devicePixelRatioF());
    m_ui.meter->setPixmap(image);
    m_ui.meter->resize(image.deviceIndependentSize().toSize());
    m_meterImage = image.isNull() ? 0 : bitmapId;
}

bool MainWindow::Idle() const {
    return m_phase.Idle() && m_bridge.Workers().AllFinished();
}

void MainWindow::Message(const JobMessage& message) {
    m_bridge.Run([&] { Tell(WindowText(message)); });
}

QString MainWindow::WindowText(const JobMessage& message) {
    if (message.error == JobError::DeviceGone) {
        return DeviceGoneText(message.detail);
    }
    return QString::fromStdString(MessageText(message));
}

// A thumb the user holds stays under the pointer: were it moved, its release would ask for
// the position the playback told instead of the one its tooltip showed.
void MainWindow::Position(int step) {
    m_bridge.Run([&] {
        TrackbarSlider* slider = m_ui.Slider(Knob::PlayPos);
        if (!slider->isSliderDown()) {
            slider->setValue(step);
        }
    });
}

void MainWindow::Loop(int start, int end) {
    m_bridge.Run([&] {
        m_ui.Slider(Knob::LoopStart)->setValue(start);
        m_ui.Slider(Knob::LoopEnd)->setValue(end);
        ShowLoopOnWaveform();
    });
}

void MainWindow::Level(int segments) {
    m_latestLevel = std::clamp(segments, 0, 8);
    QueueLatest();
}

void MainWindow::Progress(double done) {
    m_latestDone = done;
    QueueLatest();
}

// Queued behind what the job told before, so that the end of a job shows after its last level.
void MainWindow::QueueLatest() {
    if (!m_latestQueued.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { ShowLatest(); }, Qt::QueuedConnection);
    }
}

void MainWindow::ShowLatest() {
    m_latestQueued = false;
    if (const int level = m_latestLevel.exchange(-1); level >= 0) {
        ShowMeter(kMeterBitmaps[level]);
    }
    if (const std::int64_t heard = m_latestHeard.exchange(-1); heard >= 0) {
        m_ui.waveform->SetPlayHead(heard);
    }
    if (const double done = m_latestDone.exchange(-1.0); done >= 0.0 && m_progress != nullptr) {
        m_progress->SetDone(done);
    }
}

void MainWindow::PlayedOut() {
    m_bridge.Run([this] { ResetPlayButtons(); });
}

void MainWindow::done(int result) {
    ShutDown();
    QDialog::done(result);
}

void MainWindow::ShutDown() {
    m_controls.stop = 1;
    if (m_services.audio != nullptr) {
        m_services.audio->Abort();
    }
    // The decoder never waits for this thread, so it ends at once, and with it a copy cut short.
    m_input.StopDecoding();
    m_scan.Stop();
    m_decodingTimer->stop();
    m_bridge.ShutDown();
}

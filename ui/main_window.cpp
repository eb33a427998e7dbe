#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <algorithm>
#include <array>

#include "res/resources.h"
#include "settings/job_messages.h"
#include "ui/bitmap_button.h"
#include "ui/job_progress.h"
#include "ui/play_buttons.h"
#include "ui/profile.h"
#include "ui/trackbar_slider.h"
#include "ui/trackbar_tips.h"
#include "ui/ui_language.h"
#include "ui/waveform_view.h"

namespace {

constexpr int kDecodingShownMs = 200;

constexpr char kDeviceGoneText[] =
    QT_TRANSLATE_NOOP("Zerbex", "声音设备“%1”不存在；将在默认设备上播放。");

// What a drag of a horizontal trackbar applies, whichever of them moved: every value but the
// output gain, so that a playback hears the drag as it happens.
constexpr std::initializer_list<Knob> kDragged = {Knob::Pan,  Knob::Left, Knob::Right,
                                                  Knob::High, Knob::Low,  Knob::Focus};
// Every trackbar; those of places in the file, the key and the tempo set no processing value.
constexpr auto kEveryKnob = [] {
    std::array<Knob, std::size(kKnobs)> knobs{};
    std::ranges::transform(kKnobs, knobs.begin(), &KnobRow::knob);
    return knobs;
}();

}  // namespace

MainWindow::MainWindow(UiServices services, QWidget* parent)
    : QWidget(parent),
      m_services(services),
      m_host(services.audio, services.devices),
      m_folder(QDir::currentPath()) {
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
    ConnectShortcuts();
    ConnectJobHost();
    ConnectWaveform();
    CreateWindowMenu();
    ShowMeter(IDB_METER_DARK);
    ShowIdle();
    Apply(kEveryKnob);
}

MainWindow::~MainWindow() {
    // The focus moves as the children go, after this object has stopped being a MainWindow.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    ShutDown();
}

void MainWindow::SetUpTrackbars() {
    for (const KnobRow& row : kKnobs) {
        TrackbarSlider* slider = m_ui.Slider(row.knob);
        slider->SetUp(row);
        slider->SetTip([this, knob = row.knob](int pos) {
            return TrackbarTip(knob, pos, m_host.Input().Length());
        });
        connect(slider, &TrackbarSlider::released, this,
                [this, knob = row.knob] { TrackbarReleased(knob); });
        // Mouse drags, channel clicks, the wheel and the keyboard all arrive as actions; moves
        // made by the program do not.
        const bool horizontal = slider->orientation() == Qt::Horizontal;
        connect(slider, &QAbstractSlider::actionTriggered, this,
                [this, horizontal] { horizontal ? Apply(kDragged) : Apply({Knob::OutputLevel}); });
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
    connect(m_ui.exitButton, &QPushButton::clicked, this, &QWidget::close);
    for (const PlayButton& play : kPlayButtons) {
        connect(m_ui.*play.button, &QPushButton::clicked, this, [this, mode = play.mode] {
            if (!m_host.Play(mode)) {
                Tell(QStringLiteral("You need to select an input file first!"));
            }
        });
    }
    // The typed path is read when the write command runs; a change publishes the positions.
    connect(m_ui.outputPathEdit, &QLineEdit::textChanged, this, &MainWindow::PublishPositions);
    // A name the user types is this input's output.
    connect(m_ui.outputPathEdit, &QLineEdit::textEdited, this,
            [this] { m_outputFor = m_host.HasInput() ? m_host.InputPath() : QString(); });
    KeepCheck(m_ui.writeVocalsCheck, QStringLiteral("Vocals"),
              QT_TRANSLATE_NOOP("Zerbex", "无法将“同时写人声”的选择保存到 %1。"));
    KeepCheck(m_ui.matchLoudnessCheck, QStringLiteral("Loudness"),
              QT_TRANSLATE_NOOP("Zerbex", "无法将“匹配响度”的选择保存到 %1。"));
    // A playback started from now on matches the loudness too.
    const auto matchLoudness = [this](bool on) {
        m_host.Controls().play.Change([on](PlaySettings& play) { play.matchLoudness = on; });
    };
    matchLoudness(m_ui.matchLoudnessCheck->isChecked());
    connect(m_ui.matchLoudnessCheck, &QCheckBox::toggled, this, matchLoudness);
}

void MainWindow::ConnectJobHost() {
    connect(&m_host, &JobHost::told, this, &MainWindow::TellJob);
    // The play command read the trackbars: the pan and focus always, the cut-offs where the
    // mode's button computes them.
    connect(&m_host, &JobHost::playStarting, this, [this](PlayMode mode) {
        Apply({Knob::Pan, Knob::Focus});
        if (ButtonFor(mode).computesCutoffs) {
            Apply({Knob::Low, Knob::High});
        }
    });
    connect(&m_host, &JobHost::playing, this, &MainWindow::ShowPlaying);
    connect(&m_host, &JobHost::playedOut, this, &MainWindow::ShowIdle);
    connect(&m_host, &JobHost::playEnded, this, [this] {
        ShowIdle();
        ShowMeter(IDB_METER_DARK);
    });
    // A thumb the user holds stays under the pointer: were it moved, its release would ask for
    // the position the playback told instead of the one its tooltip showed.
    connect(&m_host, &JobHost::positionMoved, this, [this](int step) {
        if (!m_ui.Slider(Knob::PlayPos)->isSliderDown()) {
            m_ui.Slider(Knob::PlayPos)->setValue(step);
        }
    });
    connect(&m_host, &JobHost::loopMoved, this, [this](int start, int end) {
        m_ui.Slider(Knob::LoopStart)->setValue(start);
        m_ui.Slider(Knob::LoopEnd)->setValue(end);
        // The playback plays this loop already; the next one starts with it too.
        m_host.Controls().play.Change([&](PlaySettings& play) {
            play.loopStart = start;
            play.loopEnd = end;
        });
        ShowLoopOnWaveform();
    });
    connect(&m_host, &JobHost::levelMoved, this,
            [this](int segments) { ShowMeter(kMeterBitmaps[segments]); });
    connect(&m_host, &JobHost::frameHeard, m_ui.waveform, &WaveformView::SetPlayHead);
    connect(&m_host, &JobHost::progressed, this, [this](double done) {
        if (m_progress != nullptr) {
            m_progress->SetDone(done);
        }
    });
}

// Suggest, the presets and the sound output above About, which stays the last entry.
void MainWindow::CreateWindowMenu() {
    m_windowMenu = new QMenu(this);
    m_windowMenu->addSeparator();
    m_windowMenu->addAction(QStringLiteral("Suggest settings for this song"), this,
                            &MainWindow::SuggestSettings);
    CreatePresetMenus();
    CreateSoundMenu();
    m_windowMenu->addAction(Tr(kAboutMenuText), this, &MainWindow::ShowAbout);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    RefreshPresetMenus();
    m_windowMenu->exec(event->globalPos());
}

int MainWindow::Pos(Knob knob) const {
    return m_ui.Slider(knob)->sliderPosition();
}

void MainWindow::PublishPositions() {
    m_host.Controls().play.Change([this](PlaySettings& play) {
        play.playPos = Pos(Knob::PlayPos);
        play.loopStart = Pos(Knob::LoopStart);
        play.loopEnd = Pos(Knob::LoopEnd);
        play.key = Pos(Knob::Key);
        play.tempo = Pos(Knob::Tempo);
    });
}

void MainWindow::Apply(std::span<const Knob> knobs) {
    PublishPositions();
    m_host.Controls().settings.Change([&](ProcessingParameters& params) {
        for (const Knob knob : knobs) {
            ApplyKnob(knob, Pos(knob), params);
        }
    });
}

// A released trackbar sets its own value only; the play position asks the playback to move.
void MainWindow::TrackbarReleased(Knob knob) {
    Apply({knob});
    if ((knob == Knob::Low || knob == Knob::High) && m_host.HasInput()) {
        StartWaveform(false);  // the removed part's band moved
    }
    if (knob == Knob::PlayPos) {
        // To the frame the tooltip named, which the playback's own position reports cannot
        // overwrite.
        PlayControls& controls = m_host.Controls();
        controls.seekFrame = FrameOfStep(Pos(Knob::PlayPos));
        controls.seek = 1;
        if (controls.seekFrame >= 0) {
            m_ui.waveform->SetPlayHead(controls.seekFrame);
        }
    }
}

void MainWindow::MoveTrackbars(const Positions& positions, std::initializer_list<Knob> knobs) {
    for (const Knob knob : knobs) {
        m_ui.Slider(knob)->setValue(PositionOf(positions, knob));
    }
    Apply(kEveryKnob);
}

void MainWindow::ShowPlaying(PlayMode mode) {
    ShowIdle();
    const PlayButton& play = ButtonFor(mode);
    BitmapButton* button = m_ui.*play.button;
    button->ShowStopText();
    button->SetImage(play.stopFace);
}

// The buttons go idle and the trackbars are read, as when a playback ends.
void MainWindow::ShowIdle() {
    for (const PlayButton& play : kPlayButtons) {
        (m_ui.*play.button)->SetImage(play.idleFace);
        (m_ui.*play.button)->ShowCaption();
    }
    PublishPositions();
}

void MainWindow::ShowMeter(int bitmapId) {
    const QPixmap image = LoadBitmapResource(bitmapId, m_ui.meter->devicePixelRatioF());
    m_ui.meter->setPixmap(image);
    m_ui.meter->resize(image.deviceIndependentSize().toSize());
    m_meterImage = image.isNull() ? 0 : bitmapId;
}

// The message text, or the window's own in its language where there is none.
void MainWindow::TellJob(const JobMessage& message) {
    Tell(message.error == JobError::DeviceGone
             ? Tr(kDeviceGoneText).arg(QString::fromStdString(message.detail))
             : QString::fromStdString(MessageText(message)));
}

void MainWindow::KeepInProfile(const QString& section, const QString& entry, const QString& value,
                               const char* notKeptText) {
    if (!m_services.profile.WriteString(section, entry, value)) {
        Warn(Tr(notKeptText).arg(m_services.profile.Path()));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    ShutDown();
    event->accept();
}

void MainWindow::ShutDown() {
    m_scan.Stop();
    m_decodingTimer->stop();
    m_host.ShutDown();
}

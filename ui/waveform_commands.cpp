// The waveform and the values beside the trackbars. The waveform's envelope is computed on
// the scan's thread while the input is decoded; each batch is shown on the window's thread. A
// click moves the playback to the frame clicked, a drag sets the loop to the frame; the loop
// trackbars then show the nearest steps, and moving one of them puts the loop in steps again.

#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <cmath>

#include "ui/main_window.h"
#include "ui/trackbar_slider.h"
#include "ui/ui_language.h"
#include "ui/waveform_view.h"

namespace {

constexpr std::int64_t kFrameBytes = 4;

}  // namespace

void MainWindow::ConnectWaveform() {
    WaveformView* view = m_ui.waveform;
    connect(view, &WaveformView::seekRequested, this, &MainWindow::SeekToFrame);
    connect(view, &WaveformView::loopRequested, this, &MainWindow::SetLoopFrames);
    // A loop trackbar moved: the loop is in steps again.
    for (const Knob knob : {Knob::LoopStart, Knob::LoopEnd}) {
        connect(m_ui.Slider(knob), &QAbstractSlider::actionTriggered, this, [this] {
            m_host.Controls().play.Change([](PlaySettings& play) {
                play.loopStartFrame = -1;
                play.loopEndFrame = -1;
            });
            ShowLoopOnWaveform();
        });
    }
    for (const Knob knob : {Knob::Key, Knob::Tempo, Knob::Focus}) {
        connect(m_ui.Slider(knob), &QAbstractSlider::valueChanged, this, &MainWindow::ShowValues);
    }
    ShowValues();
}

void MainWindow::StartWaveform(bool newSong) {
    if (newSong) {
        m_ui.waveform->Clear();
    }
    const QPointer<WaveformView> view = m_ui.waveform;
    // What the last song's scan queued before it stopped is not this song's.
    const int song = ++m_waveformSong;
    m_scan.Start(m_host.Input(), LowCutoffFor(Pos(Knob::Low)), HighCutoffFor(Pos(Knob::High)),
                 [this, view, song](EnvelopeBatch batch) {
                     QMetaObject::invokeMethod(
                         view,
                         [this, song, batch = std::move(batch)] {
                             if (song == m_waveformSong) {
                                 ShowEnvelope(batch);
                             }
                         },
                         Qt::QueuedConnection);
                 });
}

void MainWindow::ShowEnvelope(const EnvelopeBatch& batch) {
    m_ui.waveform->SetLength(batch.totalFrames, batch.rate);
    m_ui.waveform->AddEnvelope(batch.firstBucket, batch.buckets);
    ShowLoopOnWaveform();
}

std::int64_t MainWindow::FrameOfStep(int step) const {
    const WaveLength length = m_host.Input().Length();
    return length.Known() ? PositionBytes(step, length.dataBytes / kPositionSteps) / kFrameBytes
                          : -1;
}

int MainWindow::StepOfFrame(std::int64_t frame) const {
    const std::uint64_t step = m_host.Input().Length().dataBytes / kPositionSteps;
    if (step == 0) {
        return 0;
    }
    const double steps = static_cast<double>(frame * kFrameBytes) / static_cast<double>(step);
    return std::clamp(static_cast<int>(std::lround(steps)), 0, RowOf(Knob::PlayPos).max);
}

// The playback moves there at once; an idle one starts there when it lies inside the loop.
void MainWindow::SeekToFrame(qint64 frame) {
    m_ui.waveform->SetPlayHead(frame);
    m_ui.Slider(Knob::PlayPos)->setValue(StepOfFrame(frame));
    PublishPositions();
    PlayControls& controls = m_host.Controls();
    controls.seekFrame = frame;
    controls.seek = 1;
}

void MainWindow::SetLoopFrames(qint64 start, qint64 end) {
    m_ui.Slider(Knob::LoopStart)->setValue(StepOfFrame(start));
    m_ui.Slider(Knob::LoopEnd)->setValue(StepOfFrame(end));
    m_host.Controls().play.Change([&](PlaySettings& play) {
        play.loopStartFrame = start;
        play.loopEndFrame = end;
        play.loopStart = m_ui.Slider(Knob::LoopStart)->value();
        play.loopEnd = m_ui.Slider(Knob::LoopEnd)->value();
    });
    ShowLoopOnWaveform();
}

void MainWindow::ShowLoopOnWaveform() {
    // A loop set to the frame on the waveform, else the loop trackbars' steps.
    const PlaySettings play = m_host.Controls().play.Read();
    if (play.loopStartFrame >= 0 && play.loopEndFrame > play.loopStartFrame) {
        m_ui.waveform->SetLoop(play.loopStartFrame, play.loopEndFrame);
        return;
    }
    m_ui.waveform->SetLoop(std::max<std::int64_t>(0, FrameOfStep(Pos(Knob::LoopStart))),
                           std::max<std::int64_t>(0, FrameOfStep(Pos(Knob::LoopEnd))));
}

void MainWindow::ShowValues() {
    const int key = Pos(Knob::Key);
    const double semitones = static_cast<double>(key) / RowOf(Knob::Key).perUnit;
    m_ui.keyValue->setText(Tr(QT_TRANSLATE_NOOP("Zerbex", "%1 半音"))
                               .arg(QStringLiteral("%1%2")
                                        .arg(key > 0 ? QStringLiteral("+") : QString())
                                        .arg(semitones, 0, 'f', 1)));
    m_ui.tempoValue->setText(QStringLiteral("%1 %").arg(Pos(Knob::Tempo)));
    m_ui.focusValue->setText(QString::number(Pos(Knob::Focus)));
}

// The eight play buttons: each starts playback in its mode, switches a running playback to
// its mode, or stops the playback that runs in its mode. A playback runs on a worker thread;
// its end is handled on the window's thread, in order with the user's commands, and unless
// the user stopped it, a playback that reached the end of its data starts again.

#include <QMetaObject>

#include "playback/audio_out.h"
#include "ui/bitmap_button.h"
#include "ui/main_window.h"
#include "ui/play_buttons.h"

void MainWindow::PlayCommand(PlayMode mode) {
    if (m_phase.Phase() == JobPhase::Writing) {
        return;
    }
    if (m_phase.Idle()) {
        StartPlayback(mode);
        return;
    }
    if (m_controls.params.mode != mode) {
        // Switch: the running job plays the new mode from its next frame on. The stop
        // request is left alone, so the job never sees a stop that is taken back.
        m_controls.params.mode = mode;
        m_chosenMode = mode;
        ResetPlayButtons();
        ShowStopFace(mode);
        return;
    }
    // Stop: the job ends at its next check of the stop request, and does not start again.
    m_controls.stop = 1;
}

// Runs on the window's thread only, so two starts never overlap.
void MainWindow::StartPlayback(PlayMode mode) {
    m_controls.stop = 0;
    if (!m_inputSelected) {
        m_phase.PlaybackStopped();
        Tell(QStringLiteral("You need to select an input file first!"));
        return;
    }
    // A playback that starts again at the end of its data stays on its device.
    if (m_phase.Phase() != JobPhase::RestartPending) {
        UseChosenDevice();
    }
    ReadTrackbars();
    ApplyPan();
    m_controls.params.focus = FocusFor(m_positions.focus);  // the stereo mode's alone
    if (ButtonFor(mode).computesCutoffs) {
        m_controls.params.lowCutoff = LowCutoffFor(m_positions.low);
        m_controls.params.highCutoff = HighCutoffFor(m_positions.high);
    }
    ShowStopFace(mode);
    m_controls.params.mode = mode;
    m_chosenMode = mode;
    m_phase.PlaybackStarted();
    const bool started = m_bridge.Workers().Start([this] {
        const PlayResult result = PlayInput();
        QMetaObject::invokeMethod(
            this, [this, result] { PlaybackEnded(result); }, Qt::QueuedConnection);
    });
    if (!started) {
        // Closing, or no thread to be had: nothing plays.
        m_controls.params.mode = PlayMode::Mode2;
        ShowAllIdleFaces();
        m_phase.PlaybackStopped();
    }
}

// On the worker.
PlayResult MainWindow::PlayInput() {
    if (const std::optional<JobMessage> refusal = m_input.Refusal()) {
        Message(*refusal);
        return {JobResult::Refused, 0};
    }
    if (m_services.audio == nullptr) {
        Message({JobError::NoDevice});
        return {JobResult::Refused, 0};
    }
    return m_runner.Play(m_input, m_controls, *m_services.audio, *this);
}

void MainWindow::PlaybackEnded(PlayResult result) {
    ResetPlayButtons();
    ShowMeter(IDB_METER_DARK);
    // A file with no sample data to play would otherwise start again without end.
    const bool restart = result.result == JobResult::Done && result.bytesPlayed > 0 &&
                         m_controls.stop == 0 && !m_bridge.Workers().Closed();
    if (!restart) {
        m_controls.params.mode = PlayMode::Mode2;
        m_phase.PlaybackStopped();
        return;
    }
    // The same mode again, as the user's click would start it.
    m_phase.PlaybackRestarting();
    StartPlayback(m_controls.params.mode);
}

void MainWindow::ShowStopFace(PlayMode mode) {
    const PlayButton& play = ButtonFor(mode);
    BitmapButton* button = m_ui.*play.button;
    button->ShowStopText();
    button->SetImage(play.stopFace);
}

void MainWindow::ShowAllIdleFaces() {
    for (const PlayButton& play : kPlayButtons) {
        (m_ui.*play.button)->SetImage(play.idleFace);
        (m_ui.*play.button)->ShowCaption();
    }
}

// The buttons go idle and the trackbars are read, as when a playback ends.
void MainWindow::ResetPlayButtons() {
    ShowAllIdleFaces();
    ReadTrackbars();
}

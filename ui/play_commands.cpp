// The seven play buttons: each starts playback in its mode, switches a running playback
// to its mode, or stops the playback that runs in its mode. A playback job runs on a worker
// thread; when it ends, the same thread puts the window back to idle and, unless the user
// stopped it, has the same mode started again.

#include <QCoreApplication>
#include <QMetaObject>

#include "main_dialog.h"
#include "parameters.h"
#include "play_buttons.h"
#include "resource_ids.h"
#include "wave_job.h"
#include "window_state.h"

void MainDialog::OnPlayMode2() {
    OnPlayCommand(PlayMode::Mode2);
}
void MainDialog::OnPlayMode1() {
    OnPlayCommand(PlayMode::Mode1);
}
void MainDialog::OnPlayOriginal() {
    OnPlayCommand(PlayMode::Original);
}
void MainDialog::OnLow() {
    OnPlayCommand(PlayMode::Low);
}
void MainDialog::OnHigh() {
    OnPlayCommand(PlayMode::High);
}
void MainDialog::OnLeft() {
    OnPlayCommand(PlayMode::Left);
}
void MainDialog::OnRight() {
    OnPlayCommand(PlayMode::Right);
}

void MainDialog::OnPlayCommand(PlayMode mode) {
    if (m_phase.Phase() == JobPhase::Writing) {
        return;
    }
    if (m_phase.Idle()) {
        StartPlayback(mode);
        return;
    }
    if (AnotherModeIsCurrent(mode)) {
        // Switch: the running job processes the new mode from its next frame on. The stop
        // request is left alone, so the job never sees a stop that is taken back.
        SetModeFlags(mode);
        ResetPlayButtons();
        ShowStopFace(mode);
        return;
    }
    // Stop: the job ends at its next check of the stop request.
    m_state.m_bStopRequest = 1;
    m_state.m_bNoRestart = 1;
}

bool MainDialog::AnotherModeIsCurrent(PlayMode mode) const {
    for (const ModeFlag& entry : kPlayModes) {
        if (entry.mode != mode && (m_state.*entry.flag) != 0) {
            return true;
        }
    }
    return false;
}

void MainDialog::SetModeFlags(PlayMode mode) {
    // The new flag is set before the old one is cleared: a job that reads the flags in
    // between sees two set and takes the first in its own order, never none (which would
    // be mode 2 for a moment). Mode 2 has no flag the job reads, so clearing suffices.
    FlagOf(m_state, mode) = 1;
    for (const ModeFlag& entry : kPlayModes) {
        if (entry.mode != mode) {
            m_state.*entry.flag = 0;
        }
    }
}

void MainDialog::ClearModeFlags() {
    for (const ModeFlag& entry : kPlayModes) {
        m_state.*entry.flag = 0;
    }
}

void MainDialog::ShowStopFace(PlayMode mode) {
    const PlayButton& command = ButtonFor(mode);
    SetDlgItemText(command.buttonId, QStringLiteral("Stop"));
    ShowButtonFace(command.buttonId, command.stopFace);
}

// Runs on the user-interface thread only, so two starts never overlap.
void MainDialog::StartPlayback(PlayMode mode) {
    m_state.m_bStopRequest = 0;
    if (!m_state.m_bInputSelected) {
        m_phase.PlaybackStopped();
        MessageBox(QStringLiteral("You need to select an input file first!"));
        return;
    }
    UpdateData(true);
    ApplyPanGains(m_state);
    if (ButtonFor(mode).computesCutoffs) {
        m_state.m_nLowCutoff = LowCutoffFor(m_state.m_nLowSlider);
        m_state.m_nHighCutoff = HighCutoffFor(m_state.m_nHighSlider);
    }
    m_state.m_bPlaying = 1;
    ShowStopFace(mode);
    SetModeFlags(mode);
    m_phase.PlaybackStarted();
    if (!m_bridge.Workers().Start([this] { PlayThreadProc(); })) {
        // Closing, or no thread to be had: nothing plays.
        m_state.m_bPlaying = 0;
        ClearModeFlags();
        ShowAllIdleFaces();
        m_phase.PlaybackStopped();
    }
}

void MainDialog::PlayThreadProc() {
    JobContext context{*this, m_services.audio};
    PlayInputFile(context, m_input);
    OnPlayFinished(context.dataBytesPlayed > 0);
}

// Runs on the worker whose job has just ended. Everything it asks of the window happens
// before it clears m_bPlaying; whether the mode starts again is decided on the window's
// thread, in order with the user's commands.
void MainDialog::OnPlayFinished(bool playedSomething) {
    ResetPlayButtons();
    ShowMeter(IDB_METER_DARK);
    m_state.m_bPlaying = 0;
    QMetaObject::invokeMethod(
        this, [this, playedSomething] { OnPlaybackEnded(playedSomething); }, Qt::QueuedConnection);
}

void MainDialog::OnPlaybackEnded(bool playedSomething) {
    // A file with no sample data to play would otherwise start again without end.
    const bool restart =
        m_state.m_bNoRestart == 0 && playedSomething && !m_bridge.Workers().Closed();
    if (!restart) {
        m_state.m_bNoRestart = 0;
        ClearModeFlags();
        m_phase.PlaybackStopped();
        return;
    }
    // The window starts the same mode again, as the user's click would.
    m_phase.PlaybackRestarting();
    StartPlayback(CurrentProcessingMode(m_state));
}

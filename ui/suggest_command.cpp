#include <QApplication>
#include <QMenu>

#include "main_dialog.h"
#include "slider_ctrl.h"
#include "suggest_settings.h"
#include "wave_excerpts.h"
#include "wave_job.h"

// Above About, which stays the menu's last entry.
void MainDialog::AppendSuggestEntry() {
    auto* suggest = new QAction(QStringLiteral("Suggest settings for this song"), m_systemMenu);
    const QList<QAction*> actions = m_systemMenu->actions();
    m_systemMenu->insertAction(actions.isEmpty() ? nullptr : actions.back(), suggest);
    connect(suggest, &QAction::triggered, this, [this] { OnSuggestSettings(); });
}

void MainDialog::OnSuggestSettings() {
    if (!m_state.m_bInputSelected) {
        MessageBox(QStringLiteral("You need to select an input file first!"));
        return;
    }
    // A fraction of a second whatever the song's length: a few excerpts are read and tried.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const WaveExcerpts excerpts =
        ReadWaveExcerpts(m_input.EnginePath(), SuggestExcerptStarts, kSuggestExcerptFrames);
    TrackbarPositions p;
    if (excerpts.status == ExcerptStatus::Ok) {
        p = SuggestSettings(
            std::vector<StereoFrames>(excerpts.frames.begin(), excerpts.frames.end()));
    }
    QApplication::restoreOverrideCursor();
    if (excerpts.status != ExcerptStatus::Ok) {
        ShowMessage(ExcerptMessage(excerpts.status));
        return;
    }
    // Through the trackbars, so that a playback hears the new settings from its next frame.
    m_sliderPan->SetPos(p.pan);
    m_sliderLow->SetPos(p.low);
    m_sliderHigh->SetPos(p.high);
    m_sliderLeft->SetPos(p.left);
    m_sliderRight->SetPos(p.right);
    UpdateParameters();
}

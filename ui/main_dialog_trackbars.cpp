// The trackbar handlers and the keys that reach the window itself.

#include <QKeyEvent>
#include <QLineEdit>

#include "main_dialog.h"
#include "parameters.h"
#include "resource_ids.h"
#include "slider_ctrl.h"
#include "trackbar_tips.h"
#include "window_builder.h"

void MainDialog::OnReleasedCapturePan() {
    UpdateData(true);
    ApplyPanMapping(m_state);
    UpdateData(false);
}

void MainDialog::OnReleasedCaptureLow() {
    UpdateData(true);
    m_state.m_nLowCutoff = LowCutoffFor(m_state.m_nLowSlider);
}

void MainDialog::OnReleasedCaptureHigh() {
    UpdateData(true);
    m_state.m_nHighCutoff = HighCutoffFor(m_state.m_nHighSlider);
}

void MainDialog::OnReleasedCaptureLeft() {
    UpdateData(true);
    m_state.m_fLeftGain = ChannelGainFor(m_state.m_nLeftSlider);
}

void MainDialog::OnReleasedCaptureRight() {
    UpdateData(true);
    m_state.m_fRightGain = ChannelGainFor(m_state.m_nRightSlider);
}

void MainDialog::OnReleasedCaptureOutputLevel() {
    UpdateData(true);
    m_state.m_fOutputGain = OutputGainFor(m_state.m_nOutputLevel);
}

void MainDialog::OnReleasedCapturePlayPos() {
    UpdateData(true);
    m_state.m_bSeekRequest = 1;
}

void MainDialog::OnReleasedCaptureLoop() {
    UpdateData(true);
}

// Whichever horizontal trackbar moved, every derived value but the output gain follows the
// current positions.
void MainDialog::OnHScroll() {
    UpdateData(true);
    ApplyPanMapping(m_state);
    m_state.m_fLeftGain = ChannelGainFor(m_state.m_nLeftSlider);
    m_state.m_fRightGain = ChannelGainFor(m_state.m_nRightSlider);
    m_state.m_nHighCutoff = HighCutoffFor(m_state.m_nHighSlider);
    m_state.m_nLowCutoff = LowCutoffFor(m_state.m_nLowSlider);
    UpdateData(false);
}

void MainDialog::OnVScroll() {
    UpdateData(true);
    m_state.m_fOutputGain = OutputGainFor(m_state.m_nOutputLevel);
    UpdateData(false);
}

void MainDialog::OnKeyDown(int nChar) {
    MessageBox(nChar == 0x20 ? QStringLiteral("Test 0") : QStringLiteral("Test 1"));
}

void MainDialog::OnChar(int nChar) {
    MessageBox(nChar == 0x20 ? QStringLiteral("Test 2") : QStringLiteral("Test 3"));
}

bool MainDialog::KeyReachedWindowItself(const QKeyEvent& event) const {
    // Alt combinations are menu keys, and the dialog keys below move the focus, press the
    // default button or close the window before any key handler sees them.
    if (event.modifiers() & Qt::AltModifier) {
        return false;
    }
    switch (event.key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            return false;
        default:
            break;
    }
    // A key typed into a control comes here only when the control passed it on.
    const QWidget* focus = focusWidget();
    return focus == nullptr || focus == this;
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    const bool itself = KeyReachedWindowItself(*event);
    if (itself) {
        OnKeyDown(event->key());
    }
    QDialog::keyPressEvent(event);
    if (itself && !event->text().isEmpty()) {
        OnChar(event->text().at(0).unicode());
    }
}

void MainDialog::AttachTrackbarTips() {
    for (SliderCtrl* slider :
         {m_sliderPan, m_sliderLow, m_sliderHigh, m_sliderLeft, m_sliderRight, m_sliderOutputLevel,
          m_sliderPlayPos, m_sliderLoopStart, m_sliderLoopEnd}) {
        const int id = slider->property(kControlIdProperty).toInt();
        slider->SetTip([this, id](int pos) { return TrackbarTipText(id, pos, m_inputLength); });
    }
}

// The template's box is disabled, which greys its text out; read-only with the read-only
// background keeps it as unchangeable, leaves the path legible and lets it be copied.
void MainDialog::MakeInputPathReadable() {
    auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(IDC_INPUT_PATH));
    edit->setEnabled(true);
    edit->setReadOnly(true);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

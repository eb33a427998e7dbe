// What users rely on from the keyboard and the mouse beyond what each control does itself:
// About on F1 and Ctrl+?, the key in semitones with Ctrl and the arrows, Ctrl+0 for the
// original key and tempo, Return for Play Zerbex 2, Escape to close, the test boxes of a key
// that reaches the window itself, and a file dropped anywhere as the input.

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QList>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>

#include "ui/bitmap_button.h"
#include "ui/main_window.h"
#include "ui/trackbar_slider.h"

namespace {

// Local files among what is dragged or dropped, in their order.
QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data != nullptr ? data->urls() : QList<QUrl>()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

}  // namespace

void MainWindow::ConnectShortcuts() {
    const auto bind = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    // Where a Linux desktop user looks for About.
    bind(QKeySequence(QKeySequence::HelpContents), [this] { ShowAbout(); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_Question), [this] { ShowAbout(); });
    // A semitone up or down, and back to the original key and tempo, from anywhere.
    constexpr int semitone = RowOf(Knob::Key).perUnit;
    bind(QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { MoveKey(Pos(Knob::Key) + semitone); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { MoveKey(Pos(Knob::Key) - semitone); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_0), [this] {
        m_ui.Slider(Knob::Tempo)->setValue(RowOf(Knob::Tempo).start);
        MoveKey(RowOf(Knob::Key).start);
    });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { DefaultButtonFollowsFocus(now); });
}

// As a move of the trackbar by hand: a playback hears it at once, and the tooltip says where
// the key now is.
void MainWindow::MoveKey(int pos) {
    TrackbarSlider* slider = m_ui.Slider(Knob::Key);
    slider->setValue(std::clamp(pos, slider->minimum(), slider->maximum()));
    PublishPositions();
    slider->ShowTip();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (!EnterOrEscape(event)) {
        KeysShowTestBoxes(event);
    }
}

// A key that reaches the window itself shows the test boxes: one as it goes down, one for the
// character it types.
void MainWindow::KeysShowTestBoxes(QKeyEvent* event) {
    // Alt combinations are menu keys, and the window's own keys move the focus, press the
    // default button or close the window before any key handler sees them.
    static const QList<int> kWindowKeys = {Qt::Key_Escape, Qt::Key_Return,  Qt::Key_Enter,
                                           Qt::Key_Tab,    Qt::Key_Backtab, Qt::Key_Up,
                                           Qt::Key_Down,   Qt::Key_Left,    Qt::Key_Right};
    // A key typed into a control comes here only when the control passed it on.
    const QWidget* focus = focusWidget();
    if ((event->modifiers() & Qt::AltModifier) || kWindowKeys.contains(event->key()) ||
        (focus != nullptr && focus != this)) {
        event->ignore();
        return;
    }
    Tell(event->key() == Qt::Key_Space ? QStringLiteral("Test 0") : QStringLiteral("Test 1"));
    if (!event->text().isEmpty()) {
        Tell(event->text().at(0) == QLatin1Char(' ') ? QStringLiteral("Test 2")
                                                     : QStringLiteral("Test 3"));
    }
}

// A focused button takes Return and Enter itself; they reach the window from other controls.
bool MainWindow::EnterOrEscape(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        close();
        return true;
    }
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // Only a button that shows is pressed, as a hidden window has none.
        if (!m_ui.playMode2Button->isVisible()) {
            event->ignore();
        } else if (m_ui.playMode2Button->isEnabled()) {
            m_ui.playMode2Button->click();
        }
        return true;
    }
    return false;
}

// As a dialog marks its default button: the focused button is the one Return presses.
void MainWindow::DefaultButtonFollowsFocus(QWidget* now) {
    auto* button = qobject_cast<QPushButton*>(now);
    const bool another = button != nullptr && button != m_ui.playMode2Button &&
                         button->window() == this && button->autoDefault();
    m_ui.playMode2Button->setDefault(!another);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        DropFiles(paths);
    }
}

void MainWindow::DropFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    if (m_host.Phase() != JobPhase::Idle) {
        Tell(QStringLiteral("Please stop playing audio first!"));
        return;
    }
    SelectInputFile(paths.first());
}

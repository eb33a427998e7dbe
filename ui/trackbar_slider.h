#pragma once

#include <QSlider>
#include <functional>

struct KnobRow;

// A trackbar. Besides QSlider's signals it reports when a mouse press on it ends, whether
// the press dragged the thumb or stepped along the channel, and it shows its value as a
// tooltip.
class TrackbarSlider : public QSlider {
    Q_OBJECT

  public:
    using QSlider::QSlider;

    // The range and start position the knob's table row gives; a page is a fifth of the range.
    // A knob of several positions a unit (the key's tenths of a semitone) moves by whole units,
    // and by single positions with Shift held. A double-click puts it back at its start
    // position, as does Home on the key, tempo and focus, whose start lies inside their range.
    void SetUp(const KnobRow& row);
    // What the tooltip says for a position; shown while the trackbar is hovered or dragged
    // and when a key moves it.
    void SetTip(std::function<QString(int)> tip) { m_tip = std::move(tip); }
    void ShowTip();

  signals:
    void released();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void SnapToUnit(int action);
    // To the start position as a move by the user: the window hears it as one.
    void BackToStart();

    bool m_captured = false;
    int m_perUnit = 1;
    int m_start = 0;
    bool m_homeIsStart = false;
    std::function<QString(int)> m_tip;
};

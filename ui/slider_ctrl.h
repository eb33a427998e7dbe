#pragma once

#include <QSlider>
#include <functional>

// A trackbar. Besides QSlider's signals it reports when a mouse press on it ends, whether
// the press dragged the thumb or stepped along the channel.
class SliderCtrl : public QSlider {
    Q_OBJECT

  public:
    using QSlider::QSlider;

    // The thumb's position, also while it is being dragged.
    int GetPos() const { return sliderPosition(); }
    void SetPos(int pos) { setValue(pos); }
    // What the tooltip says for a position; shown while the trackbar is hovered or dragged
    // and when a key moves it.
    void SetTip(std::function<QString(int)> tip) { m_tip = std::move(tip); }
    void ShowTip();

  signals:
    void releasedCapture();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool m_captured = false;
    std::function<QString(int)> m_tip;
};

#pragma once

#include <QSlider>

// A trackbar. Besides QSlider's signals it reports when a mouse press on it ends, whether
// the press dragged the thumb or stepped along the channel.
class SliderCtrl : public QSlider {
    Q_OBJECT

  public:
    using QSlider::QSlider;

    // The thumb's position, also while it is being dragged.
    int GetPos() const { return sliderPosition(); }
    void SetPos(int pos) { setValue(pos); }

  signals:
    void releasedCapture();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool m_captured = false;
};

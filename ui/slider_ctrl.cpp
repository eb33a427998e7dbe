#include "slider_ctrl.h"

#include <QMouseEvent>

void SliderCtrl::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled()) {
        m_captured = true;
    }
}

void SliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_captured) {
        m_captured = false;
        emit releasedCapture();
    }
}

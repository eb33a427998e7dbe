#include "slider_ctrl.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

void SliderCtrl::ShowTip() {
    if (!m_tip) {
        return;
    }
    // Just below the thumb, where neither the pointer nor the thumb hides it.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect thumb =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    QToolTip::showText(mapToGlobal(thumb.bottomLeft()), m_tip(GetPos()), this);
}

bool SliderCtrl::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && m_tip) {
        ShowTip();
        return true;
    }
    return QSlider::event(event);
}

void SliderCtrl::keyPressEvent(QKeyEvent* event) {
    const int before = GetPos();
    QSlider::keyPressEvent(event);
    if (GetPos() != before) {
        ShowTip();
    }
}

void SliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    if (isSliderDown()) {
        ShowTip();
    }
}

void SliderCtrl::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled()) {
        m_captured = true;
        ShowTip();
    }
}

void SliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_captured) {
        m_captured = false;
        emit releasedCapture();
    }
}

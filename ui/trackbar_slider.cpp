#include "trackbar_slider.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <algorithm>

#include "parameters.h"

void TrackbarSlider::SetUp(const KnobRow& row) {
    setRange(row.min, row.max);
    setPageStep(std::max(1, (row.max - row.min) / 5));
    setValue(row.start);
}

void TrackbarSlider::ShowTip() {
    if (!m_tip) {
        return;
    }
    // Just below the thumb, where neither the pointer nor the thumb hides it.
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect thumb =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    QToolTip::showText(mapToGlobal(thumb.bottomLeft()), m_tip(sliderPosition()), this);
}

bool TrackbarSlider::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && m_tip) {
        ShowTip();
        return true;
    }
    return QSlider::event(event);
}

void TrackbarSlider::keyPressEvent(QKeyEvent* event) {
    const int before = sliderPosition();
    QSlider::keyPressEvent(event);
    if (sliderPosition() != before) {
        ShowTip();
    }
}

void TrackbarSlider::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    if (isSliderDown()) {
        ShowTip();
    }
}

void TrackbarSlider::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled()) {
        m_captured = true;
        ShowTip();
    }
}

void TrackbarSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_captured) {
        m_captured = false;
        emit released();
    }
}

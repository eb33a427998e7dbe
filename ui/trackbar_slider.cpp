#include "ui/trackbar_slider.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "trackbars/parameters.h"

void TrackbarSlider::SetUp(const KnobRow& row) {
    if (m_perUnit == 1 && row.perUnit > 1) {
        connect(this, &QAbstractSlider::actionTriggered, this, &TrackbarSlider::SnapToUnit);
    }
    m_perUnit = row.perUnit;
    m_start = row.start;
    m_homeIsStart = row.knob == Knob::Key || row.knob == Knob::Tempo || row.knob == Knob::Focus;
    setRange(row.min, row.max);
    setSingleStep(row.perUnit);
    setPageStep(std::max(1, (row.max - row.min) / 5 / row.perUnit) * row.perUnit);
    setValue(row.start);
}

// Runs before the move is told to the window, which then sees the snapped position.
void TrackbarSlider::SnapToUnit(int action) {
    if (action == SliderNoAction || (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)) {
        return;
    }
    const int pos = sliderPosition();
    const int snapped =
        static_cast<int>(std::lround(static_cast<double>(pos) / m_perUnit)) * m_perUnit;
    setSliderPosition(std::clamp(snapped, minimum(), maximum()));
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

void TrackbarSlider::BackToStart() {
    setSliderPosition(m_start);
    emit actionTriggered(SliderMove);
    emit released();
    ShowTip();
}

void TrackbarSlider::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        BackToStart();
        return;
    }
    QSlider::mouseDoubleClickEvent(event);
}

void TrackbarSlider::keyPressEvent(QKeyEvent* event) {
    if (m_homeIsStart && event->key() == Qt::Key_Home && event->modifiers() == Qt::NoModifier) {
        BackToStart();
        return;
    }
    const int before = sliderPosition();
    const int step = singleStep();
    if (event->modifiers() & Qt::ShiftModifier) {
        setSingleStep(1);
    }
    QSlider::keyPressEvent(event);
    setSingleStep(step);
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

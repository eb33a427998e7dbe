#include "ui/waveform_view.h"

#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>

#include "ui/ui_language.h"

namespace {

constexpr double kEdgeGrab = 4.0;   // pixels either side of a loop edge that take it
constexpr double kDragStart = 3.0;  // pixels a press moves before it is a drag
constexpr int kTickSpacing = 56;    // pixels between ruler labels at least
constexpr int kRulerSeconds[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 1800, 3600};

const QColor kSongColour(70, 110, 170);
const QColor kBandColour(230, 120, 40);
const QColor kHeadColour(200, 30, 30);

}  // namespace

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(Tr(QT_TRANSLATE_NOOP("Zerbex", "波形")));
    setAttribute(Qt::WA_OpaquePaintEvent);
    Describe();
}

void WaveformView::Clear() {
    m_buckets.clear();
    m_frames = 0;
    m_rate = 0;
    m_head = -1;
    m_loopStart = m_loopEnd = 0;
    m_drag = Drag::None;
    Describe();
    update();
}

void WaveformView::SetLength(std::uint64_t frames, unsigned rate) {
    if (frames != m_frames || rate != m_rate) {
        m_frames = frames;
        m_rate = rate;
        update();
    }
}

void WaveformView::AddEnvelope(std::uint64_t first, const std::vector<EnvelopeBucket>& buckets) {
    if (first > m_buckets.size()) {
        return;  // a batch of another song
    }
    m_buckets.resize(std::max(m_buckets.size(), first + buckets.size()));
    std::copy(buckets.begin(), buckets.end(),
              m_buckets.begin() + static_cast<std::ptrdiff_t>(first));
    update();
}

void WaveformView::SetPlayHead(std::int64_t frame) {
    if (frame != m_head) {
        const double before = XOf(m_head);
        m_head = frame;
        // Only the strips the head leaves and reaches.
        update(QRect(static_cast<int>(before) - 2, 0, 5, height()));
        update(QRect(static_cast<int>(XOf(frame)) - 2, 0, 5, height()));
        Describe();
    }
}

void WaveformView::SetLoop(std::int64_t start, std::int64_t end) {
    if (m_drag != Drag::None && m_drag != Drag::Pending) {
        return;
    }
    if (start != m_loopStart || end != m_loopEnd) {
        m_loopStart = start;
        m_loopEnd = end;
        Describe();
        update();
    }
}

std::int64_t WaveformView::FrameAt(double x) const {
    if (m_frames == 0 || width() <= 0) {
        return 0;
    }
    const double share = std::clamp(x / width(), 0.0, 1.0);
    return std::min(static_cast<std::int64_t>(std::llround(share * static_cast<double>(m_frames))),
                    static_cast<std::int64_t>(m_frames));
}

double WaveformView::XOf(std::int64_t frame) const {
    // Without a song, off the left edge.
    return m_frames == 0 ? -10
                         : static_cast<double>(frame) / static_cast<double>(m_frames) * width();
}

QString WaveformView::TimeText(std::int64_t frame, unsigned rate, bool hundredths) {
    if (rate == 0 || frame < 0) {
        return QStringLiteral("-");
    }
    const std::int64_t centis = frame * 100 / rate;
    const QString whole =
        QStringLiteral("%1:%2").arg(centis / 6000).arg(centis / 100 % 60, 2, 10, QLatin1Char('0'));
    return hundredths ? whole + QStringLiteral(".%1").arg(centis % 100, 2, 10, QLatin1Char('0'))
                      : whole;
}

void WaveformView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const int rulerHeight = fontMetrics().height() + 2;
    const QRect ruler(0, height() - rulerHeight, width(), rulerHeight);
    const QRect wave(0, 0, width(), height() - rulerHeight);
    if (m_frames > 0) {
        QColor shade = palette().color(QPalette::Highlight);
        shade.setAlpha(60);
        const double x0 = XOf(m_loopStart);
        const double x1 = XOf(m_loopEnd);
        painter.fillRect(QRectF(x0, 0, std::max(1.0, x1 - x0), wave.height()), shade);
        PaintEnvelope(painter, wave);
        PaintRuler(painter, ruler);
        const qreal ratio = devicePixelRatioF();
        const double pixel = 1.0 / ratio;  // lines one device pixel wide, on device pixels
        const auto snap = [ratio](double x) { return std::floor(x * ratio) / ratio; };
        shade.setAlpha(200);
        painter.fillRect(QRectF(snap(x0), 0, pixel, wave.height()), shade);
        painter.fillRect(QRectF(snap(x1), 0, pixel, wave.height()), shade);
        if (m_head >= 0) {
            // As many whole device pixels as one pixel of the desktop's scale covers.
            const double head = std::max(1.0, std::round(ratio)) * pixel;
            painter.fillRect(QRectF(snap(XOf(m_head)), 0, head, height()), kHeadColour);
        }
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

// One column a device pixel wide for each device pixel, at scale 1.5 and 2 as at 1: the
// song's peak around the middle, the removed part's over it.
void WaveformView::PaintEnvelope(QPainter& painter, const QRect& wave) const {
    const qreal ratio = devicePixelRatioF();
    const int columns = static_cast<int>(std::ceil(wave.width() * ratio));
    const double middle = wave.center().y() + 0.5;
    const double half = wave.height() / 2.0 - 1.0;
    const double framesPerColumn = static_cast<double>(m_frames) / std::max(1, columns);
    for (int column = 0; column < columns; ++column) {
        const auto first = static_cast<std::size_t>(column * framesPerColumn / kEnvelopeFrames);
        const auto last =
            static_cast<std::size_t>((column + 1) * framesPerColumn / kEnvelopeFrames);
        if (first >= m_buckets.size()) {
            break;  // not decoded yet
        }
        float peak = 0;
        float band = 0;
        for (std::size_t i = first; i <= std::min(last, m_buckets.size() - 1); ++i) {
            peak = std::max(peak, m_buckets[i].peak);
            band = std::max(band, m_buckets[i].band);
        }
        const double x = column / ratio;
        const double w = 1.0 / ratio;
        const double p = std::max(w, std::min(1.0f, peak) * half);
        const double b = std::min(1.0f, band) * half;
        painter.fillRect(QRectF(x, middle - p, w, 2 * p), kSongColour);
        if (b > 0) {
            painter.fillRect(QRectF(x, middle - b, w, 2 * b), kBandColour);
        }
    }
}

void WaveformView::PaintRuler(QPainter& painter, const QRect& ruler) const {
    if (m_rate == 0) {
        return;
    }
    const double seconds = static_cast<double>(m_frames) / m_rate;
    const double pixelsPerSecond = ruler.width() / std::max(seconds, 1e-3);
    // The shortest spacing whose labels fit, else the longest.
    const auto fits = std::ranges::find_if(
        kRulerSeconds, [&](int candidate) { return candidate * pixelsPerSecond >= kTickSpacing; });
    const int every =
        fits != std::end(kRulerSeconds) ? *fits : kRulerSeconds[std::size(kRulerSeconds) - 1];
    painter.setPen(palette().color(QPalette::Text));
    const double pixel = 1.0 / devicePixelRatioF();
    for (int s = 0; s <= seconds; s += every) {
        const double x = std::floor(s * pixelsPerSecond * devicePixelRatioF()) * pixel;
        painter.fillRect(QRectF(x, ruler.top(), pixel, 3), palette().color(QPalette::Text));
        const QString text = TimeText(static_cast<std::int64_t>(s) * m_rate, m_rate, false);
        painter.drawText(QRectF(x + 2, ruler.top(), kTickSpacing, ruler.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_frames == 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const double x = event->position().x();
    m_pressX = x;
    m_before[0] = m_loopStart;
    m_before[1] = m_loopEnd;
    if (std::abs(x - XOf(m_loopStart)) <= kEdgeGrab) {
        m_drag = Drag::StartEdge;
    } else if (std::abs(x - XOf(m_loopEnd)) <= kEdgeGrab) {
        m_drag = Drag::EndEdge;
    } else {
        m_drag = Drag::Pending;
    }
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (m_drag == Drag::Pending && std::abs(x - m_pressX) > kDragStart) {
        m_drag = Drag::Region;
    }
    if (m_drag != Drag::None && m_drag != Drag::Pending) {
        DragTo(x);
    }
    // The edges show that they can be taken.
    const bool onEdge = m_frames > 0 && (std::abs(x - XOf(m_loopStart)) <= kEdgeGrab ||
                                         std::abs(x - XOf(m_loopEnd)) <= kEdgeGrab);
    setCursor(onEdge || m_drag == Drag::StartEdge || m_drag == Drag::EndEdge ? Qt::SizeHorCursor
                                                                             : Qt::ArrowCursor);
}

void WaveformView::DragTo(double x) {
    const std::int64_t frame = FrameAt(x);
    switch (m_drag) {
        case Drag::Region:
            m_loopStart = std::min(FrameAt(m_pressX), frame);
            m_loopEnd = std::max(FrameAt(m_pressX), frame);
            break;
        case Drag::StartEdge:
            m_loopStart = std::min(frame, m_loopEnd - 1);
            break;
        case Drag::EndEdge:
            m_loopEnd = std::max(frame, m_loopStart + 1);
            break;
        case Drag::None:
        case Drag::Pending:
            break;
    }
    Describe();
    update();
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_drag == Drag::None) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = m_drag;
    m_drag = Drag::None;
    if (drag == Drag::Pending) {
        emit seekRequested(FrameAt(event->position().x()));
    } else if (m_loopEnd > m_loopStart) {
        emit loopRequested(m_loopStart, m_loopEnd);
    }
}

void WaveformView::MoveEdge(bool end, std::int64_t by) {
    if (end) {
        m_loopEnd = std::clamp<std::int64_t>(m_loopEnd + by, m_loopStart + 1,
                                             static_cast<std::int64_t>(m_frames));
    } else {
        m_loopStart = std::clamp<std::int64_t>(m_loopStart + by, 0, m_loopEnd - 1);
    }
    Describe();
    update();
    emit loopRequested(m_loopStart, m_loopEnd);
}

void WaveformView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_drag != Drag::None) {
        // The drag ends where it began; the window does not close under it.
        m_drag = Drag::None;
        m_loopStart = m_before[0];
        m_loopEnd = m_before[1];
        Describe();
        update();
        return;
    }
    if (m_frames == 0 || m_rate == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
    const auto second = static_cast<std::int64_t>(m_rate);
    const int key = event->key();
    if (shift && (key == Qt::Key_Left || key == Qt::Key_Right)) {
        MoveEdge(ctrl, (key == Qt::Key_Left ? -1 : 1) * second / 10);
        return;
    }
    // The seconds a key moves the head by; Home and End go to the ends.
    static const QHash<int, int> kSeconds = {
        {Qt::Key_Left, -1}, {Qt::Key_Right, 1}, {Qt::Key_PageUp, -10}, {Qt::Key_PageDown, 10}};
    const auto last = static_cast<std::int64_t>(m_frames);
    std::int64_t to = 0;
    if (key == Qt::Key_End) {
        to = last - 1;
    } else if (kSeconds.contains(key)) {
        to = std::max<std::int64_t>(m_head, 0) + kSeconds.value(key) * second;
    } else if (key != Qt::Key_Home) {
        QWidget::keyPressEvent(event);
        return;
    }
    to = std::clamp<std::int64_t>(to, 0, std::max<std::int64_t>(last - 1, 0));
    SetPlayHead(to);
    emit seekRequested(to);
}

// What a screen reader says beside the name: where the head and the loop are.
void WaveformView::Describe() {
    if (m_frames == 0) {
        setAccessibleDescription(Tr(QT_TRANSLATE_NOOP("Zerbex", "还没有歌曲")));
        return;
    }
    setAccessibleDescription(Tr(QT_TRANSLATE_NOOP("Zerbex", "位置 %1，循环 %2 至 %3"))
                                 .arg(TimeText(std::max<std::int64_t>(m_head, 0), m_rate),
                                      TimeText(m_loopStart, m_rate), TimeText(m_loopEnd, m_rate)));
}

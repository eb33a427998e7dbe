// Draws the button faces, the level-meter images and the application icon as PNG files.
// Run once when a picture changes; the PNGs it writes are kept in the source tree.
//
//   zerbex2-draw-images OUTPUT_DIR
//
// OUTPUT_DIR receives bitmaps/<number>.png and icons/zerbex2-<size>.png. Each bitmap is also
// drawn for the usual desktop scales (bitmaps/<number>@1.5x.png and so on): a picture scaled
// up by the window is soft and its strokes uneven, one drawn at the screen's pixels is crisp.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QtMath>
#include <cstdio>

#include "res/resources.h"

namespace {

// The background's colours from top to bottom; glyph and label are white on every face.
struct Palette {
    QColor top;
    QColor middle;
    QColor bottom;
};

// Idle faces invite a start: green. Stop faces warn: red. The two read apart at a glance
// even where the button shows only the middle of its face.
const Palette kPlay{QColor(0x6fd37a), QColor(0x2e9b45), QColor(0x1c6e30)};
const Palette kStop{QColor(0xf27a6e), QColor(0xc92e25), QColor(0x8e1712)};

QFont FaceFont(int pixelSize) {
    QFont font;
    font.setFamilies({"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC", "DejaVu Sans"});
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The background is the same in every column, so a button wider than its face can extend
// it sideways without a seam.
void FillBackground(QPainter& p, const QSize& size, const Palette& palette) {
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0.0, palette.top);
    gradient.setColorAt(0.45, palette.middle);
    gradient.setColorAt(1.0, palette.bottom);
    p.fillRect(QRect(QPoint(0, 0), size), gradient);
    // A soft gloss on the upper half of the visible middle.
    QLinearGradient gloss(0, 0, 0, size.height() / 2.0);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 0));
    gloss.setColorAt(0.6, QColor(255, 255, 255, 40));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, size.width(), size.height() / 2), gloss);
}

enum class Glyph { Play, Stop };

// An image of size (in the window's units) drawn at scale device pixels per unit. Painting
// goes in window units; Qt places text and paths on the device pixels.
QImage Canvas(QSize size, qreal scale) {
    const QSize pixels(qCeil(size.width() * scale), qCeil(size.height() * scale));
    QImage image(pixels, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    return image;
}

void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    QPainterPath path;
    if (glyph == Glyph::Play) {
        path.moveTo(box.left(), box.top());
        path.lineTo(box.right(), box.center().y());
        path.lineTo(box.left(), box.bottom());
        path.closeSubpath();
    } else {
        path.addRoundedRect(box, 1.0, 1.0);
    }
    p.drawPath(path.translated(0.0, 1.0));  // its shadow
    p.setBrush(QColor(Qt::white));
    p.drawPath(path);
}

void DrawLabel(QPainter& p, const QString& text, const QRectF& box, const QFont& font) {
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(box.translated(0.0, 1.0), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.setPen(QColor(Qt::white));
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
}

// A face: glyph and label side by side, centred on the image; a play face is green, a stop
// face red.
QImage DrawFace(QSize size, qreal scale, Glyph glyph, const QString& label, int fontPixels) {
    QImage image = Canvas(size, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    FillBackground(p, size, glyph == Glyph::Play ? kPlay : kStop);

    const QFont font = FaceFont(fontPixels);
    const QFontMetricsF metrics(font);
    const qreal glyphSize = fontPixels * 0.72;
    const qreal gap = label.isEmpty() ? 0.0 : 3.0;
    const qreal textWidth = metrics.horizontalAdvance(label);
    const qreal total = glyphSize + gap + textWidth;
    const qreal left = (size.width() - total) / 2.0;
    const qreal centreY = size.height() / 2.0;
    DrawGlyph(p, glyph, QRectF(left, centreY - glyphSize / 2.0, glyphSize, glyphSize));
    DrawLabel(p, label, QRectF(left + glyphSize + gap, 0, textWidth + 2, size.height()), font);
    return image;
}

// Eight segments from the bottom up: six green, one amber, the top one red.
QImage DrawMeter(int lit, qreal scale) {
    const QSize size(11, 142);
    QImage image = Canvas(size, scale);
    image.fill(QColor(0x121416));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRgb litColours[8] = {0x3de05a, 0x3de05a, 0x3de05a, 0x5ce64a,
                                0x8cea3e, 0xbdee36, 0xffc21f, 0xff2e24};
    constexpr int kSegmentHeight = 15;
    constexpr int kGap = 2;
    constexpr int kMargin = 4;  // 8 * 15 + 7 * 2 + 2 * 4 = 142
    for (int i = 0; i < 8; ++i) {
        const int bottom = size.height() - kMargin - i * (kSegmentHeight + kGap);
        const QRectF segment(1.5, bottom - kSegmentHeight, 8.0, kSegmentHeight);
        const QColor colour = i < lit ? QColor(litColours[i]) : QColor(litColours[i]).darker(420);
        QLinearGradient shade(segment.topLeft(), segment.topRight());
        shade.setColorAt(0.0, colour.darker(125));
        shade.setColorAt(0.45, i < lit ? colour.lighter(125) : colour);
        shade.setColorAt(1.0, colour.darker(140));
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawRoundedRect(segment, 1.0, 1.0);
    }
    return image;
}

// A sound wave whose middle band is cut out, on a dark rounded tile.
QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF tile(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
    QLinearGradient back(tile.topLeft(), tile.bottomLeft());
    back.setColorAt(0.0, QColor(0x2b3a55));
    back.setColorAt(1.0, QColor(0x111826));
    p.setPen(QPen(QColor(0x0a0f18), qMax(1.0, s / 32.0)));
    p.setBrush(back);
    p.drawRoundedRect(tile, s * 0.18, s * 0.18);

    const int bars = size < 24 ? 5 : 7;
    const qreal heights[7] = {0.30, 0.52, 0.70, 0.86, 0.70, 0.52, 0.30};
    const qreal heights5[5] = {0.36, 0.62, 0.84, 0.62, 0.36};
    const qreal span = tile.width() * 0.74;
    const qreal step = span / bars;
    const qreal barWidth = step * 0.62;
    const qreal centreY = tile.center().y();
    for (int i = 0; i < bars; ++i) {
        const qreal h = (bars == 7 ? heights[i] : heights5[i]) * tile.height() * 0.8;
        const qreal x = tile.center().x() - span / 2.0 + i * step + (step - barWidth) / 2.0;
        const QRectF bar(x, centreY - h / 2.0, barWidth, h);
        QLinearGradient g(bar.topLeft(), bar.bottomLeft());
        g.setColorAt(0.0, QColor(0x7fe8ff));
        g.setColorAt(1.0, QColor(0x2a9dd8));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(bar, barWidth / 2.5, barWidth / 2.5);
    }
    // The removed voice: a red band across the middle.
    const qreal band = qMax(2.0, s * 0.12);
    QRectF cut(tile.left() + s * 0.08, centreY - band / 2.0, tile.width() - s * 0.16, band);
    p.setBrush(QColor(0xff3b30));
    p.drawRoundedRect(cut, band / 2.0, band / 2.0);
    return image;
}

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// "" at scale 1, "@1.5x" at 1.5.
QString ScaleSuffix(qreal scale) {
    return scale == 1.0 ? QString() : QStringLiteral("@%1x").arg(scale);
}

struct FaceDesign {
    int id;
    QSize size;
    Glyph glyph;
    const char* label;
    const char* english;  // the English face's label; null when the label is no word
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath("bitmaps/en") || !out.mkpath("icons")) {
        std::fprintf(stderr, "cannot create folders under %s\n", argv[1]);
        return 1;
    }

    const QSize narrow(48, 33);
    const QSize wide(85, 27);
    // clang-format off
    const FaceDesign faces[] = {
        {144, narrow, Glyph::Play, "低",       "Low"},
        {145, narrow, Glyph::Play, "左",       "Left"},
        {146, narrow, Glyph::Play, "右",       "Right"},
        {147, narrow, Glyph::Play, "高",       "High"},
        {148, narrow, Glyph::Stop, "低",       "Low"},
        {149, narrow, Glyph::Stop, "左",       "Left"},
        {152, narrow, Glyph::Stop, "右",       "Right"},
        {153, narrow, Glyph::Stop, "高",       "High"},
        {154, wide,   Glyph::Play, "Zerbex 2", nullptr},
        {155, wide,   Glyph::Stop, "停止",     "Stop"},
        {156, wide,   Glyph::Play, "Zerbex 1", nullptr},
        {157, wide,   Glyph::Play, "原件",     "Original"},
        {158, wide,   Glyph::Play, "立体声",   "Stereo"},
    };
    // clang-format on
    constexpr int kFontPixels = 12;
    bool ok = true;
    for (const qreal scale : kBitmapScales) {
        const QString suffix = ScaleSuffix(scale);
        for (const FaceDesign& face : faces) {
            ok &= Save(
                DrawFace(face.size, scale, face.glyph, QString::fromUtf8(face.label), kFontPixels),
                out.filePath(QString("bitmaps/%1%2.png").arg(face.id).arg(suffix)));
            if (face.english != nullptr) {
                // A narrow face takes a word a pixel smaller.
                const int pixels = face.size == narrow ? kFontPixels - 1 : kFontPixels;
                ok &= Save(
                    DrawFace(face.size, scale, face.glyph, QString::fromUtf8(face.english), pixels),
                    out.filePath(QString("bitmaps/en/%1%2.png").arg(face.id).arg(suffix)));
            }
        }
        const int meters[9] = {134, 140, 139, 138, 137, 136, 135, 142, 132};
        for (int lit = 0; lit < 9; ++lit) {
            ok &= Save(DrawMeter(lit, scale),
                       out.filePath(QString("bitmaps/%1%2.png").arg(meters[lit]).arg(suffix)));
        }
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        ok &= Save(DrawIcon(size), out.filePath(QString("icons/zerbex2-%1.png").arg(size)));
    }
    return ok ? 0 : 1;
}

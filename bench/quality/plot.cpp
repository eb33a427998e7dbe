#include "bench/quality/plot.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int kCell = 44;
constexpr int kMargin = 70;
constexpr double kTopDb = 24.0;

// Dark blue (nothing removed) through green to yellow (kTopDb or more).
QColor ColourFor(double db) {
    const double t = std::clamp(db / kTopDb, 0.0, 1.0);
    return QColor::fromHsvF(static_cast<float>(0.66 - 0.5 * t), 0.85f,
                            static_cast<float>(0.45 + 0.55 * t));
}

void DrawMap(QPainter& painter, const RemovalMap& map, int x0) {
    const int width = static_cast<int>(map.pans.size()) * kCell;
    painter.setPen(Qt::black);
    painter.drawText(
        QRect(x0, 8, width, 24), Qt::AlignCenter,
        QString::fromStdString(map.title.empty() ? "vocal removed (dB), song \"" + map.song + "\""
                                                 : map.title));
    for (std::size_t row = 0; row < map.levels.size(); ++row) {
        for (std::size_t col = 0; col < map.pans.size(); ++col) {
            const double db = map.removedDb[row * map.pans.size() + col];
            const QRect cell(x0 + static_cast<int>(col) * kCell,
                             kMargin / 2 + static_cast<int>(row) * kCell, kCell, kCell);
            const std::size_t at = row * map.pans.size() + col;
            if (std::isnan(db)) {
                painter.fillRect(cell, QColor(220, 220, 220));
                painter.setPen(Qt::black);
                painter.drawText(cell, Qt::AlignCenter, "-");
                continue;
            }
            if (at < map.met.size()) {
                painter.fillRect(cell, map.met[at] ? QColor(150, 220, 150) : QColor(240, 150, 140));
                painter.setPen(Qt::black);
            } else {
                painter.fillRect(cell, ColourFor(db));
                painter.setPen(db > kTopDb * 0.6 ? Qt::black : Qt::white);
            }
            painter.drawText(cell, Qt::AlignCenter, QString::number(db, 'f', 1));
        }
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(x0 - kMargin + 4, kMargin / 2 + static_cast<int>(row) * kCell, kMargin - 10,
                  kCell),
            Qt::AlignRight | Qt::AlignVCenter,
            QString::fromStdString(row < map.rowLabels.size()
                                       ? map.rowLabels[row]
                                       : map.rowName + " " + std::to_string(map.levels[row])));
    }
    const int bottom = kMargin / 2 + static_cast<int>(map.levels.size()) * kCell;
    for (std::size_t col = 0; col < map.pans.size(); ++col) {
        painter.drawText(
            QRect(x0 + static_cast<int>(col) * kCell, bottom, kCell, 20), Qt::AlignCenter,
            col < map.columnLabels.size() ? QString::fromStdString(map.columnLabels[col])
                                          : QString::number(map.pans[col]));
    }
    painter.drawText(QRect(x0, bottom + 18, width, 20), Qt::AlignCenter,
                     QString::fromStdString(map.caption));
}

}  // namespace

bool DrawRemovalMaps(const std::vector<RemovalMap>& maps, const std::filesystem::path& png) {
    // Text needs a GUI application; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "quality_bench";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    int width = kMargin;
    int height = 0;
    for (const RemovalMap& map : maps) {
        width += static_cast<int>(map.pans.size()) * kCell + kMargin;
        height = std::max(height, static_cast<int>(map.levels.size()) * kCell + 2 * kMargin);
    }
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    int x0 = kMargin;
    for (const RemovalMap& map : maps) {
        DrawMap(painter, map, x0);
        x0 += static_cast<int>(map.pans.size()) * kCell + kMargin;
    }
    painter.end();
    return image.save(QString::fromStdString(png.string()), "PNG");
}

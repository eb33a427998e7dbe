#include "ui/trackbar_tips.h"

#include <cmath>
#include <cstdlib>

namespace {

QString Decibels(double gain) {
    const double db = 20.0 * std::log10(gain);
    return QStringLiteral("%1%2 dB").arg(db > 0.0 ? "+" : "").arg(db, 0, 'f', 1);
}

QString Pan(int pos) {
    if (pos == 0) {
        return QStringLiteral("centre");
    }
    return QStringLiteral("%1 %2").arg(pos < 0 ? 'L' : 'R').arg(std::abs(pos));
}

// Where a playback puts position pos of the data, to the nearest tenth of a second: a move
// lands within a twentieth of a second of what the tip said.
QString FilePosition(int pos, const WaveLength& input) {
    if (!input.Known()) {
        const auto percent =
            static_cast<int>(std::lround(100.0 * pos / static_cast<double>(kPositionSteps)));
        return QStringLiteral("%1%").arg(percent);
    }
    const std::int64_t bytes = PositionBytes(pos, input.dataBytes / kPositionSteps);
    const std::int64_t rate = input.byteRate;
    const std::int64_t tenths = (bytes * 10 + rate / 2) / rate;
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QChar('0'))
        .arg(tenths % 10);
}

}  // namespace

QString TrackbarTip(Knob knob, int pos, const WaveLength& input) {
    switch (RowOf(knob).unit) {
        case Unit::Hertz:
            return QStringLiteral("%1 Hz").arg(static_cast<int>(KnobValue(knob, pos)));
        case Unit::Decibels:
            // The gain as the processing holds it, in single precision.
            return Decibels(static_cast<float>(KnobValue(knob, pos)));
        case Unit::Pan:
            return Pan(pos);
        case Unit::Position:
            return FilePosition(pos, input);
        case Unit::Semitones:
            return QStringLiteral("%1%2 semitones")
                .arg(pos > 0 ? "+" : "")
                .arg(QString::fromStdString(KnobValueText(RowOf(knob), pos)));
        case Unit::Percent:
            return QStringLiteral("%1 %").arg(pos);
    }
    return {};
}

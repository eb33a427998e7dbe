#include "trackbar_tips.h"

#include <cmath>

#include "job_state.h"
#include "parameters.h"
#include "resource_ids.h"
#include "stream_driver.h"

namespace {

QString Decibels(float gain) {
    const double db = 20.0 * std::log10(static_cast<double>(gain));
    return QStringLiteral("%1%2 dB").arg(db > 0.0 ? "+" : "").arg(db, 0, 'f', 1);
}

QString Pan(int pos) {
    if (pos == 0) {
        return QStringLiteral("centre");
    }
    return QStringLiteral("%1 %2").arg(pos < 0 ? 'L' : 'R').arg(std::abs(pos));
}

// Where the engine puts position pos of the data.
QString FilePosition(int pos, const WaveLength& input) {
    if (!input.Known()) {
        const int percent =
            static_cast<int>(std::lround(100.0 * pos / static_cast<double>(kPositionSteps)));
        return QStringLiteral("%1%").arg(percent);
    }
    const std::int64_t bytes = TrackbarBytePos(pos, input.dataBytes / kPositionSteps);
    const std::int64_t seconds = bytes / static_cast<std::int64_t>(input.byteRate);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

QString TrackbarTipText(int controlId, int pos, const WaveLength& input) {
    switch (controlId) {
        case IDC_LOW_SLIDER:
            return QStringLiteral("%1 Hz").arg(LowCutoffFor(pos));
        case IDC_HIGH_SLIDER:
            return QStringLiteral("%1 Hz").arg(HighCutoffFor(pos));
        case IDC_LEFT_SLIDER:
        case IDC_RIGHT_SLIDER:
            return Decibels(ChannelGainFor(pos));
        case IDC_OUTPUT_LEVEL:
            return Decibels(OutputGainFor(pos));
        case IDC_PAN:
            return Pan(pos);
        case IDC_LOOP_START:
        case IDC_LOOP_END:
        case IDC_PLAY_POS:
            return FilePosition(pos, input);
        default:
            return {};
    }
}

#include "render/key_tempo_sink.h"

#include <algorithm>

namespace {

constexpr std::size_t kFrameBytes = 4;
constexpr std::size_t kRoomFrames = 11025;

}  // namespace

KeyTempoSink::KeyTempoSink(RenderSink& sink, const KeyTempo& settings, unsigned rate)
    : m_sink(sink), m_stage(rate), m_tempo(settings.tempo), m_stretched(kRoomFrames * kFrameBytes) {
    m_stage.Set(settings);
}

bool KeyTempoSink::Frames(const unsigned char* bytes, std::size_t n) {
    m_stage.Put(bytes, n / kFrameBytes);
    m_put += n / kFrameBytes;
    return Pass(~std::uint64_t{0});
}

// What the stage made, up to a total of upTo frames.
bool KeyTempoSink::Pass(std::uint64_t upTo) {
    while (m_written < upTo) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kRoomFrames, upTo - m_written));
        const std::size_t got = m_stage.Take(m_stretched.data(), want);
        if (got == 0) {
            return true;
        }
        if (!m_sink.Frames(m_stretched.data(), got * kFrameBytes)) {
            return false;
        }
        m_written += got;
    }
    return true;
}

bool KeyTempoSink::End() {
    m_stage.Flush();
    const std::uint64_t total = StretchedFrames(m_put, m_tempo);
    if (!Pass(total)) {
        return false;
    }
    std::fill(m_stretched.begin(), m_stretched.end(), 0);
    while (m_written < total) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kRoomFrames, total - m_written));
        if (!m_sink.Frames(m_stretched.data(), n * kFrameBytes)) {
            return false;
        }
        m_written += n;
    }
    return true;
}

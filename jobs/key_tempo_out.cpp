#include "key_tempo_out.h"

#include <algorithm>

#include "processing.h"
#include "segmented_write.h"

namespace {

constexpr std::size_t kFrameBytes = 4;
constexpr unsigned kPiecesPerSecond = 20;

}  // namespace

KeyTempoOut::KeyTempoOut(AudioOut& out, const PlayControls& controls, JobObserver& observer)
    : m_out(out), m_controls(controls), m_observer(observer) {}

KeyTempoOut::~KeyTempoOut() = default;

void KeyTempoOut::Start(unsigned rate) {
    if (rate != m_rate || !m_stage) {
        m_rate = rate;
        m_stage = std::make_unique<KeyTempoStage>(rate);
        m_pieceFrames = std::max<std::size_t>(rate / kPiecesPerSecond, 1);
        m_piece.resize(AudioOut::kMaxBlockBytes / kFrameBytes * kFrameBytes);
    }
    StopStretching();
    m_heard = 0;
    m_writes = 0;
}

void KeyTempoOut::StopStretching() {
    m_stage->Clear();
    m_fed.clear();
    m_frontHeard = 0;
    m_stretching = false;
}

KeyTempoOut::Sent KeyTempoOut::Play(const unsigned char* block, std::size_t bytes,
                                    std::uint64_t from) {
    const KeyTempo wanted{m_controls.key, m_controls.tempo};
    // Back at the original key and tempo, the stage is left where the sound jumps anyway: at
    // a seek or a loop's start, so that nothing it holds is missed.
    if (m_stretching && wanted.Neutral() && from != m_next) {
        StopStretching();
    }
    if (!m_stretching && wanted.Neutral()) {
        const Sent sent = Write(block, bytes);
        m_writes += sent == Sent::Played ? 1 : 0;
        m_heard = sent == Sent::Played ? from + bytes : m_heard;
        m_next = from + bytes;
        return sent;
    }
    m_stretching = true;
    for (std::size_t done = 0; done < bytes / kFrameBytes;) {
        const std::size_t n = std::min(m_pieceFrames, bytes / kFrameBytes - done);
        m_stage->Set({m_controls.key, m_controls.tempo});
        m_stage->Put(block + done * kFrameBytes, n);
        m_fed.push_back({from + done * kFrameBytes, n});
        done += n;
        if (const Sent sent = SendReady(~std::size_t{0}); sent != Sent::Played) {
            return sent;
        }
    }
    m_next = from + bytes;
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Finish() {
    if (!m_stretching) {
        return Sent::Played;
    }
    m_stage->Flush();
    return SendReady(1);
}

// Sends pieces while the stage holds a whole one, or at least `least` frames: while it plays,
// no short block takes a place in the device's queue.
KeyTempoOut::Sent KeyTempoOut::SendReady(std::size_t least) {
    for (;;) {
        // The first two blocks of a run are whole ones: a device that starts to play fills
        // its buffer at once, and would find two pieces gone and the queue dry.
        const std::size_t want =
            m_writes < AudioOut::kQueuedBlocks ? m_piece.size() / kFrameBytes : m_pieceFrames;
        if (m_stage->Ready() < std::min(least, want)) {
            break;
        }
        const int tempo = m_stage->Settings().tempo;
        const std::size_t frames = m_stage->Take(m_piece.data(), want);
        if (frames == 0) {
            break;
        }
        if (const Sent sent = Write(m_piece.data(), frames * kFrameBytes); sent != Sent::Played) {
            return sent;
        }
        ++m_writes;
        TellLevels(frames);
        Account(frames, tempo);
    }
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Write(const unsigned char* bytes, std::size_t n) {
    m_out.WaitForRoom();
    if (m_controls.stop) {
        return Sent::Stopped;
    }
    return m_out.Write(bytes, n) ? Sent::Played : Sent::Failed;
}

// Frames played at tempo stand for tempo/100 as many source frames.
void KeyTempoOut::Account(std::size_t frames, int tempo) {
    double left = static_cast<double>(frames) * tempo / 100.0;
    while (!m_fed.empty()) {
        const Fed& front = m_fed.front();
        const double rest = static_cast<double>(front.frames) - m_frontHeard;
        if (left < rest) {
            m_frontHeard += left;
            m_heard = front.from + static_cast<std::uint64_t>(m_frontHeard) * kFrameBytes;
            return;
        }
        left -= rest;
        m_heard = front.from + front.frames * kFrameBytes;
        m_fed.pop_front();
        m_frontHeard = 0;
    }
}

// The level at the meter's stride through the sound sent, as a block's processing tells it.
void KeyTempoOut::TellLevels(std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        if (m_meterCount++ % kMeterFrames == 0) {
            m_observer.Level(
                MeterSegments(MeterSample(FrameSample(m_piece.data() + i * kFrameBytes))));
        }
    }
}

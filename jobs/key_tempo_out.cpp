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
    // Back at the original key and tempo, the stage is left where the sound jumps anyway: at
    // a seek or a loop's start, so that nothing it holds is missed.
    if (m_stretching && Wanted().Neutral() && from != m_next) {
        StopStretching();
    }
    std::size_t done = 0;
    if (!m_stretching) {
        if (const Sent sent = PlayAsItIs(block, bytes, from, done); sent != Sent::Played) {
            return sent;
        }
    }
    m_next = from + bytes;
    if (done == bytes) {
        return Sent::Played;
    }
    m_stretching = true;
    while (done / kFrameBytes < bytes / kFrameBytes) {
        const std::size_t n = std::min(m_pieceFrames, bytes / kFrameBytes - done / kFrameBytes);
        m_stage->Set(Wanted());
        m_stage->Put(block + done, n);
        m_fed.push_back({from + done, n});
        done += n * kFrameBytes;
        if (const Sent sent = SendReady(~std::size_t{0}); sent != Sent::Played) {
            return sent;
        }
    }
    return Sent::Played;
}

// At the original key and tempo: the block whole, or in pieces where the key and tempo may
// change while it plays, until they do; done: the bytes sent.
KeyTempoOut::Sent KeyTempoOut::PlayAsItIs(const unsigned char* block, std::size_t bytes,
                                          std::uint64_t from, std::size_t& done) {
    const std::size_t pieceBytes = m_controls.keyTempoLive && m_writes >= AudioOut::kQueuedBlocks
                                       ? m_pieceFrames * kFrameBytes
                                       : bytes;
    while (done < bytes && Wanted().Neutral()) {
        const std::size_t n = std::min(pieceBytes, bytes - done);
        if (const Sent sent = Write(block + done, n); sent != Sent::Played) {
            return sent;
        }
        ++m_writes;
        done += n;
        m_heard = from + done;
    }
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

#include "jobs/key_tempo_out.h"

#include <algorithm>

#include "processing/processing.h"
#include "render/segmented_write.h"

namespace {

constexpr std::size_t kFrameBytes = 4;
// One piece queued holds more than the largest buffer a device at 40 ms latency fills at once.
constexpr unsigned kPiecesPerSecond = 20;
// The stage is fed in smaller steps, so that little made with the old key waits for the next
// piece when the key changes.
constexpr unsigned kFeedsPerPiece = 4;
// The stereo mode's pieces: a trackbar acts on the frames as they leave the remover, so the
// sound queued ahead is all that delays it. A device may take its whole buffer at once, and
// the piece playing may be all but gone when it does: one piece must hold more than the
// buffer, as a fortieth of a second does at the latency the output asks for.
constexpr unsigned kStereoPiecesPerSecond = 40;

}  // namespace

KeyTempoOut::KeyTempoOut(AudioOut& out, const PlayControls& controls, JobObserver& observer)
    : m_out(out), m_controls(controls), m_observer(observer) {}

KeyTempoOut::~KeyTempoOut() = default;

void KeyTempoOut::Start(unsigned rate) {
    if (rate != m_rate || !m_stage) {
        m_rate = rate;
        m_stage = std::make_unique<KeyTempoStage>(rate);
        m_pieceFrames = std::max<std::size_t>(rate / kPiecesPerSecond, kMinPieceFrames);
        m_stereoPieceFrames =
            std::max<std::size_t>(rate / kStereoPiecesPerSecond, kMinStereoPieceFrames);
        m_piece.resize(AudioOut::kMaxBlockBytes / kFrameBytes * kFrameBytes);
        m_stereo = std::make_unique<StereoFeed>(rate, m_piece.size() / kFrameBytes);
    }
    m_stereo->Drop();
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
                                    std::uint64_t from, bool stereo) {
    if (stereo) {
        return Remove(block, bytes, from);
    }
    if (m_stereo->Running()) {
        if (const Sent sent = EndRemoving(); sent != Sent::Played) {
            return sent;
        }
    }
    return Pass(block, bytes, from);
}

// Through the remover in the pieces PlayAsItIs sends, each put in once the device has room for
// it, so that it is made with the trackbars of the moment it goes out.
KeyTempoOut::Sent KeyTempoOut::Remove(const unsigned char* block, std::size_t bytes,
                                      std::uint64_t from) {
    if (!m_stereo->Running()) {
        m_stereo->Start();
    }
    std::size_t done = 0;
    while (done < bytes) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        const std::size_t n =
            std::min(PieceBytes(bytes - done, m_stereoPieceFrames), m_piece.size());
        m_stereo->Put(m_controls.params, block + done, n, from + done);
        done += n;
        if (const Sent sent = PassRuns(); sent != Sent::Played) {
            return sent;
        }
    }
    return Sent::Played;
}

// Whole blocks until two have gone out (see above), and where nothing changes while it plays.
// Otherwise the bytes left of a block are cut into pieces as equal as may be and none shorter
// than pieceFrames: a sliver at a block's end would hold a place in the queue with next to no
// sound in it, and the device would run dry behind it.
std::size_t KeyTempoOut::PieceBytes(std::size_t left, std::size_t pieceFrames) const {
    if (!m_controls.keyTempoLive || m_writes < AudioOut::kQueuedBlocks) {
        return left;
    }
    const std::size_t frames = left / kFrameBytes;
    const std::size_t pieces = frames / pieceFrames;
    return pieces <= 1 ? left : (frames + pieces - 1) / pieces * kFrameBytes;
}

KeyTempoOut::Sent KeyTempoOut::EndRemoving() {
    m_stereo->Finish(m_controls.params);
    return PassRuns();
}

// What the remover gave, each stretch of contiguous source on its way as a block of its own.
KeyTempoOut::Sent KeyTempoOut::PassRuns() {
    for (const StereoFeed::Run& run : m_stereo->Runs()) {
        const unsigned char* frames = m_stereo->Out() + run.offset;
        if (!m_stretching) {
            TellLevels(frames, run.bytes / kFrameBytes);
        }
        if (const Sent sent = Pass(frames, run.bytes, run.from); sent != Sent::Played) {
            return sent;
        }
    }
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Pass(const unsigned char* block, std::size_t bytes,
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
    return Stretch(block, bytes, from, done / kFrameBytes);
}

// At the original key and tempo: the block whole, or in pieces where the key and tempo may
// change while it plays, until they do; done: the bytes sent. Each piece is looked at once
// there is room for it, so that it goes out only if the key and tempo are still the original.
KeyTempoOut::Sent KeyTempoOut::PlayAsItIs(const unsigned char* block, std::size_t bytes,
                                          std::uint64_t from, std::size_t& done) {
    while (done < bytes) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        if (!Wanted().Neutral()) {
            break;
        }
        const std::size_t n = PieceBytes(bytes - done, m_pieceFrames);
        if (!m_out.Write(block + done, n)) {
            return Sent::Failed;
        }
        ++m_writes;
        done += n;
        m_heard = from + done;
    }
    return Sent::Played;
}

// The block's frames from `fed` on through the stage. It is fed just in time: only once the
// device has room for the next piece, so that each piece holds the key and tempo of the
// moment it goes out.
KeyTempoOut::Sent KeyTempoOut::Stretch(const unsigned char* block, std::size_t bytes,
                                       std::uint64_t from, std::size_t fed) {
    const std::size_t frames = bytes / kFrameBytes;
    while (fed < frames) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        while (fed < frames && m_stage->Ready() < PieceFrames()) {
            const std::size_t n = std::min(m_pieceFrames / kFeedsPerPiece, frames - fed);
            m_stage->Set(Wanted());
            m_stage->Put(block + fed * kFrameBytes, n);
            m_fed.push_back({from + fed * kFrameBytes, n});
            fed += n;
        }
        if (m_stage->Ready() >= PieceFrames()) {
            if (const Sent sent = SendPiece(); sent != Sent::Played) {
                return sent;
            }
        }
    }
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Finish() {
    if (m_stereo->Running()) {
        if (const Sent sent = EndRemoving(); sent != Sent::Played) {
            return sent;
        }
    }
    if (!m_stretching) {
        return Sent::Played;
    }
    m_stage->Flush();
    while (m_stage->Ready() > 0) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        if (const Sent sent = SendPiece(); sent != Sent::Played) {
            return sent;
        }
    }
    return Sent::Played;
}

// The first two blocks of a run are whole ones (see above), the others pieces.
std::size_t KeyTempoOut::PieceFrames() const {
    return m_writes < AudioOut::kQueuedBlocks ? m_piece.size() / kFrameBytes : m_pieceFrames;
}

// Up to a piece of what the stage made, to a device that has room for it.
KeyTempoOut::Sent KeyTempoOut::SendPiece() {
    const int tempo = m_stage->Settings().tempo;
    const std::size_t frames = m_stage->Take(m_piece.data(), PieceFrames());
    if (frames > 0 && !m_out.Write(m_piece.data(), frames * kFrameBytes)) {
        return Sent::Failed;
    }
    ++m_writes;
    TellLevels(m_piece.data(), frames);
    Account(frames, tempo);
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Room() {
    m_out.WaitForRoom();
    return m_controls.stop ? Sent::Stopped : Sent::Played;
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
void KeyTempoOut::TellLevels(const unsigned char* frames, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (m_meterCount++ % kMeterFrames == 0) {
            m_observer.Level(MeterSegments(MeterSample(FrameSample(frames + i * kFrameBytes))));
        }
    }
}

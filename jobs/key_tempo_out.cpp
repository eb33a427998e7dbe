#include "jobs/key_tempo_out.h"

#include <algorithm>

#include "processing/block.h"
#include "processing/processing.h"

namespace {

// One piece queued holds more than the largest buffer a device at 40 ms latency fills at once.
constexpr unsigned kPiecesPerSecond = 20;
// The stage is fed in smaller steps, so that little made with the old key waits for the next
// piece when the key changes.
constexpr unsigned kFeedsPerPiece = 4;
// The pieces of the remover and of the frame processing at the original key and tempo: a
// trackbar acts on a piece as it is made, just before it goes on, so the sound queued ahead is
// all that delays it. A device may take its whole buffer at once, and the piece playing may be
// all but gone when it does: one piece must hold more than the buffer, as a fortieth of a
// second does at the latency the output asks for.
constexpr unsigned kLivePiecesPerSecond = 40;

// Whether the frames are ready to go on: prepared now, or already (an empty step).
bool Prepared(const KeyTempoOut::Prepare& prepare, unsigned char* frames, std::size_t bytes) {
    return !prepare || prepare(frames, bytes);
}

}  // namespace

const std::vector<SourceTrail::Run>& SourceTrail::Take(std::size_t frames) {
    m_runs.clear();
    std::size_t offset = 0;
    while (frames > 0 && !m_fed.empty()) {
        const Fed& front = m_fed.front();
        const auto out = static_cast<std::uint64_t>(m_frontOut);
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, front.frames - out));
        const std::uint64_t from = front.from + out * kBytesPerFrame;
        if (!m_runs.empty() && m_runs.back().from + m_runs.back().bytes == from) {
            m_runs.back().bytes += n * kBytesPerFrame;  // the source goes on: one piece of sound
        } else {
            m_runs.push_back({offset, n * kBytesPerFrame, from});
        }
        offset += n * kBytesPerFrame;
        frames -= n;
        m_frontOut += static_cast<double>(n);
        if (out + n == front.frames) {
            m_fed.pop_front();
            m_frontOut = 0;
        }
    }
    return m_runs;
}

std::uint64_t SourceTrail::Follow(std::size_t frames, int tempo, std::uint64_t heard) {
    double left = static_cast<double>(frames) * tempo / 100.0;
    while (!m_fed.empty()) {
        const Fed& front = m_fed.front();
        const double rest = static_cast<double>(front.frames) - m_frontOut;
        if (left < rest) {
            m_frontOut += left;
            return front.from + static_cast<std::uint64_t>(m_frontOut) * kBytesPerFrame;
        }
        left -= rest;
        heard = front.from + front.frames * kBytesPerFrame;
        m_fed.pop_front();
        m_frontOut = 0;
    }
    return heard;
}

KeyTempoOut::KeyTempoOut(AudioOut& out, const PlayControls& controls,
                         const ProcessingParameters& params, const PlaySettings& play,
                         JobObserver& observer)
    : m_out(out), m_controls(controls), m_play(play), m_observer(observer), m_remover(params) {}

void KeyTempoOut::Start(const WaveFormat& format) {
    m_pieceFrames = std::max<std::size_t>(format.sampleRate / kPiecesPerSecond, kMinPieceFrames);
    m_livePieceFrames =
        std::max<std::size_t>(format.sampleRate / kLivePiecesPerSecond, kMinLivePieceFrames);
    m_remover.Prepare(format);
    m_stretch.Prepare(format);
    m_removing = false;
    StopStretching();
    m_heard = 0;
    m_writes = 0;
}

void KeyTempoOut::StopStretching() {
    m_stretch.Reset();
    m_stretchTrail.Clear();
    m_stretched.clear();
    m_sent = 0;
    m_stretching = false;
}

KeyTempoOut::Sent KeyTempoOut::Play(unsigned char* block, std::size_t bytes, std::uint64_t from,
                                    bool stereo, const Prepare& prepare) {
    if (stereo) {
        return Remove(block, bytes, from, prepare);
    }
    if (m_removing) {
        if (const Sent sent = EndRemoving(); sent != Sent::Played) {
            return sent;
        }
    }
    return Pass(block, bytes, from, prepare);
}

// Through the remover in the pieces PlayAsItIs sends, each put in once the device has room for
// it, so that it is made with the trackbars of the moment it goes out.
KeyTempoOut::Sent KeyTempoOut::Remove(unsigned char* block, std::size_t bytes, std::uint64_t from,
                                      const Prepare& prepare) {
    if (!m_removing) {
        m_remover.Reset();
        m_removerTrail.Clear();
        m_removing = true;
    }
    std::size_t done = 0;
    while (done < bytes) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        const std::size_t n = std::min(PieceBytes(bytes - done), kBlockBytes);
        if (!Prepared(prepare, block + done, n)) {
            return Sent::Cut;
        }
        m_removed.clear();
        m_remover.Process(block + done, n, m_removed);
        m_removerTrail.Put(from + done, n / kBytesPerFrame);
        done += n;
        if (const Sent sent = PassRuns(); sent != Sent::Played) {
            return sent;
        }
    }
    return Sent::Played;
}

// Whole blocks until two have gone out (see above), and where nothing changes while it plays.
// Otherwise the bytes left of a block are cut into pieces as equal as may be and none shorter
// than a live piece: a sliver at a block's end would hold a place in the queue with next to no
// sound in it, and the device would run dry behind it.
std::size_t KeyTempoOut::PieceBytes(std::size_t left) const {
    if (!m_controls.keyTempoLive || m_writes < AudioOut::kQueuedBlocks) {
        return left;
    }
    const std::size_t frames = left / kBytesPerFrame;
    const std::size_t pieces = frames / m_livePieceFrames;
    return pieces <= 1 ? left : (frames + pieces - 1) / pieces * kBytesPerFrame;
}

KeyTempoOut::Sent KeyTempoOut::EndRemoving() {
    m_removed.clear();
    m_remover.Finish(m_removed);
    m_removing = false;
    return PassRuns();
}

// What the remover gave, each stretch of contiguous source on its way as a block of its own.
KeyTempoOut::Sent KeyTempoOut::PassRuns() {
    for (const SourceTrail::Run& run : m_removerTrail.Take(m_removed.size() / kBytesPerFrame)) {
        unsigned char* frames = m_removed.data() + run.offset;
        if (!m_stretching) {
            TellLevels(frames, run.bytes / kBytesPerFrame);
        }
        if (const Sent sent = Pass(frames, run.bytes, run.from, {}); sent != Sent::Played) {
            return sent;
        }
    }
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Pass(unsigned char* block, std::size_t bytes, std::uint64_t from,
                                    const Prepare& prepare) {
    // Back at the original key and tempo, the stage is left where the sound jumps anyway: at
    // a seek or a loop's start, so that nothing it holds is missed.
    if (m_stretching && Wanted().Neutral() && from != m_next) {
        StopStretching();
    }
    std::size_t done = 0;
    if (!m_stretching) {
        if (const Sent sent = PlayAsItIs(block, bytes, from, prepare, done); sent != Sent::Played) {
            return sent;
        }
    }
    m_next = from + bytes;
    if (done == bytes) {
        return Sent::Played;
    }
    m_stretching = true;
    return Stretch(block, bytes, from, done / kBytesPerFrame, prepare);
}

// At the original key and tempo: the block whole, or in pieces where the key and tempo may
// change while it plays, until they do; done: the bytes sent. Each piece is looked at once
// there is room for it, so that it goes out only if the key and tempo are still the original.
KeyTempoOut::Sent KeyTempoOut::PlayAsItIs(unsigned char* block, std::size_t bytes,
                                          std::uint64_t from, const Prepare& prepare,
                                          std::size_t& done) {
    while (done < bytes) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        if (!Wanted().Neutral()) {
            break;
        }
        const std::size_t n = PieceBytes(bytes - done);
        if (!Prepared(prepare, block + done, n)) {
            return Sent::Cut;
        }
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
KeyTempoOut::Sent KeyTempoOut::Stretch(unsigned char* block, std::size_t bytes, std::uint64_t from,
                                       std::size_t fed, const Prepare& prepare) {
    const std::size_t frames = bytes / kBytesPerFrame;
    while (fed < frames) {
        if (const Sent room = Room(); room != Sent::Played) {
            return room;
        }
        while (fed < frames && Ready() < PieceFrames()) {
            const std::size_t n = std::min(m_pieceFrames / kFeedsPerPiece, frames - fed);
            if (!Prepared(prepare, block + fed * kBytesPerFrame, n * kBytesPerFrame)) {
                return Sent::Cut;
            }
            m_stretched.erase(m_stretched.begin(),
                              m_stretched.begin() + static_cast<std::ptrdiff_t>(m_sent));
            m_sent = 0;
            m_stretch.Set(Wanted());
            m_stretch.Process(block + fed * kBytesPerFrame, n * kBytesPerFrame, m_stretched);
            m_stretchTrail.Put(from + fed * kBytesPerFrame, n);
            fed += n;
        }
        if (Ready() >= PieceFrames()) {
            if (const Sent sent = SendPiece(); sent != Sent::Played) {
                return sent;
            }
        }
    }
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Finish() {
    if (m_removing) {
        if (const Sent sent = EndRemoving(); sent != Sent::Played) {
            return sent;
        }
    }
    if (!m_stretching) {
        return Sent::Played;
    }
    m_stretch.Finish(m_stretched);
    while (Ready() > 0) {
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
    return m_writes < AudioOut::kQueuedBlocks ? kBlockFrames : m_pieceFrames;
}

std::size_t KeyTempoOut::Ready() const {
    return (m_stretched.size() - m_sent) / kBytesPerFrame;
}

// Up to a piece of what the stage made, to a device that has room for it.
KeyTempoOut::Sent KeyTempoOut::SendPiece() {
    const std::size_t frames = std::min(Ready(), PieceFrames());
    const unsigned char* piece = m_stretched.data() + m_sent;
    if (frames > 0 && !m_out.Write(piece, frames * kBytesPerFrame)) {
        return Sent::Failed;
    }
    m_sent += frames * kBytesPerFrame;
    ++m_writes;
    TellLevels(piece, frames);
    // Frames played at a tempo stand for tempo/100 as many source frames.
    m_heard = m_stretchTrail.Follow(frames, m_stretch.Settings().tempo, m_heard);
    return Sent::Played;
}

KeyTempoOut::Sent KeyTempoOut::Room() {
    m_out.WaitForRoom();
    return m_controls.stop.stop_requested() ? Sent::Stopped : Sent::Played;
}

// The level at the meter's stride through the sound sent, as a block's processing tells it.
void KeyTempoOut::TellLevels(const unsigned char* frames, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (m_meterCount++ % kMeterFrames == 0) {
            m_observer.Level(MeterSegments(MeterSample(FrameSample(frames + i * kBytesPerFrame))));
        }
    }
}

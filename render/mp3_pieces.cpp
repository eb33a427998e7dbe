#include "render/mp3_pieces.h"

#include <algorithm>

#include "render/render_pool.h"

Mp3Pieces::Mp3Pieces(EncoderSettings settings, int rate, AudioEncoder& muxer, RenderPool* pool,
                     Mp3PieceLayout layout)
    : m_settings(std::move(settings)),
      m_rate(rate),
      m_muxer(muxer),
      m_pool(pool),
      m_layout(layout),
      m_pieces(pool) {}

std::uint64_t Mp3Pieces::PieceStart(std::size_t piece) const {
    const std::size_t frame = piece * m_layout.frames;
    return frame > m_layout.preroll ? (frame - m_layout.preroll) * kFrameSamples : 0;
}

std::uint64_t Mp3Pieces::PieceEnd(std::size_t piece) const {
    return ((piece + 1) * m_layout.frames + m_layout.overrun) * kFrameSamples;
}

bool Mp3Pieces::Fail(const std::string& what) {
    if (m_error.empty()) {
        m_error = what;
    }
    return false;
}

bool Mp3Pieces::Write(const std::int16_t* frames, std::size_t count) {
    m_buffer.insert(m_buffer.end(), frames, frames + count * 2);
    m_received += count;
    while (m_received >= PieceEnd(m_submitted)) {
        Submit(PieceEnd(m_submitted));
        if (!JoinUntil(m_pool != nullptr ? static_cast<std::size_t>(m_pool->Threads()) : 0)) {
            return false;
        }
    }
    return m_error.empty();
}

// The next piece's input, to end, to its encoder: on the pool, or here without one.
void Mp3Pieces::Submit(std::uint64_t end) {
    auto piece = std::make_shared<Piece>();
    piece->index = m_submitted;
    const std::uint64_t start = PieceStart(m_submitted);
    piece->firstFrame = static_cast<std::size_t>(start / kFrameSamples);
    piece->end = end;
    piece->samples.assign(
        m_buffer.begin() + static_cast<std::ptrdiff_t>((start - m_bufferStart) * 2),
        m_buffer.begin() + static_cast<std::ptrdiff_t>((end - m_bufferStart) * 2));
    ++m_submitted;
    // The next piece starts within this one; what lies before it is done with.
    const std::uint64_t keep = std::min(PieceStart(m_submitted), end);
    m_buffer.erase(m_buffer.begin(),
                   m_buffer.begin() + static_cast<std::ptrdiff_t>((keep - m_bufferStart) * 2));
    m_bufferStart = keep;

    m_pieces.Submit([piece, settings = m_settings, rate = m_rate] {
        Encode(*piece, settings, rate);
        return std::move(*piece);
    });
}

// Joins the oldest pieces until at most pending are left.
bool Mp3Pieces::JoinUntil(std::size_t pending) {
    while (m_pieces.Pending() > pending) {
        Piece next = m_pieces.TakeOldest();
        if (!next.error.empty()) {
            return Fail(next.error);
        }
        if (!Join(std::move(next))) {
            return false;
        }
    }
    return true;
}

// The next piece takes over where the joined stream meets it cleanly, or the stream's own
// encoder goes on through it.
bool Mp3Pieces::Join(Piece next) {
    if (m_tail == nullptr) {
        m_tail = std::move(next.encoder);
        m_tailEnd = next.end;
        m_joined = std::move(next.packets);
        return true;
    }
    const std::size_t boundary = next.index * m_layout.frames;
    const auto join = FindMp3Join({m_joined, m_joinedFirst}, {next.packets, next.firstFrame},
                                  next.firstFrame + m_layout.warmUp, boundary + 1);
    if (!join) {
        ++m_inOrder;
        return Continue(next);
    }
    if (!JoinMp3({m_joined, m_joinedFirst}, {next.packets, next.firstFrame}, *join)) {
        return Fail("the encoded pieces cannot be joined");
    }
    m_tail = std::move(next.encoder);
    m_tailEnd = next.end;
    // Later joins change only frames after this one: the frames before it are final.
    return WriteBefore(*join);
}

bool Mp3Pieces::Continue(const Piece& next) {
    const std::uint64_t nextStart = PieceStart(next.index);
    const std::size_t from = static_cast<std::size_t>((m_tailEnd - nextStart) * 2);
    const std::size_t count = (next.samples.size() - from) / 2;
    if (!m_tail->Write(next.samples.data() + from, count, m_joined)) {
        return Fail(m_tail->Error());
    }
    m_tailEnd = next.end;
    return true;
}

bool Mp3Pieces::WriteBefore(std::size_t frame) {
    const auto count = static_cast<std::ptrdiff_t>(frame - m_joinedFirst);
    const std::vector<EncodedPacket> settled(m_joined.begin(), m_joined.begin() + count);
    m_joined.erase(m_joined.begin(), m_joined.begin() + count);
    m_joinedFirst = frame;
    return m_muxer.WritePackets(settled) || Fail(m_muxer.Error());
}

bool Mp3Pieces::Finish() {
    if (!m_error.empty()) {
        return false;
    }
    Submit(m_received);
    if (!JoinUntil(0)) {
        return false;
    }
    if (!m_tail->Finish(m_joined)) {
        return Fail(m_tail->Error());
    }
    return WriteBefore(m_joinedFirst + m_joined.size()) &&
           (m_muxer.FinishPackets() || Fail(m_muxer.Error()));
}

void Mp3Pieces::Encode(Piece& piece, const EncoderSettings& settings, int rate) {
    const CodecModule* codecs = Codecs();
    piece.encoder = codecs != nullptr ? codecs->newPacketEncoder(settings) : nullptr;
    if (piece.encoder == nullptr) {
        piece.error = "the MP3 encoder cannot be loaded";
        return;
    }
    if (!piece.encoder->Open(rate) ||
        !piece.encoder->Write(piece.samples.data(), piece.samples.size() / 2, piece.packets)) {
        piece.error = piece.encoder->Error();
    }
}

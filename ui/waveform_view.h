#pragma once

// The waveform overview: the song's envelope as it arrives, the part the removal takes in a
// colour of its own, a time ruler, the play head and the loop region. It knows nothing of
// playing: a click asks for a move, a drag for a loop region (a drag that starts on an edge
// moves that edge), and the window tells it the envelope, the length, the play head and the
// loop in frames. Keys: Left/Right move the head a second (Page Up/Down ten, Home/End to the
// start and the end), Shift+Left/Right move the loop start a tenth of a second,
// Ctrl+Shift+Left/Right the loop end; Escape during a drag puts the loop back as it was.

#include <QWidget>
#include <cstdint>
#include <vector>

#include "jobs/waveform_scan.h"

class WaveformView : public QWidget {
    Q_OBJECT

  public:
    explicit WaveformView(QWidget* parent = nullptr);

    // A new song: nothing of it is known yet.
    void Clear();
    // The data's frames as far as known, at rate frames a second.
    void SetLength(std::uint64_t frames, unsigned rate);
    // Buckets of kEnvelopeFrames frames, the first of them the bucket of index first; those
    // of a new measure of the same song take the place of the old ones.
    void AddEnvelope(std::uint64_t first, const std::vector<EnvelopeBucket>& buckets);
    // Negative: no play head.
    void SetPlayHead(std::int64_t frame);
    // The loop region, end exclusive; ignored while the user drags one.
    void SetLoop(std::int64_t start, std::int64_t end);

    std::uint64_t Frames() const { return m_frames; }
    std::size_t Buckets() const { return m_buckets.size(); }
    std::int64_t LoopStart() const { return m_loopStart; }
    std::int64_t LoopEnd() const { return m_loopEnd; }
    // The frame under x (widget pixels), and where a frame is drawn.
    std::int64_t FrameAt(double x) const;
    double XOf(std::int64_t frame) const;
    // "1:23.40"; without the hundredths with whole false.
    static QString TimeText(std::int64_t frame, unsigned rate, bool hundredths = true);

  signals:
    void seekRequested(qint64 frame);
    void loopRequested(qint64 start, qint64 end);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    enum class Drag { None, Pending, Region, StartEdge, EndEdge };

    void PaintEnvelope(QPainter& painter, const QRect& wave) const;
    void PaintRuler(QPainter& painter, const QRect& ruler) const;
    void DragTo(double x);
    void MoveEdge(bool end, std::int64_t by);
    void Describe();

    std::vector<EnvelopeBucket> m_buckets;
    std::uint64_t m_frames = 0;
    unsigned m_rate = 0;
    std::int64_t m_head = -1;
    std::int64_t m_loopStart = 0;
    std::int64_t m_loopEnd = 0;
    Drag m_drag = Drag::None;
    double m_pressX = 0;
    std::int64_t m_before[2] = {0, 0};  // the loop as it was when a drag began
};

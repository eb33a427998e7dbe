#include "jobs/playback_job.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "jobs/key_tempo_out.h"
#include "jobs/loudness_out.h"
#include "processing/block.h"
#include "processing/fast_frames.h"
#include "render/metered_frames.h"
#include "render/position_counter.h"

namespace {

// One file's walk, and the pass loop for each of its "data" chunks.
class Playback : public WalkHandler {
  public:
    Playback(PlayInput& input, PlayControls& controls, AudioOut& out, WaveFormat& format,
             JobObserver& observer, bool once, LoudnessOut* loudness)
        : m_once(once),
          m_loudness(loudness),
          m_input(input),
          m_controls(controls),
          m_out(out),
          m_format(format),
          m_output(out, controls, m_params, m_play, observer),
          m_observer(observer),
          m_counter(observer),
          m_block(kBlockBytes) {
        TakeSettings();
    }

    bool Container(const unsigned char* /*bytes*/, std::size_t /*n*/) override { return true; }
    void Format(const WaveFormat& format) override { m_format = format; }
    bool Data(std::uint64_t length) override;

    JobResult::Kind Result() const { return m_result; }
    std::uint64_t BytesPlayed() const { return m_bytesPlayed; }

  private:
    bool Refuse(JobError error, std::string detail = {}) {
        m_observer.Message({error, std::move(detail)});
        m_result = JobResult::Refused;
        return false;
    }
    std::int64_t Pos(int v) const { return PositionBytes(v, m_counter.StepBytes()); }
    // The loop region in bytes of the data: to the frame while one is set, else the
    // trackbars' steps.
    struct Region {
        std::int64_t start;
        std::int64_t end;
        bool frames;
    };
    Region LoopRegion() const;
    void SetPosition(int steps);
    void ResetLoop(JobError error);
    void RefreshLength();
    void StartPositions();
    void MoveToLoopStart(std::int64_t& q, const Region& loop);
    void Reposition();
    bool PreparePiece(unsigned char* at, std::size_t bytes);
    KeyTempoOut::Sent OutputBlock();
    bool Handed(KeyTempoOut::Sent sent);
    void TellPosition();
    void Passes();
    void TakeSettings() {
        m_controls.settings.TakeNewer(m_params, m_paramsSeen);
        m_controls.play.TakeNewer(m_play, m_playSeen);
    }

    const bool m_once;
    LoudnessOut* m_loudness;  // out itself, where the loudness is matched; else null
    PlayInput& m_input;
    PlayControls& m_controls;
    // The settings the frames of the moment are made with, taken from the controls before
    // each piece.
    ProcessingParameters m_params;
    std::uint64_t m_paramsSeen = 0;
    PlaySettings m_play;  // the loop, key and tempo, taken at each block and piece
    std::uint64_t m_playSeen = 0;
    AudioOut& m_out;
    WaveFormat& m_format;
    KeyTempoOut m_output;  // where blocks go out, in the key and tempo of the moment
    JobObserver& m_observer;
    JobObserver m_quiet;  // takes the block's levels where m_output tells its own
    PositionCounter m_counter;
    std::vector<unsigned char> m_block;
    JobResult::Kind m_result = JobResult::Done;
    std::uint64_t m_bytesPlayed = 0;
    bool m_loopWarned = false;  // once per job: a file of a million tiny chunks brings one

    // The pass loop's state, for the chunk being played.
    std::int64_t m_dataStart = 0;
    std::uint64_t m_walked = 0;  // the chunk's length as its header said
    std::uint64_t m_length = 0;
    std::uint64_t m_position = 0;  // sample bytes consumed: where the next block starts
    std::size_t m_read = 0;        // bytes of the last block read
    bool m_restart = false;        // the next pass goes back to the loop start
    bool m_moved = false;          // a reposition went back to the loop start
    bool m_starting = false;       // the first reposition: it starts at the loop start
    bool m_stopped = false;
    bool m_queued = false;       // a block went to the device
    bool m_endedAtLoop = false;  // played once to the loop end
    FrameState m_frames{};
    // The block being played: the meter sample of its last frame processed, and its bytes
    // processed and gone on to the device.
    std::int16_t m_meter = 0;
    std::size_t m_handed = 0;
};

bool Playback::Data(std::uint64_t length) {
    if (m_format.channels != 2) {
        return Refuse(JobError::NotStereo);
    }
    if (m_format.BytesPerSample() != 2) {
        return Refuse(JobError::Not16Bit);
    }
    if (!m_out.Open({static_cast<int>(m_format.sampleRate), 2})) {
        return Refuse(JobError::NoDevice);
    }
    m_walked = length;
    m_frames = FrameState{};
    m_stopped = false;
    m_queued = false;
    StartPositions();
    m_output.Start(m_format);
    Passes();
    if (!m_stopped && m_result == JobResult::Done && Handed(m_output.Finish())) {
        TellPosition();  // the stage's and the remover's last frames
    }
    m_out.Drain();
    // The buttons go idle as the last sound ends, not once the device has closed.
    if (m_stopped && m_queued) {
        m_observer.PlayedOut();
    }
    m_out.Close();
    if (m_stopped || m_controls.stop.stop_requested()) {
        m_result = m_result == JobResult::Done ? JobResult::Stopped : m_result;
    }
    // A stopped playback, or one that played its loop once, has nothing more to do in this
    // file: the walk must not read on from the middle of the sample data.
    return m_result == JobResult::Done && !m_endedAtLoop && !m_input.Failed();
}

void Playback::ResetLoop(JobError error) {
    if (!m_loopWarned || error != JobError::LoopAtStart) {
        m_observer.Message({error});
    }
    m_loopWarned = m_loopWarned || error == JobError::LoopAtStart;
    m_play.loopStart = RowOf(Knob::LoopStart).min;
    m_play.loopEnd = RowOf(Knob::LoopEnd).max;
    m_observer.Loop(m_play.loopStart, m_play.loopEnd);
}

// A decoded copy still being written knows only the length its stream declares; the input
// tells the exact one once it has it, and the positions follow.
void Playback::RefreshLength() {
    m_length = m_input.DataLength(m_walked, m_position);
    m_counter.SetLength(m_length);
}

Playback::Region Playback::LoopRegion() const {
    const std::int64_t start = m_play.loopStartFrame;
    const std::int64_t end = m_play.loopEndFrame;
    if (start >= 0 && end > start) {
        const auto frame = static_cast<std::int64_t>(kBytesPerFrame);
        return {start * frame, end * frame, true};
    }
    return {Pos(m_play.loopStart), Pos(m_play.loopEnd), false};
}

// The counter, and the trackbar's value the window reads back.
void Playback::SetPosition(int steps) {
    m_play.playPos = steps;
    m_counter.Set(steps);
}

void Playback::StartPositions() {
    m_dataStart = m_input.Tell();
    m_position = 0;
    RefreshLength();
    const Region loop = LoopRegion();
    if (!loop.frames && loop.start >= loop.end) {
        ResetLoop(JobError::LoopAtStart);
    }
    m_restart = true;  // the first pass moves to the loop start
    m_starting = true;
    SetPosition(loop.frames ? m_counter.StepAt(loop.start) : m_play.loopStart);
}

void Playback::MoveToLoopStart(std::int64_t& q, const Region& loop) {
    q = loop.start;
    SetPosition(loop.frames ? m_counter.StepAt(loop.start) : m_play.loopStart);
    m_moved = true;
}

// At the start, after each loop end and on a move asked for: back to the loop start, or to
// the place asked for when it lies inside the loop, not within a step of its end (a loop to
// the frame: before its end).
void Playback::Reposition() {
    m_input.Seek(m_dataStart);
    // A move asked for before the start gives way to the loop start, as the counter does.
    const std::int64_t asked = m_controls.seek && !m_starting ? m_controls.seekFrame.Get() : -1;
    Region loop = LoopRegion();
    std::int64_t q =
        asked >= 0 ? asked * static_cast<std::int64_t>(kBytesPerFrame) : Pos(m_play.playPos);
    if (loop.frames && (!m_controls.seek || m_starting)) {
        q = loop.start;  // the counter's coarse step would land short of the loop's end
    }
    if (loop.start >= loop.end) {
        ResetLoop(JobError::LoopAtReposition);
        loop = {0, Pos(m_play.loopEnd), false};  // the whole range from here on
    }
    if (q <= loop.start) {
        MoveToLoopStart(q, loop);
    }
    if (q >= loop.end - (loop.frames ? 0 : static_cast<std::int64_t>(m_counter.StepBytes()))) {
        MoveToLoopStart(q, loop);
    }
    m_input.Seek(m_dataStart + q);
    m_position = static_cast<std::uint64_t>(q);
    if (!m_moved) {
        SetPosition(asked >= 0 ? m_counter.StepAt(q) : m_play.playPos);
    }
    m_moved = false;
    m_starting = false;
    m_controls.seek = 0;
    m_restart = false;
}

// Processes a piece of the block in place with the latest settings, just before it goes on,
// refreshing the meter after every frame whose offset in the block is a multiple of the
// meter's stride. A seek or stop request ends the block at the next of those frames: the piece
// is then not played.
bool Playback::PreparePiece(unsigned char* at, std::size_t bytes) {
    TakeSettings();
    const auto first = static_cast<std::size_t>(at - m_block.data()) / kBytesPerFrame;
    const std::size_t end = first + bytes / kBytesPerFrame;
    const MeteredBlock done =
        MeteredFrames(m_block.data(), first, end, m_output.TellsLevels() ? m_quiet : m_observer,
                      [&](unsigned char* from, std::size_t count) {
                          if (m_controls.seek || m_controls.stop.stop_requested()) {
                              return MeteredRun{0, true};
                          }
                          ProcessFrames(m_frames, m_params, from, count);
                          return MeteredRun{count, false};
                      });
    if (done.frames > first) {
        m_meter = done.meter;
    }
    if (done.frames < end) {
        return false;
    }
    m_handed += bytes;
    return true;
}

KeyTempoOut::Sent Playback::OutputBlock() {
    m_handed = 0;
    TakeSettings();
    const bool stereo = m_params.mode == PlayMode::Stereo;
    const bool levelsHere = !m_output.TellsLevels();  // else the output tells its own
    const KeyTempoOut::Sent sent = m_output.Play(
        m_block.data(), m_read, m_position, stereo,
        [this](unsigned char* at, std::size_t bytes) { return PreparePiece(at, bytes); });
    if (levelsHere && m_handed > 0 && !m_controls.stop.stop_requested()) {
        m_observer.Level(MeterSegments(m_meter));
    }
    m_queued = m_queued || m_handed > 0;
    m_bytesPlayed += m_handed;
    return sent;
}

bool Playback::Handed(KeyTempoOut::Sent sent) {
    // Stopped: what is queued plays out; the block that waited for room is not heard.
    m_stopped = m_stopped || sent == KeyTempoOut::Sent::Stopped;
    if (sent == KeyTempoOut::Sent::Failed) {
        Refuse(JobError::DeviceFailed, m_out.Error());
    }
    return sent == KeyTempoOut::Sent::Played || sent == KeyTempoOut::Sent::Cut;
}

// The counter follows the bytes played, so that the thumb, its tooltip and the loop end all
// mean the same byte position at every length of data; with a key or tempo, the source bytes
// of the sound handed to the device.
void Playback::TellPosition() {
    m_observer.HeardFrame(static_cast<std::int64_t>(m_output.Heard() / kBytesPerFrame));
    if (const std::optional<int> steps = m_counter.Moved(m_output.Heard())) {
        SetPosition(*steps);
    }
}

void Playback::Passes() {
    for (;;) {
        RefreshLength();
        if (m_controls.seek || m_restart) {
            TakeSettings();  // a move asked for publishes its position first
            Reposition();
        }
        if (m_controls.stop.stop_requested()) {
            m_stopped = true;
            return;
        }
        // A loop to the frame ends exactly at its end; one in steps at the first block
        // boundary at or after it.
        std::uint64_t until = m_length;
        if (const Region loop = LoopRegion();
            loop.frames && static_cast<std::int64_t>(m_position) < loop.end) {
            until = std::min(until, static_cast<std::uint64_t>(loop.end));
        }
        const std::uint64_t left = m_position < until ? until - m_position : 0;
        m_read = m_input.Read(m_block.data(),
                              static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlockBytes)));
        if (m_read == 0) {
            if (m_controls.seek && !m_controls.stop.stop_requested()) {
                continue;  // a wait for data not yet decoded gave way to a move
            }
            return;
        }
        if (m_loudness != nullptr) {
            m_loudness->Input(m_block.data(), m_read);
        }
        const KeyTempoOut::Sent sent = OutputBlock();
        if (sent == KeyTempoOut::Sent::Cut) {
            continue;  // the rest of the block is dropped: the next pass moves or stops
        }
        if (!Handed(sent)) {
            return;
        }
        m_position += m_read;
        TellPosition();
        RefreshLength();
        if (m_position >= m_length) {
            return;  // the data ended
        }
        TakeSettings();  // a loop end moved while the block went out counts now
        if (static_cast<std::int64_t>(m_position) >= LoopRegion().end) {
            if (m_once) {
                m_endedAtLoop = true;
                return;
            }
            m_restart = true;
        }
    }
}

}  // namespace

JobResult PlayWave(PlayInput& input, PlayControls& controls, AudioOut& out, WaveFormat& format,
                   JobObserver& observer, bool once) {
    std::optional<LoudnessOut> loudness;
    if (controls.play.Read().matchLoudness || controls.loudnessTarget) {
        loudness.emplace(out, controls.loudnessTarget);
    }
    Playback playback(input, controls, loudness ? static_cast<AudioOut&>(*loudness) : out, format,
                      observer, once, loudness ? &*loudness : nullptr);
    WalkWave(input, playback);
    if (input.Failed()) {
        observer.Message(input.Failure());
        return {JobResult::Failed, playback.BytesPlayed()};
    }
    return {playback.Result(), playback.BytesPlayed()};
}

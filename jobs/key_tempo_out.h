#pragma once

// Where a playback's processed blocks go out to the sound device. At the original key and tempo
// a block goes out as it is, as it always did. Otherwise it goes through the key and tempo
// stage in steps of an eightieth of a second, and what comes out goes to the device in pieces
// of a twentieth (and never fewer frames than a twentieth at 44.1 kHz: see kMinPieceFrames),
// each as soon as there is room for it: a change of key or tempo is heard after the two pieces
// queued ahead of it, not after whole blocks. Where the key and tempo may change while it plays
// (the window), blocks at the original ones go out in pieces of a fortieth (a block cut evenly,
// so that its end is no sliver), the same bytes, so that the first change is heard as soon.
// Each piece of a block is prepared (the frame processing with the trackbars of that moment)
// just before it goes on, so that a move is heard after the pieces queued ahead of it in every
// mode, not after the rest of a block. The first two blocks of a run are whole ones either way:
// a device that starts to play fills its buffer at once, and would find two pieces gone and the
// queue dry. It keeps count of which source bytes the sound handed to the device was made of.
// While the stage or the stereo mode's remover is in use, it tells the levels itself: the meter
// then shows those of the sound that goes to the device.
//
// In the stereo mode the blocks go through the remover first (RemoverStage), in pieces of a
// fortieth of a second or a little more, each as the device has room for it, so that a
// trackbar is heard after little more than two of them; the counts then follow the source
// frames the remover's output was made of. A switch into the mode starts a run of the remover
// at the next frame, a switch out of it lets what the remover holds come out first: the sound
// neither skips nor repeats. A run of the remover starts with the first frame put and ends
// flushed by silence, as a write's does: a run from the data's start to its end plays what
// `render --mode stereo` writes. A loop back or a seek goes on through the same run, so that
// the sound at the jump is the remover's blend of both sides, heard a latency later.

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "container/wave_format.h"
#include "jobs/controls.h"
#include "playback/audio_out.h"
#include "render/job_observer.h"
#include "render/remover_stage.h"
#include "render/stretch_stage.h"

// The source bytes that the frames a stage gave were made of, in the order they went in.
class SourceTrail {
  public:
    // A stretch of contiguous source in the stage's output.
    struct Run {
        std::size_t offset;  // bytes into the output
        std::size_t bytes;
        std::uint64_t from;  // source byte of its first frame
    };

    void Clear() {
        m_fed.clear();
        m_frontOut = 0;
    }
    void Put(std::uint64_t from, std::uint64_t frames) { m_fed.push_back({from, frames}); }
    // frames out stand for as many frames put: the stretches of source they were made of.
    const std::vector<Run>& Take(std::size_t frames);
    // frames out at tempo stand for tempo/100 as many frames put: the source byte they reach,
    // or heard when nothing was put.
    std::uint64_t Follow(std::size_t frames, int tempo, std::uint64_t heard);

  private:
    struct Fed {
        std::uint64_t from;  // source byte
        std::uint64_t frames;
    };
    std::deque<Fed> m_fed;  // put and not wholly out yet
    double m_frontOut = 0;  // frames of the first of them out
    std::vector<Run> m_runs;
};

class KeyTempoOut {
  public:
    // Cut: the preparation of a piece ended the block there (a move or a stop asked for): what
    // went before plays, the rest of the block does not.
    enum class Sent { Played, Stopped, Failed, Cut };
    // Processes bytes of a block's frames in place just before they go on; false ends the
    // block there. Empty for frames already prepared (the remover's).
    using Prepare = std::function<bool(unsigned char* frames, std::size_t bytes)>;

    // The fewest frames a piece holds at any rate: a device takes its buffer in frames, a
    // thousand or so whatever the rate (at 8 kHz, an eighth of a second at once), so two
    // pieces queued must hold more than that at every rate, as they do at 44.1 kHz.
    static constexpr std::size_t kMinPieceFrames = 2205;
    static constexpr std::size_t kMinLivePieceFrames = 1103;

    // stop is read from controls; the remover runs with params and the stage with play's key
    // and tempo, which the caller keeps up to date.
    KeyTempoOut(AudioOut& out, const PlayControls& controls, const ProcessingParameters& params,
                const PlaySettings& play, JobObserver& observer);
    KeyTempoOut(const KeyTempoOut&) = delete;
    KeyTempoOut& operator=(const KeyTempoOut&) = delete;

    // A run of sample data in this format starts: the stages start empty.
    void Start(const WaveFormat& format);
    // Plays the frames made of the source bytes from `from` on, each piece prepared just before
    // it goes on, through the remover when stereo. Stopped when the stop request came while it
    // waited for room (what is queued plays out); Failed when the device failed.
    Sent Play(unsigned char* block, std::size_t bytes, std::uint64_t from, bool stereo,
              const Prepare& prepare);
    // The run ended: the sound still in the remover and the stage goes to the device.
    Sent Finish();
    // The source position, in bytes, that the sound handed to the device has reached.
    std::uint64_t Heard() const { return m_heard; }

    // Whether it tells the levels of what goes to the device itself: while the stage or the
    // remover is in use.
    bool TellsLevels() const { return m_stretching || m_removing; }

  private:
    KeyTempo Wanted() const { return {m_play.key, m_play.tempo}; }
    Sent Remove(unsigned char* block, std::size_t bytes, std::uint64_t from,
                const Prepare& prepare);
    Sent EndRemoving();
    Sent PassRuns();
    Sent Pass(unsigned char* block, std::size_t bytes, std::uint64_t from, const Prepare& prepare);
    Sent PlayAsItIs(unsigned char* block, std::size_t bytes, std::uint64_t from,
                    const Prepare& prepare, std::size_t& done);
    Sent Stretch(unsigned char* block, std::size_t bytes, std::uint64_t from, std::size_t fed,
                 const Prepare& prepare);
    std::size_t PieceFrames() const;
    std::size_t PieceBytes(std::size_t left) const;
    std::size_t Ready() const;  // frames the key and tempo stage gave and are not sent yet
    Sent SendPiece();
    // Waits until the device has room; Stopped when the stop request came meanwhile.
    Sent Room();
    void TellLevels(const unsigned char* frames, std::size_t count);
    void StopStretching();

    AudioOut& m_out;
    const PlayControls& m_controls;
    const PlaySettings& m_play;  // the key and tempo of the moment
    JobObserver& m_observer;
    std::size_t m_pieceFrames = 0;
    std::size_t m_livePieceFrames = 0;  // a fortieth: the remover's, and the frame processing's
    RemoverStage m_remover;
    StretchStage m_stretch;
    bool m_removing = false;
    bool m_stretching = false;
    std::size_t m_writes = 0;  // blocks written in the run
    StageBytes m_removed;      // what the remover gave for the last piece
    StageBytes m_stretched;    // what the key and tempo stage gave, from m_sent on not yet sent
    std::size_t m_sent = 0;
    SourceTrail m_removerTrail;
    SourceTrail m_stretchTrail;
    std::uint64_t m_next = 0;  // source byte after the last block put in
    std::uint64_t m_heard = 0;
    std::uint64_t m_meterCount = 0;  // frames sent since the last level told
};

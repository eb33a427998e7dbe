#pragma once

// What the window is doing with the one job it may run. Only the user-interface thread
// reads or changes it, so every command sees the phase the previous command left: a job
// that ends on its worker tells the window through a queued call, and until that call runs
// the window still counts the playback as running.
enum class JobPhase {
    Idle,
    Playing,         // a playback job runs, or has ended and its end is not yet handled
    RestartPending,  // a playback ended at the end of its data and starts again
    Writing,         // a write job runs, or its confirmation is being asked for
};

class JobPhaseState {
  public:
    JobPhase Phase() const { return m_phase; }
    bool Idle() const { return m_phase == JobPhase::Idle; }

    // Idle -> Writing; false when a playback runs or a write is already under way.
    bool BeginWrite() {
        if (m_phase != JobPhase::Idle) {
            return false;
        }
        m_phase = JobPhase::Writing;
        return true;
    }
    void EndWrite() { m_phase = JobPhase::Idle; }
    void PlaybackStarted() { m_phase = JobPhase::Playing; }
    void PlaybackStopped() { m_phase = JobPhase::Idle; }
    void PlaybackRestarting() { m_phase = JobPhase::RestartPending; }

  private:
    JobPhase m_phase = JobPhase::Idle;
};

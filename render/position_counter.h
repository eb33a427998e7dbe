#pragma once

// The play-position counter, in trackbar steps, over a run of sample data: a step is the
// data's length divided by kPositionSteps. A playback moves it to the source bytes heard; a
// write moves it on one step at a time, so that whoever watches it sees every step.

#include <algorithm>
#include <cstdint>
#include <optional>

#include "render/job_observer.h"
#include "trackbars/parameters.h"

class PositionCounter {
  public:
    explicit PositionCounter(JobObserver& observer) : m_observer(observer) {}

    // The data is this long (it may be known better later); the counter stays where it is.
    void SetLength(std::uint64_t length) { m_step = length / kPositionSteps; }
    std::uint64_t StepBytes() const { return m_step; }

    // The step at a byte of the data; past the highest position (the last tenth of the data)
    // the thumb stays at its end.
    int StepAt(std::int64_t bytes) const {
        if (m_step == 0 || bytes <= 0) {
            return 0;
        }
        return static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(bytes) / m_step,
                                                        RowOf(Knob::PlayPos).max));
    }
    // Moves to steps and says so, even where it stood there already.
    void Set(int steps) {
        m_steps = steps;
        m_observer.Position(steps);
    }
    // The step at the byte reached, where it is another than the counter's.
    std::optional<int> Moved(std::uint64_t bytes) const {
        const int steps = StepAt(static_cast<std::int64_t>(bytes));
        return m_step != 0 && steps != m_steps ? std::optional<int>(steps) : std::nullopt;
    }
    // One step on at the first block boundary, done bytes in, after at least a step's worth
    // of bytes since the last.
    void Advance(std::uint64_t done) {
        if (done >= m_advanced + m_step) {
            m_advanced = done;
            Set(m_steps + 1);
        }
    }

  private:
    JobObserver& m_observer;
    std::uint64_t m_step = 0;
    int m_steps = 0;
    std::uint64_t m_advanced = 0;  // bytes done at the last step on
};

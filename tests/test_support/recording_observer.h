#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "render/job_observer.h"

// An observer for engine tests: remembers everything a job told it, in order. Hooks let a
// test act like a user at the moment a job reaches it.
class RecordingObserver : public JobObserver {
  public:
    enum class Kind { Message, Position, Loop, Level, PlayedOut };
    struct Event {
        Kind kind;
        int a = 0;  // the position, the loop start or the level
        int b = 0;  // the loop end
        std::string text = {};

        bool operator==(const Event&) const = default;
    };

    void Message(const JobMessage& message) override;
    void Position(int step) override;
    void Loop(int start, int end) override;
    void Level(int segments) override;
    void PlayedOut() override;

    std::vector<Event> Events() const;
    std::vector<std::string> Messages() const;  // as the user reads them
    std::vector<int> Positions() const;
    std::vector<std::pair<int, int>> Loops() const;
    std::vector<int> Levels() const;
    int PlayedOutCount() const;
    int LastPosition() const;  // -1 before any

    std::function<void(int)> onPosition;
    std::function<void(const std::string&)> onMessage;
    std::function<void(int)> onLevel;

  private:
    void Add(Event event);

    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

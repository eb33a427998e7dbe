#include "tests/test_support/recording_observer.h"

#include "settings/job_messages.h"

void RecordingObserver::Add(Event event) {
    const std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}

void RecordingObserver::Message(const JobMessage& message) {
    const std::string text = MessageText(message);
    Add({Kind::Message, 0, 0, text});
    if (onMessage) {
        onMessage(text);
    }
}

void RecordingObserver::Position(int step) {
    Add({Kind::Position, step});
    if (onPosition) {
        onPosition(step);
    }
}

void RecordingObserver::Loop(int start, int end) {
    Add({Kind::Loop, start, end});
}

void RecordingObserver::Level(int segments) {
    Add({Kind::Level, segments});
    if (onLevel) {
        onLevel(segments);
    }
}

void RecordingObserver::PlayedOut() {
    Add({Kind::PlayedOut});
}

std::vector<RecordingObserver::Event> RecordingObserver::Events() const {
    const std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<std::string> RecordingObserver::Messages() const {
    std::vector<std::string> texts;
    for (const Event& e : Events()) {
        if (e.kind == Kind::Message) {
            texts.push_back(e.text);
        }
    }
    return texts;
}

std::vector<int> RecordingObserver::Positions() const {
    std::vector<int> positions;
    for (const Event& e : Events()) {
        if (e.kind == Kind::Position) {
            positions.push_back(e.a);
        }
    }
    return positions;
}

std::vector<std::pair<int, int>> RecordingObserver::Loops() const {
    std::vector<std::pair<int, int>> loops;
    for (const Event& e : Events()) {
        if (e.kind == Kind::Loop) {
            loops.emplace_back(e.a, e.b);
        }
    }
    return loops;
}

std::vector<int> RecordingObserver::Levels() const {
    std::vector<int> levels;
    for (const Event& e : Events()) {
        if (e.kind == Kind::Level) {
            levels.push_back(e.a);
        }
    }
    return levels;
}

int RecordingObserver::PlayedOutCount() const {
    int count = 0;
    for (const Event& e : Events()) {
        count += e.kind == Kind::PlayedOut ? 1 : 0;
    }
    return count;
}

int RecordingObserver::LastPosition() const {
    const std::vector<int> positions = Positions();
    return positions.empty() ? -1 : positions.back();
}

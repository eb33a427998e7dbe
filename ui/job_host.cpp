#include "ui/job_host.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <thread>

std::filesystem::path FsPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

JobHost::JobHost(AudioOut* audio, const AudioDevices* devices, QObject* parent)
    : QObject(parent), m_audio(audio), m_devices(devices) {
    m_controls.keyTempoLive = true;
}

JobHost::~JobHost() {
    ShutDown();
}

void JobHost::OpenInput(const QString& path) {
    m_input = InputFile();  // the decoding of the last input ends before the next one starts
    m_input = StartInput(FsPath(path), m_runner.Disk());
    m_inputPath = path;
    m_hasInput = true;
    m_controls.play.Change([](PlaySettings& play) {
        play.loopStartFrame = -1;
        play.loopEndFrame = -1;
    });
}

void JobHost::SetMode(PlayMode mode) {
    m_controls.settings.Change([mode](ProcessingParameters& params) { params.mode = mode; });
}

bool JobHost::Play(PlayMode mode) {
    if (m_phase == JobPhase::Writing) {
        return true;
    }
    if (m_phase == JobPhase::Idle) {
        if (!m_hasInput) {
            m_controls.stop = std::stop_source();
            return false;
        }
        StartPlayback(mode);
        return true;
    }
    if (m_controls.settings.Read().mode != mode) {
        // Switch: the running job plays the new mode from its next piece on. The stop request
        // is left alone, so the job never sees a stop that is taken back.
        SetMode(mode);
        m_chosenMode = mode;
        emit playing(mode);
        return true;
    }
    // Stop: the job ends at its next check of the stop request, and does not start again.
    m_controls.stop.request_stop();
    return true;
}

// Runs on the window's thread only, so two starts never overlap.
void JobHost::StartPlayback(PlayMode mode) {
    m_controls.stop = std::stop_source();
    // A playback that starts again at the end of its data stays on its device.
    if (m_phase != JobPhase::RestartPending && m_audio != nullptr && m_devices != nullptr) {
        m_device.Apply(*m_devices, *m_audio, *this);
    }
    emit playStarting(mode);
    SetMode(mode);
    m_chosenMode = mode;
    m_phase = JobPhase::Playing;
    emit playing(mode);
    const bool started = m_workers.Start([this] {
        const JobResult result = PlayInput();
        QMetaObject::invokeMethod(
            this, [this, result] { PlaybackEnded(result); }, Qt::QueuedConnection);
    });
    if (!started) {
        // Closing, or no thread to be had: nothing plays.
        SetMode(PlayMode::Mode2);
        m_phase = JobPhase::Idle;
        emit playEnded();
    }
}

// On the worker.
JobResult JobHost::PlayInput() {
    if (const std::optional<JobMessage> refusal = m_input.Refusal()) {
        Message(*refusal);
        return JobResult::Refused;
    }
    if (m_audio == nullptr) {
        Message({JobError::NoDevice});
        return JobResult::Refused;
    }
    return m_runner.Play(m_input, m_controls, *m_audio, *this);
}

void JobHost::PlaybackEnded(JobResult result) {
    emit playEnded();
    // A file with no sample data to play would otherwise start again without end.
    const bool restart = result == JobResult::Done && result.bytesPlayed > 0 &&
                         !m_controls.stop.stop_requested() && !m_workers.Closed();
    if (!restart) {
        SetMode(PlayMode::Mode2);
        m_phase = JobPhase::Idle;
        return;
    }
    // The same mode again, as the user's click would start it.
    m_phase = JobPhase::RestartPending;
    StartPlayback(m_controls.settings.Read().mode);
}

bool JobHost::BeginWrite() {
    if (m_phase != JobPhase::Idle) {
        return false;
    }
    m_phase = JobPhase::Writing;
    return true;
}

void JobHost::EndWrite() {
    m_phase = JobPhase::Idle;
    m_latestLevel = -1;
}

JobResult JobHost::Write(WriteRequest& request) {
    request.threads = 0;
    return m_runner.Write(request, *this);
}

void JobHost::Message(const JobMessage& message) {
    OnWindowThread([&] { emit told(message); });
}

// Queued without waiting: a playback must not stall behind a window busy drawing, and every
// step still shows, in order.
void JobHost::Position(int step) {
    QMetaObject::invokeMethod(
        this,
        [this, step] {
            if (!m_closing) {
                emit positionMoved(step);
            }
        },
        Qt::QueuedConnection);
}

void JobHost::Loop(int start, int end) {
    OnWindowThread([&] { emit loopMoved(start, end); });
}

void JobHost::PlayedOut() {
    OnWindowThread([this] { emit playedOut(); });
}

void JobHost::Level(int segments) {
    m_latestLevel = std::clamp(segments, 0, 8);
    QueueLatest();
}

void JobHost::Progress(double done) {
    m_latestDone = done;
    QueueLatest();
}

void JobHost::HeardFrame(std::int64_t frame) {
    m_latestHeard = frame;
    QueueLatest();
}

// Queued behind what the job told before, so that the end of a job shows after its last level.
void JobHost::QueueLatest() {
    if (!m_latestQueued.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { ShowLatest(); }, Qt::QueuedConnection);
    }
}

void JobHost::ShowLatest() {
    m_latestQueued = false;
    if (const int level = m_latestLevel.exchange(-1); level >= 0) {
        emit levelMoved(level);
    }
    if (const std::int64_t heard = m_latestHeard.exchange(-1); heard >= 0) {
        emit frameHeard(heard);
    }
    if (const double done = m_latestDone.exchange(-1.0); done >= 0.0) {
        emit progressed(done);
    }
}

void JobHost::ShutDown() {
    m_controls.stop.request_stop();
    if (m_audio != nullptr) {
        m_audio->Abort();
    }
    // The decoder never waits for this thread, so it ends at once, and with it a copy cut short.
    m_input.StopDecoding();
    // Refuses new workers and waits for the running ones, carrying out what they ask of the
    // window meanwhile; user input waits.
    m_closing = true;
    m_workers.Close();
    while (!m_workers.AllFinished()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_workers.JoinAll();
}

#pragma once

// What the window works with besides its widgets: the input, the job runner, the one job it
// may run and the controls that job shares. The job host is the jobs' one observer: a job calls
// it on its own thread, and what it tells reaches the window as signals on the window's thread
// while the job waits; the level, the progress and the frame heard come too often for that and
// arrive as the latest of them as soon as the window can show it.

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <filesystem>

#include "jobs/device_choice.h"
#include "jobs/input_file.h"
#include "jobs/job_runner.h"
#include "ui/worker_threads.h"

// What the window is doing with the one job it may run. Only the window's thread reads or
// changes it, so every command sees the phase the previous command left: a job that ends on
// its worker tells the job host through a queued call, and until that call runs the job host
// still counts the playback as running.
enum class JobPhase {
    Idle,
    Playing,         // a playback job runs, or has ended and its end is not yet handled
    RestartPending,  // a playback ended at the end of its data and starts again
    Writing,         // a write job runs, or its confirmation is being asked for
};

// A path as the file system takes it.
std::filesystem::path FsPath(const QString& path);

class JobHost : public QObject, private JobObserver {
    Q_OBJECT

  public:
    // audio null: there is no sound device; devices null: the default device alone.
    JobHost(AudioOut* audio, const AudioDevices* devices, QObject* parent = nullptr);
    ~JobHost() override;

    PlayControls& Controls() { return m_controls; }
    const PlayControls& Controls() const { return m_controls; }
    JobPhase Phase() const { return m_phase; }
    // No job runs, and the end of the last one has been handled.
    bool Idle() const { return m_phase == JobPhase::Idle && m_workers.AllFinished(); }
    WorkerThreads& Workers() { return m_workers; }

    // The decoding of path starts now, on the input's own thread; the loop spans it whole.
    void OpenInput(const QString& path);
    bool HasInput() const { return m_hasInput; }
    const QString& InputPath() const { return m_inputPath; }
    const InputFile& Input() const { return m_input; }
    // Waits for the input's decoding as a job would; false when cancel came first.
    bool AwaitDecoding(const std::stop_token& cancel) {
        return m_input.WaitForDecoding(cancel, *this);
    }

    // A play button: starts a playback in mode, switches the running one to it, or stops the
    // one that plays in it. False, and nothing plays, when there is no input to play.
    bool Play(PlayMode mode);
    // The mode of the last play button pressed: a write and a suggestion follow it.
    PlayMode ChosenMode() const { return m_chosenMode; }
    // Idle -> Writing; false when a playback runs or a write is already under way.
    bool BeginWrite();
    // Writing -> Idle; a level the write told last is not shown.
    void EndWrite();
    // On a worker, the phase being Writing; the result of the write.
    JobResult Write(WriteRequest& request);

    // A play that runs keeps its device; the next one the user starts opens this one.
    void ChooseDevice(const std::string& device) { m_device.Choose(device); }
    const std::string& ChosenDevice() const { return m_device.Chosen(); }

    // Stops the job and waits for its worker, carrying out what the worker asks meanwhile.
    void ShutDown();

  signals:
    void told(const JobMessage& message);
    // A playback is about to start in mode: the controls are to be read now.
    void playStarting(PlayMode mode);
    // A playback plays in mode from now on.
    void playing(PlayMode mode);
    // The playback ended, or never started.
    void playEnded();
    // The last block a stopped playback had queued has played.
    void playedOut();
    void positionMoved(int step);
    void loopMoved(int start, int end);
    void levelMoved(int segments);
    void frameHeard(qint64 frame);
    void progressed(double done);

  private:
    void SetMode(PlayMode mode);
    void StartPlayback(PlayMode mode);
    JobResult PlayInput();
    void PlaybackEnded(JobResult result);

    // JobObserver, on the job's thread.
    void Message(const JobMessage& message) override;
    void Position(int step) override;
    void HeardFrame(std::int64_t frame) override;
    void Loop(int start, int end) override;
    void Level(int segments) override;
    void Progress(double done) override;
    void PlayedOut() override;
    void QueueLatest();
    void ShowLatest();
    // Runs f on the window's thread and waits for it; skipped once the job host closes.
    template <typename F>
    void OnWindowThread(F&& f);

    AudioOut* m_audio;
    const AudioDevices* m_devices;
    DeviceChoice m_device;
    JobRunner m_runner;
    // What the job shares: the processing parameters and the requests, read without locks.
    PlayControls m_controls;
    JobPhase m_phase = JobPhase::Idle;
    PlayMode m_chosenMode = PlayMode::Mode2;
    // The input as chosen and what the jobs read for it; changed only while idle.
    QString m_inputPath;
    InputFile m_input;
    bool m_hasInput = false;
    // What the job told last and the window has not shown yet; negative: nothing.
    std::atomic<int> m_latestLevel{-1};
    std::atomic<double> m_latestDone{-1.0};
    std::atomic<std::int64_t> m_latestHeard{-1};
    std::atomic<bool> m_latestQueued{false};
    std::atomic<bool> m_closing{false};
    WorkerThreads m_workers;
};

template <typename F>
void JobHost::OnWindowThread(F&& f) {
    if (QThread::currentThread() == thread()) {
        f();
        return;
    }
    if (m_closing) {
        return;
    }
    // Qt's hand-over between the threads is invisible to ThreadSanitizer; this pair of
    // release/acquire steps states the same order in a form it sees.
    std::atomic<bool> handedOver{true};
    std::atomic<bool> carriedOut{false};
    handedOver.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [this, &f, &handedOver, &carriedOut] {
            handedOver.load(std::memory_order_acquire);
            if (!m_closing) {
                f();
            }
            carriedOut.store(true, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    carriedOut.load(std::memory_order_acquire);
}

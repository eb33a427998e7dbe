#pragma once

// A job that the window waits for: it runs on one of the window's workers while the window
// repaints but takes no input; after half a second a window-modal progress dialog with Cancel
// shows how far it is. Cancel sets the job's stop request.

#include <QProgressDialog>
#include <functional>

#include "jobs/controls.h"

class WorkerThreads;

class JobProgress {
  public:
    static constexpr int kDelayMs = 500;  // shorter jobs show no dialog

    JobProgress(QWidget& window, const QString& label, std::stop_source& stop);

    // How far the job is, 0 .. 1; on the window's thread.
    void SetDone(double done);
    // Runs job on a worker and returns once it has ended; false, and job not run, when no
    // worker could start.
    bool Run(WorkerThreads& workers, std::function<void()> job);

  private:
    QProgressDialog m_dialog;
};

#include "ui/job_progress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <limits>

#include "ui/worker_threads.h"

namespace {

constexpr int kPollMs = 20;
constexpr int kSteps = 1000;

}  // namespace

JobProgress::JobProgress(QWidget& window, const QString& label, std::stop_source& stop)
    : m_dialog(label, QStringLiteral("Cancel"), 0, kSteps, &window) {
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setAutoReset(false);
    m_dialog.setAutoClose(false);
    m_dialog.setMinimumDuration(std::numeric_limits<int>::max());  // shown by Run, not by itself
    QObject::connect(&m_dialog, &QProgressDialog::canceled, &m_dialog,
                     [&stop] { stop.request_stop(); });
}

void JobProgress::SetDone(double done) {
    m_dialog.setValue(static_cast<int>(done * kSteps));
}

bool JobProgress::Run(WorkerThreads& workers, std::function<void()> job) {
    std::atomic<bool> finished{false};
    if (!workers.Start([&finished, job = std::move(job)] {
            job();
            finished.store(true, std::memory_order_release);
        })) {
        return false;
    }
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    // Cancel hides the dialog, so whether it was shown is kept here rather than read from it.
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load(std::memory_order_acquire)) {
            loop.quit();
        } else if (!shown && clock.elapsed() >= kDelayMs) {
            shown = true;
            m_dialog.show();
            loop.quit();  // from now on the dialog keeps the input from the window
        }
    });
    poll.start(kPollMs);
    // The job refers to this frame, so nothing returns before it has ended.
    while (!finished.load(std::memory_order_acquire)) {
        loop.exec(shown ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    }
    m_dialog.hide();
    return true;
}

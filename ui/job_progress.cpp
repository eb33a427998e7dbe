#include "job_progress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <limits>

#include "worker_threads.h"

namespace {

constexpr int kPollMs = 20;
constexpr int kSteps = 1000;

}  // namespace

JobProgress::JobProgress(QWidget& window, const QString& label, Shared<int>& stop)
    : m_dialog(label, QStringLiteral("Cancel"), 0, kSteps, &window) {
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setAutoReset(false);
    m_dialog.setAutoClose(false);
    m_dialog.setMinimumDuration(std::numeric_limits<int>::max());  // shown by Run, not by itself
    QObject::connect(&m_dialog, &QProgressDialog::canceled, &m_dialog, [&stop] { stop = 1; });
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
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load(std::memory_order_acquire)) {
            loop.quit();
        } else if (!m_dialog.isVisible() && clock.elapsed() >= kDelayMs) {
            m_dialog.show();
            loop.quit();  // from now on the dialog keeps the input from the window
        }
    });
    poll.start(kPollMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished.load(std::memory_order_acquire)) {
        loop.exec();
    }
    m_dialog.hide();
    return true;
}

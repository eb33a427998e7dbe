#include "cli/batch_console.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/stop_on_signals.h"
#include "jobs/batch.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

// stderr as a batch uses it: failure lines, and on a terminal one progress bar for all files.
class BatchConsole : public BatchObserver {
  public:
    BatchConsole(const std::vector<BatchItem>& items, bool bar)
        : m_items(items), m_done(items.size()) {
        for (const BatchItem& item : items) {
            std::error_code ec;
            const std::uintmax_t size = fs::file_size(item.input, ec);
            m_bytes.push_back(ec ? 0 : size);
            m_totalBytes += m_bytes.back();
        }
        if (bar) {
            m_ticker = std::jthread([this](const std::stop_token& stop) { Tick(stop); });
        }
    }
    ~BatchConsole() override { Finish(); }
    BatchConsole(const BatchConsole&) = delete;
    BatchConsole& operator=(const BatchConsole&) = delete;

    void Progress(std::size_t item, double done) override {
        m_done[item].store(std::min(done, 1.0), std::memory_order_relaxed);
    }

    void Skipped(std::size_t item) override {
        m_done[item].store(1.0, std::memory_order_relaxed);
        ++m_finished;
        const std::lock_guard lock(m_mutex);
        ClearBar();
        for (const std::filesystem::path& name : m_items[item].existing) {
            PrintError(name.string() + " exists; left as it was (--no-clobber)");
        }
        if (m_items[item].existing.size() == 1 &&
            m_items[item].existing.front() != m_items[item].output) {
            PrintError(m_items[item].output.string() + " was not written either");
        }
    }

    void Finished(std::size_t item, JobResult result,
                  const std::vector<JobMessage>& messages) override {
        m_done[item].store(1.0, std::memory_order_relaxed);
        ++m_finished;
        if (result == JobResult::Stopped) {
            return;
        }
        const std::lock_guard lock(m_mutex);
        ClearBar();
        if (result == JobResult::Done) {
            for (const std::filesystem::path& name : m_items[item].existing) {
                PrintError(name.string() + " replaced");
            }
        }
        if (result != JobResult::Done && messages.empty()) {
            Report(item, "the file could not be written");
        }
        for (const JobMessage& message : messages) {
            std::string line = MessageLine(message);
            line.erase(line.find_last_not_of("\n ") + 1);
            std::replace(line.begin(), line.end(), '\n', ' ');
            Report(item, line);
        }
        std::fflush(stderr);
    }

    void Finish() {
        m_ticker.request_stop();
        if (m_ticker.joinable()) {
            m_ticker.join();
        }
        const std::lock_guard lock(m_mutex);
        ClearBar();
    }

  private:
    void Report(std::size_t item, const std::string& text) {
        PrintError(m_items[item].input.string() + ": " + text);
    }
    void ClearBar() {
        if (m_barShown) {
            std::fputs("\r\033[K", stderr);
            m_barShown = false;
        }
    }

    // Redraws the bar until stopped.
    void Tick(const std::stop_token& stop) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(m_mutex);
        const auto stopped = [&stop] { return stop.stop_requested(); };
        while (!m_wake.wait_for(lock, stop, kRedrawEvery, stopped)) {
            Draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }

    void Draw(double elapsed) {
        double doneBytes = 0;
        for (std::size_t i = 0; i < m_bytes.size(); ++i) {
            doneBytes +=
                static_cast<double>(m_bytes[i]) * m_done[i].load(std::memory_order_relaxed);
        }
        const double total = std::max(1.0, static_cast<double>(m_totalBytes));
        const double share = std::min(1.0, doneBytes / total);
        const int filled = static_cast<int>(share * kBarWidth);
        char left[32] = "--:--";
        if (share > 0.01) {
            const long seconds = std::lround(elapsed * (1 - share) / share);
            std::snprintf(left, sizeof left, "%ld:%02ld", seconds / 60, seconds % 60);
        }
        std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu files  %.0f/%.0f MB  %s left\033[K", filled,
                     "##############################", kBarWidth - filled, "", m_finished.load(),
                     m_bytes.size(), doneBytes / 1e6, total / 1e6, left);
        std::fflush(stderr);
        m_barShown = true;
    }

    const std::vector<BatchItem>& m_items;
    std::vector<std::uintmax_t> m_bytes;
    std::vector<std::atomic<double>> m_done;
    std::atomic<std::size_t> m_finished{0};
    std::uintmax_t m_totalBytes = 0;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    bool m_barShown = false;
    std::jthread m_ticker;
};

std::string ProblemText(const BatchProblem& problem) {
    switch (problem.kind) {
        case BatchProblem::Kind::NoFolder:
            return problem.first + ": no such folder";
        case BatchProblem::Kind::NotAFolder:
            return problem.first + " is not a folder";
        case BatchProblem::Kind::SameOutput:
            return problem.first + " and " + problem.second + " would both be written to " +
                   problem.output;
        case BatchProblem::Kind::OutputIsInput:
            break;
    }
    return problem.first + " is an input and would be overwritten";
}

}  // namespace

int RunBatchRender(const WriteRequest& request, std::stop_source& stop, const BatchOptions& batch,
                   const std::vector<std::string>& inputs) {
    const std::vector<BatchItem> items =
        BatchItems(inputs, batch.outputDir, batch.extension, request.stems);
    if (const std::optional<BatchProblem> problem =
            CheckBatch(items, batch.outputDir, request.stems)) {
        PrintError(ProblemText(*problem) + "; nothing was written");
        return kExitFailed;
    }
    JobResult written = JobResult::Failed;
    {
        // Ctrl-C stops every job: no output is left half written, none is started after.
        // Taken first, so that every thread started below leaves the signals to it.
        StopOnSignals signals(stop);
        BatchConsole console(items, StderrIsTerminal());
        written = RunBatch(items, request, batch.threads, batch.noClobber, console);
    }
    if (stop.stop_requested()) {
        PrintError("interrupted; unfinished outputs were left as they were");
    }
    return written == JobResult::Done ? kExitOk : kExitFailed;
}

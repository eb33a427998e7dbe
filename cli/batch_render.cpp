#include "batch_render.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "commands.h"
#include "engine_input.h"
#include "render_pool.h"
#include "stop_on_signals.h"
#include "wave_job.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPositionEnd = 110;  // a write job's position counter ends near here
constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

// One file of the batch as its job sees the window: the batch's shared parameters and
// stop request, its messages kept for the report, its position for the progress bar.
class BatchFileWindow : public WindowLink {
  public:
    explicit BatchFileWindow(WindowState& shared) : m_state(shared) {}

    WindowState& State() override { return m_state; }
    void ShowMessage(const char* text) override {
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) {
            line.pop_back();
        }
        std::replace(line.begin(), line.end(), '\n', ' ');
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(line);
    }
    void SetTrackbarPos(Trackbar trackbar, int pos) override {
        if (trackbar == Trackbar::PlayPos) {
            m_position.store(std::min(pos, kPositionEnd), std::memory_order_relaxed);
        }
    }
    int GetTrackbarPos(Trackbar /*trackbar*/) override { return 0; }
    void ShowMeter(int /*bitmapId*/) override {}
    void ResetPlayButtons() override {}

    int Position() const { return m_position.load(std::memory_order_relaxed); }
    std::vector<std::string> Messages() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

  private:
    WindowState& m_state;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
    std::atomic<int> m_position{0};
};

struct BatchFile {
    std::string input;
    fs::path output;
    std::uintmax_t bytes = 0;
    std::atomic<int> state{0};  // 0 waiting, 1 running, 2 finished
    std::unique_ptr<BatchFileWindow> window;
};

// stderr as the batch uses it: failure lines, and on a terminal one progress bar.
class BatchConsole {
  public:
    BatchConsole(std::vector<BatchFile>& files, bool bar) : m_files(files), m_bar(bar) {
        for (const BatchFile& f : files) {
            m_totalBytes += f.bytes;
        }
        if (m_bar) {
            m_ticker = std::thread([this] { Tick(); });
        }
    }
    ~BatchConsole() { Finish(); }

    void Report(const std::string& text) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ClearBar();
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }

    void Finish() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_ticker.joinable()) {
            m_ticker.join();
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        ClearBar();
    }

  private:
    void ClearBar() {
        if (m_barShown) {
            std::fputs("\r\033[K", stderr);
            m_barShown = false;
        }
    }

    void Tick() {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, kRedrawEvery, [this] { return m_done; })) {
            Draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }

    void Draw(double elapsed) {
        double doneBytes = 0;
        int finished = 0;
        for (const BatchFile& f : m_files) {
            const int state = f.state.load(std::memory_order_relaxed);
            if (state == 2) {
                doneBytes += static_cast<double>(f.bytes);
                ++finished;
            } else if (state == 1) {
                doneBytes += static_cast<double>(f.bytes) * f.window->Position() / kPositionEnd;
            }
        }
        const double total = std::max(1.0, static_cast<double>(m_totalBytes));
        const double share = std::min(1.0, doneBytes / total);
        const int filled = static_cast<int>(share * kBarWidth);
        char left[32] = "--:--";
        if (share > 0.01) {
            const long seconds = std::lround(elapsed * (1 - share) / share);
            std::snprintf(left, sizeof left, "%ld:%02ld", seconds / 60, seconds % 60);
        }
        std::fprintf(stderr, "\r[%.*s%*s] %d/%zu files  %.0f/%.0f MB  %s left\033[K", filled,
                     "##############################", kBarWidth - filled, "", finished,
                     m_files.size(), doneBytes / 1e6, total / 1e6, left);
        std::fflush(stderr);
        m_barShown = true;
    }

    std::vector<BatchFile>& m_files;
    bool m_bar;
    std::uintmax_t m_totalBytes = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_barShown = false;
    std::thread m_ticker;
};

// Who a file is: its device and inode, when it exists.
std::optional<std::pair<dev_t, ino_t>> Identity(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::make_pair(info.st_dev, info.st_ino);
}

// The reason the batch cannot start, or empty. Each name is looked at once, so that a
// batch of thousands starts at once too.
std::string CheckOutputs(const std::vector<BatchFile>& files, const std::string& outputDir) {
    std::error_code ec;
    if (!fs::is_directory(outputDir, ec)) {
        return outputDir + ": no such folder";
    }
    std::set<fs::path> inputPaths;
    std::set<std::pair<dev_t, ino_t>> inputFiles;
    for (const BatchFile& f : files) {
        if (fs::path canonical = fs::weakly_canonical(f.input, ec); !ec) {
            inputPaths.insert(std::move(canonical));
        }
        if (const auto id = Identity(f.input)) {
            inputFiles.insert(*id);
        }
    }
    std::map<fs::path, const BatchFile*> seen;
    for (const BatchFile& f : files) {
        const auto [it, added] = seen.emplace(f.output, &f);
        if (!added) {
            return f.input + " and " + it->second->input + " would both be written to " +
                   f.output.string();
        }
        const auto id = Identity(f.output);
        const fs::path canonical = fs::weakly_canonical(f.output, ec);
        if ((id && inputFiles.count(*id) != 0) || (!ec && inputPaths.count(canonical) != 0)) {
            return f.output.string() + " is an input and would be overwritten";
        }
    }
    return {};
}

// How the files share the pool: one file on all of it, in segments; or several side by
// side, each in one piece, reading and writing on threads of its own only while the pool
// has a thread and a core left for them.
struct BatchSharing {
    bool segments;
    bool ioThreads;
};

void RenderOne(BatchFile& f, RenderPool& pool, BatchSharing sharing, BatchConsole& console,
               std::atomic<bool>& anyFailed) {
    if (f.window->State().m_bStopRequest) {
        anyFailed = true;
        return;
    }
    f.state = 1;
    JobContext context{*f.window};
    context.pool = &pool;
    context.segments = sharing.segments ? 0 : 1;
    context.ioThreads = sharing.ioThreads;
    const std::string output = f.output.string();
    // What is no 16-bit stereo WAV is decoded first, or refused with its reason.
    const EngineInput input = PrepareEngineInput(f.input);
    const JobResult result =
        WriteOutputFile(context, input, f.input, output, {}, WriteJobState::Own);
    f.state = 2;
    if (result == JobResult::Done) {
        return;
    }
    anyFailed = true;
    if (f.window->State().m_bStopRequest) {
        return;
    }
    std::vector<std::string> messages = f.window->Messages();
    if (messages.empty()) {
        messages.emplace_back("the file could not be written");
    }
    for (const std::string& m : messages) {
        console.Report("zerbex2-cli: " + f.input + ": " + m);
    }
}

}  // namespace

int RunBatchRender(const RenderOptions& options, const BatchOptions& batch,
                   const std::vector<std::string>& inputs) {
    const std::string& outputDir = batch.outputDir;
    WindowState state;
    ApplyRenderOptions(options, state);
    std::vector<BatchFile> files(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        BatchFile& f = files[i];
        f.input = inputs[i];
        f.output = fs::path(outputDir) /
                   (fs::path(inputs[i]).stem().string() + (batch.flac ? ".flac" : ".wav"));
        std::error_code ec;
        f.bytes = fs::file_size(inputs[i], ec);
        f.bytes = ec ? 0 : f.bytes;
        f.window = std::make_unique<BatchFileWindow>(state);
    }
    if (const std::string problem = CheckOutputs(files, outputDir); !problem.empty()) {
        std::fprintf(stderr, "zerbex2-cli: %s; nothing was written\n", problem.c_str());
        return kExitFailed;
    }
    std::atomic<bool> anyFailed{false};
    {
        // Ctrl-C stops every job: no output is left half written, none is started after.
        // Taken first, so that every thread started below leaves the signals to it.
        StopOnSignals signals(state);
        RenderPool pool(batch.threads);
        BatchConsole console(files, StderrIsTerminal());
        if (files.size() == 1) {
            RenderOne(files[0], pool, {true, pool.HasSpareThread(1)}, console, anyFailed);
        } else {
            const auto sideBySide = std::min<std::size_t>(files.size(), pool.Threads());
            const BatchSharing sharing{false, pool.HasSpareThread(sideBySide)};
            pool.ForEach(files.size(), [&](std::size_t i) {
                RenderOne(files[i], pool, sharing, console, anyFailed);
            });
        }
    }
    if (state.m_bStopRequest) {
        std::fprintf(stderr,
                     "zerbex2-cli: interrupted; unfinished outputs were left as they were\n");
    }
    return anyFailed ? kExitFailed : kExitOk;
}

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "batch_render.h"
#include "commands.h"
#include "console_window.h"
#include "input_file.h"
#include "options.h"
#include "render_pool.h"
#include "stop_on_signals.h"
#include "stream_output.h"
#include "wave_job.h"

namespace {

// Files smaller than this finish too quickly for a progress bar to help.
constexpr std::uintmax_t kProgressMinBytes = 16u << 20;

bool WorthAProgressBar(const std::string& input) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(input, ec);
    return !ec && size >= kProgressMinBytes;
}

// Decodes, processes and writes in one pass, with one progress bar on a terminal.
JobResult StreamInput(JobContext& context, const std::string& input, const std::string& output,
                      ConsoleWindow& window) {
    InputStatus status = InputStatus::Ready;
    const JobResult result = StreamOutputFile(context, input, output, status, [&](double done) {
        window.ShowStepProgress("rendering ", done);
        return true;
    });
    window.FinishStatus();
    ReportUnusableInput(input, status, window);
    return result;
}

// Takes "--output-dir DIR" and "--output-dir=DIR" out of args.
std::optional<std::string> TakeOutputDir(std::vector<std::string>& args, std::string& dir) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            break;
        }
        if (args[i] == "--output-dir") {
            if (i + 1 == args.size()) {
                return "option --output-dir needs a value";
            }
            dir = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return std::nullopt;
        }
        if (args[i].rfind("--output-dir=", 0) == 0) {
            dir = args[i].substr(13);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

int RunRender(const std::vector<std::string>& givenArgs) {
    RenderOptions options;
    std::vector<std::string> args = givenArgs;
    std::string outputDir;
    if (const auto error = TakeOutputDir(args, outputDir)) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    int threads = RenderPool::CoreCount();
    std::vector<IntOption> intOptions = RenderIntOptions(options);
    intOptions.push_back({"-j", 1, 1024, &threads});
    intOptions.push_back({"--jobs", 1, 1024, &threads});
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error =
            ParseOptions(args, intOptions, &options.mode, flags, {"--flac"}, files)) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    if (!outputDir.empty()) {
        if (files.empty()) {
            PrintUsageError("render --output-dir needs at least one INPUT");
            return kExitUsage;
        }
        return RunBatchRender(options, {outputDir, threads, !flags.empty()}, files);
    }
    if (!flags.empty()) {
        PrintUsageError("--flac goes with --output-dir; name the OUTPUT NAME.flac instead");
        return kExitUsage;
    }
    if (files.size() != 2) {
        PrintUsageError(files.size() < 2 ? "render needs INPUT and OUTPUT"
                                         : "render takes exactly INPUT and OUTPUT");
        return kExitUsage;
    }
    ConsoleWindow window;
    ApplyRenderOptions(options, window.State());
    const bool terminal = StderrIsTerminal();
    if (terminal) {
        window.SetStatus(ConsoleWindow::Status::Progress);
    }
    JobContext context{window, nullptr};
    JobResult result = JobResult::Failed;
    {
        // Ctrl-C stops the job: the output stays as it was and no temporary file is left.
        StopOnSignals signals(window.State());
        RenderPool pool(threads);
        context.pool = &pool;
        context.ioThreads = pool.HasSpareThread(1);
        // Decoding while processing takes a second thread; with one, decode first.
        if (context.ioThreads && StreamsToOutput(files[0], files[1])) {
            result = StreamInput(context, files[0], files[1], window);
        } else if (const std::optional<EngineInput> input = PrepareCliInput(files[0], window)) {
            const bool bar = terminal && WorthAProgressBar(input->EnginePath());
            window.SetStatus(bar ? ConsoleWindow::Status::Progress : ConsoleWindow::Status::None);
            result = WriteOutputFile(context, *input, files[0], files[1], [&](double done) {
                window.ShowStepProgress("encoding ", done);
                return true;
            });
        }
    }
    window.FinishStatus();
    if (result != JobResult::Done && window.State().m_bStopRequest) {
        std::fprintf(stderr, "zerbex2-cli: interrupted; %s was left as it was\n", files[1].c_str());
    }
    return result == JobResult::Done ? kExitOk : kExitFailed;
}

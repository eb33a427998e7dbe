#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "batch_console.h"
#include "commands.h"
#include "console.h"
#include "job_runner.h"
#include "options.h"
#include "preset_option.h"
#include "presets.h"
#include "render_pool.h"
#include "stop_on_signals.h"
#include "wave_layout.h"

namespace {

// Files smaller than this finish too quickly for a progress bar to help.
constexpr std::uintmax_t kProgressMinBytes = 16u << 20;

bool WorthAProgressBar(const std::string& input) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(input, ec);
    return !ec && size >= kProgressMinBytes;
}

// Takes "--output-dir DIR" and "--output-dir=DIR" out of args. An empty DIR is an error: a
// script whose variable is unset passes one, and must not write over its inputs.
std::optional<std::string> TakeOutputDir(std::vector<std::string>& args,
                                         std::optional<std::string>& dir) {
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
        } else if (args[i].rfind("--output-dir=", 0) == 0) {
            dir = args[i].substr(13);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            continue;
        }
        return dir->empty() ? std::optional<std::string>("option --output-dir needs a folder")
                            : std::nullopt;
    }
    return std::nullopt;
}

int RenderOne(const RenderOptions& options, int threads, const std::string& input,
              const std::string& output) {
    ProcessingParameters params;
    ApplyRenderOptions(options, params);
    Shared<int> stop{0};
    Console console;
    console.SetInput(input);
    console.SetOutput(output);
    if (StderrIsTerminal() && (WorthAProgressBar(input) || !EngineReadsAsIs(input))) {
        console.SetStatus(Console::Status::Progress);
    }
    JobResult result = JobResult::Failed;
    {
        // Ctrl-C stops the job: the output stays as it was and no temporary file is left.
        StopOnSignals signals(stop);
        RenderPool pool(threads);
        WriteRequest request;
        request.input = input;
        request.output = output;
        request.params = &params;
        request.stop = &stop;
        request.pool = &pool;
        request.ioThreads = pool.HasSpareThread(1);
        JobRunner runner;
        result = runner.Write(request, console);
    }
    console.FinishStatus();
    if (result == JobResult::Stopped) {
        std::fprintf(stderr, "zerbex2-cli: interrupted; %s was left as it was\n", output.c_str());
    }
    return result == JobResult::Done ? kExitOk : kExitFailed;
}

}  // namespace

int RunRender(const std::vector<std::string>& givenArgs) {
    RenderOptions options;
    std::vector<std::string> args = givenArgs;
    std::optional<std::string> outputDir;
    if (const auto error = TakeOutputDir(args, outputDir)) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    int threads = RenderPool::CoreCount();
    std::vector<IntOption> intOptions = RenderIntOptions(options);
    intOptions.push_back({"-j", 1, kMaxThreads, &threads});
    intOptions.push_back({"--jobs", 1, kMaxThreads, &threads});
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error =
            ParseOptions(args, intOptions, &options.mode, flags, {"--flac", "--no-clobber"}, files,
                         {PresetOption(options, DefaultPresetsPath())})) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    if (std::find(files.begin(), files.end(), "") != files.end()) {
        PrintUsageError("a file name may not be empty");
        return kExitUsage;
    }
    const auto flag = [&flags](const char* name) {
        return std::find(flags.begin(), flags.end(), name) != flags.end();
    };
    if (outputDir) {
        if (files.empty()) {
            PrintUsageError("render --output-dir needs at least one INPUT");
            return kExitUsage;
        }
        return RunBatchRender(options, {*outputDir, threads, flag("--flac"), flag("--no-clobber")},
                              files);
    }
    if (!flags.empty()) {
        PrintUsageError(std::string(flags.front()) + " goes with --output-dir");
        return kExitUsage;
    }
    if (files.size() != 2) {
        PrintUsageError(files.size() < 2 ? "render needs INPUT and OUTPUT"
                                         : "render takes exactly INPUT and OUTPUT");
        return kExitUsage;
    }
    return RenderOne(options, threads, files[0], files[1]);
}

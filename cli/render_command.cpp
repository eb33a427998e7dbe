#include <algorithm>
#include <filesystem>
#include <system_error>
#include <variant>

#include "cli/batch_console.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/output_options.h"
#include "cli/stop_on_signals.h"
#include "jobs/job_runner.h"
#include "jobs/threads.h"
#include "settings/job_messages.h"

namespace {

// Files smaller than this finish too quickly for a progress bar to help.
constexpr std::uintmax_t kProgressMinBytes = 16u << 20;

bool WorthAProgressBar(const std::string& input) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(input, ec);
    return !ec && size >= kProgressMinBytes;
}

int RenderOne(const WriteRequest& request, std::stop_source& stop) {
    const std::string input = request.input.string();
    const std::string output = request.output.string();
    Console console;
    console.SetInput(input);
    console.SetOutput(output);
    if (StderrIsTerminal() && (WorthAProgressBar(input) || !EngineReadsAsIs(input))) {
        console.SetStatus(Console::Status::Progress);
    }
    JobResult result = JobResult::Failed;
    std::error_code ec;
    const bool existed = std::filesystem::exists(std::filesystem::symlink_status(output, ec));
    {
        // Ctrl-C stops the job: the output stays as it was and no temporary file is left.
        StopOnSignals signals(stop);
        result = JobRunner().Write(request, console);
    }
    console.FinishStatus();
    if (result == JobResult::Stopped) {
        PrintError(existed ? "interrupted; " + output + " was left as it was"
                           : "interrupted; nothing was written to " + output);
    }
    return result == JobResult::Done ? kExitOk : kExitFailed;
}

}  // namespace

int RunRender(const std::vector<std::string>& givenArgs) {
    RenderOptions options;
    std::vector<std::string> args = givenArgs;
    OutputOptionTexts outputTexts;
    if (auto error = TakeOutputOptions(args, outputTexts)) {
        return UsageError(*error);
    }
    int threads = CoreCount();
    std::vector<ValueOption> known = KnobOptions(options);
    known.insert(
        known.end(),
        {IntOption("-j", 1, kMaxThreads, threads), IntOption("--jobs", 1, kMaxThreads, threads),
         ModeOption(options.mode), PresetOption(options), LoudnessOption(options.loudness)});
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error =
            ParseOptions(args, known, flags, {"--flac", "--no-clobber", "--stems"}, files)) {
        return UsageError(*error);
    }
    if (std::find(files.begin(), files.end(), "") != files.end()) {
        return UsageError("a file name may not be empty");
    }
    const auto flag = [&flags](const char* name) {
        return std::find(flags.begin(), flags.end(), name) != flags.end();
    };
    const bool stems = std::erase(flags, "--stems") > 0;
    const OutputFormatRow* row = nullptr;
    if (outputTexts.outputDir) {
        if (files.empty()) {
            return UsageError("render --output-dir needs at least one INPUT");
        }
        const auto format = BatchFormat(outputTexts.format, flag("--flac"));
        if (const auto* error = std::get_if<std::string>(&format)) {
            return UsageError(*error);
        }
        row = std::get<const OutputFormatRow*>(format);
    } else if (!flags.empty() || outputTexts.format) {
        return UsageError((flags.empty() ? std::string("--format") : flags.front()) +
                          " goes with --output-dir");
    } else if (files.size() != 2) {
        return UsageError(files.size() < 2 ? "render needs INPUT and OUTPUT"
                                           : "render takes exactly INPUT and OUTPUT");
    } else if (row = OutputFormatFor(files[1]); row == nullptr) {
        // Refused before anything is written.
        PrintError(files[1] + ": " + MessageText(CannotWriteMessage(files[1])));
        return kExitUsage;
    }
    const auto quality = QualityOptions(*row, outputTexts);
    if (const auto* error = std::get_if<std::string>(&quality)) {
        return UsageError(*error);
    }
    ProcessingParameters params;
    ApplyRenderOptions(options, params);
    std::stop_source stop;
    WriteRequest request;
    request.quality = std::get<QualityChoice>(quality);
    request.params = &params;
    request.keyTempo = {options.positions.key, options.positions.tempo};
    request.stems = stems;
    request.loudness = options.loudness;
    request.stop = stop.get_token();
    if (outputTexts.outputDir) {
        return RunBatchRender(
            request, stop,
            {*outputTexts.outputDir, threads, row->extensions[0], flag("--no-clobber")}, files);
    }
    request.input = files[0];
    request.output = files[1];
    request.threads = threads;
    return RenderOne(request, stop);
}

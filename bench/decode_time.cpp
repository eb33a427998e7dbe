// Decodes one file the way the window and zerbex2-cli play do before a job, and nothing else:
// the decoding half of bench/decode_compare.sh. Prints the decoded copy's size.

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "jobs/input_file.h"
#include "jobs/job_runner.h"
#include "settings/job_messages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zerbex_decode_time INPUT\n");
        return 2;
    }
    JobObserver quiet;
    JobRunner runner;
    const InputFile input = PrepareInput(argv[1], {}, runner.Disk(), quiet);
    if (input.Status() != InputStatus::Ready) {
        const auto refusal = input.Refusal();
        std::fprintf(stderr, "%s\n", refusal ? MessageText(*refusal).c_str() : "cancelled");
        return 1;
    }
    std::error_code ec;
    const std::uintmax_t bytes = std::filesystem::file_size(input.Reads(), ec);
    if (ec) {
        std::fprintf(stderr, "%s: %s\n", input.Reads().c_str(), ec.message().c_str());
        return 1;
    }
    std::printf("%ju bytes %s\n", bytes, input.Decoded() ? "decoded" : "read as they are");
    return 0;
}

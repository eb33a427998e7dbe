// Decodes one file the way the window and zerbex2-cli do before a job, and nothing else:
// the decoding half of bench/decode_compare.sh. Prints the decoded copy's size.

#include <cstdio>
#include <filesystem>

#include "engine_input.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zerbex_decode_time INPUT\n");
        return 2;
    }
    const EngineInput input = PrepareEngineInput(argv[1]);
    if (input.Status() != InputStatus::Ready) {
        std::fprintf(stderr, "%s", input.Refusal() ? input.Refusal() : "cancelled\n");
        return 1;
    }
    std::printf("%ju bytes decoded\n", std::filesystem::file_size(input.EnginePath()));
    return 0;
}

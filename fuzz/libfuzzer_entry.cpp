// libFuzzer's entry point for one target, chosen with ZERBEX_FUZZ_TARGET at build time.

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return ZERBEX_FUZZ_TARGET(data, size);
}

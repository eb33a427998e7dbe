#include <cstdlib>
#include <filesystem>
#include <optional>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_io.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch_dir.h"
#include "jobs/input_file.h"
#include "render/disk_space.h"

namespace fs = std::filesystem;

namespace {

// Its messages are not what is checked here: the input's status says all.
class Unobserved : public JobObserver {};

void CheckPrepared(const InputFile& prepared, const fs::path& input) {
    FUZZ_CHECK(prepared.Status() != InputStatus::Cancelled);
    const bool refused = prepared.Status() != InputStatus::Ready;
    FUZZ_CHECK(prepared.Refusal().has_value() == refused);
    if (prepared.Decoded()) {
        FUZZ_CHECK(!refused);
        CheckDecodedWave(prepared.Reads());
    } else {
        FUZZ_CHECK(input == prepared.Reads());
    }
}

}  // namespace

int FuzzDecode(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = ScratchSubfolder("decode");
    static const fs::path cache = [] {
        const fs::path path = ScratchSubfolder("decode-cache");
        FUZZ_CHECK(::setenv("XDG_CACHE_HOME", path.c_str(), 1) == 0);
        return path / "zerbex2";
    }();
    const fs::path input = folder / "in";
    WriteWhole(input, data, size);
    {
        Unobserved observer;
        DiskSpace disk;
        const InputFile prepared = PrepareInput(input, {}, disk, observer);
        CheckPrepared(prepared, input);
    }
    // Nothing decoded outlives its input.
    FUZZ_CHECK(!fs::exists(cache) || fs::is_empty(cache));
    return 0;
}

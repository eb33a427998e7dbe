// Inputs that once broke a fuzz target, kept under data/fuzz/TARGET/, run through the
// same targets again; each target aborts on a broken invariant. A few awkward inputs
// built here run too, so that every target is exercised in every build.

#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_targets.h"
#include "tests/test_support/wav_builder.h"

namespace fs = std::filesystem;

namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

struct TargetCase {
    const char* name;
    Target run;
};

const fs::path kRegressions = fs::path(ZERBEX_TEST_DATA) / "fuzz";

std::vector<Bytes> BuiltInputs() {
    const Bytes fmt = Chunk("fmt ", FmtBody(2));
    const Bytes data = Chunk("data", Samples(TestSignal(3000, 4)));
    Bytes nested = data;
    for (int i = 0; i < 80; ++i) {
        nested = ListChunk("deep", {nested});
    }
    Bytes wrapping = Riff({fmt, ChunkWithSize("LIST", 0xFFFFFFFFu, {'I', 'N', 'F', 'O'}), data});
    wrapping.insert(wrapping.end(), {'t', 'a', 'i', 'l', 40, 30, 50, 1});
    return {
        {},
        Riff({fmt, data}),
        Riff({fmt, nested}),
        wrapping,
        Riff({Chunk("fmt ", FmtBody(1)), data}),
        Concat({Riff({fmt, data}), Riff({fmt, Chunk("data", {1, 2, 3})})}),
    };
}

class FuzzRegressionTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(FuzzRegressionTest, KeptInputsPassTheTarget) {
    const TargetCase& target = GetParam();
    const fs::path folder = kRegressions / target.name;
    std::size_t count = 0;
    if (fs::is_directory(folder)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename() == "README") {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            const Bytes input = ReadFile(entry.path());
            EXPECT_EQ(target.run(input.data(), input.size()), 0);
            ++count;
        }
    }
    for (const Bytes& input : BuiltInputs()) {
        EXPECT_EQ(target.run(input.data(), input.size()), 0);
        ++count;
    }
    RecordProperty("inputs", static_cast<int>(count));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FuzzRegressionTest,
    ::testing::Values(TargetCase{"write_job", FuzzWriteJob}, TargetCase{"play_job", FuzzPlayJob},
                      TargetCase{"processing", FuzzProcessing}, TargetCase{"decode", FuzzDecode},
                      TargetCase{"tags", FuzzTags}, TargetCase{"cache", FuzzCache},
                      TargetCase{"presets", FuzzPresets}, TargetCase{"options", FuzzOptions}),
    [](const ::testing::TestParamInfo<TargetCase>& target) {
        return std::string(target.param.name);
    });

}  // namespace

// The worst layouts of a 10 MB input for the command-line tool: it must finish within
// 10 s of processor time and 64 MB of address space, without a crash. The limits are
// enforced on the child process by the kernel; under a sanitizer, which needs far more
// of both, only the time limit is kept, widened.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "settings/job_messages.h"
#include "tests/reliability/cli_runner.h"
#include "tests/test_support/wav_builder.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kInputBytes = 10 * 1000 * 1000;
constexpr rlim_t kMemoryBytes = 64u << 20;
// The FFmpeg libraries the tool links map about 150 MB before it reads a byte.
constexpr rlim_t kAddressSpaceBytes = 256u << 20;
constexpr rlim_t kCpuSeconds = 10;
constexpr rlim_t kSanitizerSlowdown = 6;

Bytes Header(std::uint32_t riffSize) {
    Bytes out;
    AppendId(out, "RIFF");
    AppendLe32(out, riffSize);
    AppendId(out, "WAVE");
    return out;
}

Bytes StereoFmt() {
    return Chunk("fmt ", FmtBody(2));
}

// Repeats unit after head until the file is about kInputBytes long, then (unless told
// not to) sets the first RIFF size to cover the whole file.
Bytes Fill(Bytes head, const Bytes& unit, bool coverAll = true) {
    while (!unit.empty() && head.size() + unit.size() <= kInputBytes) {
        head.insert(head.end(), unit.begin(), unit.end());
    }
    if (!coverAll) {
        return head;
    }
    const auto riffSize = static_cast<std::uint32_t>(head.size() - 8);
    for (int i = 0; i < 4; ++i) {
        head[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    }
    return head;
}

// LIST chunks nested depth deep around one inner chunk, each size exact.
Bytes Tower(int depth, const Bytes& inner) {
    Bytes out = inner;
    for (int i = 0; i < depth; ++i) {
        out = ListChunk("deep", {out});
    }
    return out;
}

// LIST headers nested as deep as the file allows, each claiming all that follows.
Bytes EndlessNesting() {
    constexpr std::size_t kHeader = 12;
    const std::size_t levels = (kInputBytes - 40) / kHeader;
    Bytes out = Concat({Header(0), StereoFmt()});
    for (std::size_t i = 0; i < levels; ++i) {
        const std::size_t rest = (levels - i) * kHeader - 8;
        AppendId(out, "LIST");
        AppendLe32(out, static_cast<std::uint32_t>(rest));
        AppendId(out, "nest");
    }
    return Fill(out, {});
}

Bytes WrappingSizes() {
    Bytes head = Concat({Header(0), StereoFmt()});
    // Sizes that wrap the remaining length, odd sizes and a LIST that claims everything.
    const std::uint32_t sizes[] = {0xFFFFFFFFu, 0xFFFFFFFEu, 0x7FFFFFFFu, 0x80000000u, 3};
    Bytes unit;
    for (const std::uint32_t size : sizes) {
        Bytes claim = ChunkWithSize("LIST", size, {'I', 'N', 'F', 'O'});
        unit.insert(unit.end(), claim.begin(), claim.end());
        Bytes odd = Chunk("odd ", {1});
        unit.insert(unit.end(), odd.begin(), odd.end());
    }
    return Fill(head, unit);
}

struct Layout {
    const char* name;
    std::function<Bytes()> make;
    bool notAudio = false;  // refused before the engine sees it
};

const Layout kLayouts[] = {
    {"many_tiny_chunks",
     [] {
         return Fill(Concat({Header(0), StereoFmt()}), Chunk("junk", {}));
     }},
    {"many_odd_chunks",
     [] {
         return Fill(Concat({Header(0), StereoFmt()}), Chunk("odd ", {7}));
     }},
    {"many_tiny_data_chunks",
     [] {
         return Fill(Concat({Header(0), StereoFmt()}), Chunk("data", {1, 2, 3, 4}));
     }},
    {"many_empty_data_chunks",
     [] {
         return Fill(Concat({Header(0), StereoFmt()}), Chunk("data", {}));
     }},
    {"many_fmt_chunks", [] { return Fill(Header(0), StereoFmt()); }},
    {"deep_list_towers",
     [] {
         return Fill(Concat({Header(0), StereoFmt()}), Tower(70, Chunk("data", {9, 9, 9, 9})));
     }},
    {"endless_nesting", EndlessNesting},
    {"wrapping_sizes", WrappingSizes},
    {"riff_size_3",
     [] {
         Bytes file = Fill(Concat({Header(0), StereoFmt()}), Chunk("junk", {}));
         file[4] = 3;
         file[5] = file[6] = file[7] = 0;
         return file;
     }},
    {"riff_size_huge_with_data_claiming_4gb",
     [] {
         Bytes file = Concat({Header(0), StereoFmt(), ChunkWithSize("data", 0xFFFFFFFFu, {})});
         file.resize(kInputBytes, 0x5A);
         file[4] = file[5] = file[6] = file[7] = 0xFF;
         return file;
     }},
    {"many_empty_forms", [] { return Fill({}, Header(4), false); }},
    {"many_small_forms",
     [] {
         return Fill({}, Concat({Header(36), StereoFmt(), Chunk("data", {1, 0, 2, 0})}), false);
     }},
    {"one_big_data_chunk", [] { return SimpleWav(TestSignal((kInputBytes - 44) / 4, 11)); }},
    {"not_riff", [] { return Bytes(kInputBytes, 0); }, true},
};

class BoundsTest : public ::testing::TestWithParam<Layout> {};

TEST_P(BoundsTest, RendersWithinTimeAndMemory) {
    TempDir dir;
    const fs::path in = dir / "in.wav";
    const fs::path out = dir / "out.wav";
    const Bytes input = GetParam().make();
    ASSERT_LE(input.size(), kInputBytes);
    ASSERT_GE(input.size(), kInputBytes - 100000);
    WriteFile(in, input);

    CliLimits limits;
    limits.cpuSeconds = BuiltWithSanitizer() ? kCpuSeconds * kSanitizerSlowdown : kCpuSeconds;
    if (!BuiltWithSanitizer()) {
        limits.addressSpaceBytes = kAddressSpaceBytes;
    }
    const CliRun run = RunCli({"render", in.string(), out.string()}, limits);

    ASSERT_TRUE(run.exited) << "killed by signal " << run.signal
                            << (run.signal == SIGXCPU ? " (processor time limit)" : "");
    EXPECT_EQ(run.exitCode, GetParam().notAudio ? 1 : 0) << run.err.substr(0, 2000);
    if (!BuiltWithSanitizer()) {
        EXPECT_LE(run.maxRssKb * 1024, static_cast<long>(kMemoryBytes));
    }
    if (run.exitCode == 0) {
        EXPECT_EQ(fs::file_size(out), input.size());
    }
    EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(WorstLayouts, BoundsTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& layout) {
                             return std::string(layout.param.name);
                         });

// Every "data" chunk too short for a position step resets the loop; the warning about it
// comes once per job, not once per chunk, and the loop end is back at its highest.
TEST(BoundsTest, TinyDataChunksWarnOncePerJob) {
    const Bytes tiny = Chunk("data", {1, 2, 3, 4});
    ProcessingParameters params;
    RecordingObserver observer;
    const WriteOutcome outcome = RunWriteJob(Riff({StereoFmt(), tiny, tiny, tiny, tiny}), params,
                                             observer, nullptr, RowOf(Knob::LoopEnd).max / 2);
    ASSERT_EQ(outcome.result, JobResult::Done);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{MessageText({JobError::LoopAtStart})});
    ASSERT_FALSE(observer.Loops().empty());
    EXPECT_EQ(observer.Loops().back(), std::make_pair(0, RowOf(Knob::LoopEnd).max));
}

}  // namespace

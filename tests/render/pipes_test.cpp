// The read-ahead and write-behind of large write jobs: the same bytes, the same input
// position and the same failures as plain reads and writes.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "job_io.h"
#include "job_runner.h"
#include "job_state.h"
#include "write_job_streams.h"

namespace {

constexpr std::size_t kBig = WriteJobStreams::kWorthBytes + 3 * WriteJobStreams::kPieceBytes / 2;

Bytes Body(std::size_t bytes, std::uint32_t seed) {
    Bytes out = Samples(TestSignal(bytes / 4 + 1, seed));
    out.resize(bytes);
    return out;
}

TEST(WriteJobStreams, LargeDataBodiesAmongOtherChunksComeOutAsPlainProcessingMakesThem) {
    const Bytes input = Riff({
        Chunk("fmt ", FmtBody(2)),
        ListChunk("INFO", {Chunk("INAM", {'s', 'o', 'n', 'g', 0})}),
        Chunk("data", Body(kBig, 1)),
        Chunk("junk", {1, 2, 3}),
        Chunk("data", Body(kBig + 6, 2)),  // ends in half a frame
        Chunk("zzzz", Bytes(100, 7)),
    });
    FakeWindow window;
    const WriteOutcome outcome = RunWriteJob(input, window);
    ASSERT_EQ(outcome.result, JobResult::Done);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_TRUE(outcome.output == ExpectedWrite(input, window.State()));
}

TEST(WriteJobStreams, DataBodyCutShortByTheEndOfTheFile) {
    Bytes input = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", Body(kBig, 3))});
    const std::size_t sizeField = 44 - 4;
    input[sizeField] = 0xF0;  // claims about 16 MB, far more than the file holds
    input[sizeField + 1] = 0xFF;
    input[sizeField + 2] = 0xFF;
    FakeWindow window;
    const WriteOutcome outcome = RunWriteJob(input, window);
    ASSERT_EQ(outcome.result, JobResult::Done);
    EXPECT_TRUE(outcome.output == ExpectedWrite(input, window.State()));
}

// Files opened as a job opens them, positioned at byte `start` of the input.
struct JobFiles {
    JobFiles(const std::filesystem::path& in, const std::filesystem::path& out, std::size_t start)
        : input(std::fopen(in.c_str(), "rb")), output(std::fopen(out.c_str(), "wb")) {
        std::fseek(input, static_cast<long>(start), SEEK_SET);
    }
    ~JobFiles() {
        if (input) {
            std::fclose(input);
        }
        if (output) {
            std::fclose(output);
        }
    }
    std::FILE* input;
    std::FILE* output;
};

// Random reads, writes and seeks, done once plainly and once through the streams.
TEST(WriteJobStreams, ReadsWritesAndSeeksMatchPlainFileCalls) {
    TempDir dir;
    const Bytes file = Body(3 * kBig, 4);
    WriteFile(dir / "in", file);
    constexpr std::size_t kStart = 1234;
    const std::size_t length = 2 * kBig + 17;  // the bytes after it belong to the walk

    FakeWindow window;
    JobContext context{window};
    JobFiles plainFiles(dir / "in", dir / "plain", kStart);
    JobFiles streamFiles(dir / "in", dir / "streamed", kStart);
    Job plain{context, plainFiles.input, plainFiles.output};
    Job streamed{context, streamFiles.input, streamFiles.output};
    WriteBytes(plain, "head", 4);
    WriteBytes(streamed, "head", 4);

    WriteJobStreams streams(streamed, length);
    streamed.streams = &streams;
    std::mt19937 random(5);
    std::size_t consumed = 0;
    Bytes a(200000);
    Bytes b(200000);
    for (int step = 0; step < 150; ++step) {
        const unsigned action = random() % 10;
        if (action == 0) {
            const std::size_t to = kStart + random() % length;
            SeekInput(plain, static_cast<std::int64_t>(to));
            SeekInput(streamed, static_cast<std::int64_t>(to));
            consumed = to - kStart;
            continue;
        }
        const std::size_t want = std::min<std::size_t>(random() % a.size(), length - consumed);
        const std::size_t gotPlain = ReadBytes(plain, a.data(), want);
        const std::size_t gotStreamed = ReadBytes(streamed, b.data(), want);
        ASSERT_EQ(gotPlain, gotStreamed) << "step " << step;
        ASSERT_TRUE(
            std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(gotPlain), b.begin()))
            << "step " << step;
        consumed += gotPlain;
        WriteBytes(plain, a.data(), gotPlain);
        WriteBytes(streamed, b.data(), gotStreamed);
    }
    streamed.streams = nullptr;
    streams.Finish();
    EXPECT_FALSE(JobFailed(streamed));
    EXPECT_EQ(std::ftell(streamFiles.input), std::ftell(plainFiles.input));
    WriteBytes(plain, "tail", 4);
    WriteBytes(streamed, "tail", 4);
    // The walk reads on where the driver stopped.
    EXPECT_EQ(std::fgetc(streamFiles.input), std::fgetc(plainFiles.input));
    std::fflush(plainFiles.output);
    std::fflush(streamFiles.output);
    const Bytes plainOut = ReadFile(dir / "plain");
    EXPECT_GT(plainOut.size(), kBig);
    EXPECT_TRUE(plainOut == ReadFile(dir / "streamed"));
}

TEST(WriteJobStreams, FailuresOfEitherFileReachTheJob) {
    TempDir dir;
    WriteFile(dir / "in", Body(kBig, 6));
    FakeWindow window;
    JobContext context{window};
    Bytes buffer(kBlockBytes);

    {
        // A full disk: every write fails with ENOSPC.
        JobFiles files(dir / "in", "/dev/full", 0);
        ASSERT_NE(files.output, nullptr);
        Job job{context, files.input, files.output};
        WriteJobStreams streams(job, kBig);
        job.streams = &streams;
        while (!JobFailed(job)) {
            const std::size_t got = ReadBytes(job, buffer.data(), buffer.size());
            if (got == 0) {
                break;
            }
            WriteBytes(job, buffer.data(), got);
        }
        job.streams = nullptr;
        streams.Finish();
        EXPECT_TRUE(job.writeFailed);
        EXPECT_FALSE(job.readFailed);
    }
    {
        // An input that cannot be read.
        JobFiles files(dir / "in", dir / "out", 0);
        std::fclose(files.input);
        files.input = std::fopen((dir / "in").c_str(), "ab");
        ASSERT_NE(files.input, nullptr);
        Job job{context, files.input, files.output};
        WriteJobStreams streams(job, kBig);
        job.streams = &streams;
        EXPECT_EQ(ReadBytes(job, buffer.data(), buffer.size()), 0u);
        job.streams = nullptr;
        streams.Finish();
        EXPECT_TRUE(job.readFailed);
    }
}

}  // namespace

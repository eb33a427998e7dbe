// The read-ahead and write-behind of write jobs: the same bytes, the same input position
// and the same failures as plain reads and writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "container/file_input.h"
#include "render/blocking_queue.h"
#include "render/pipes.h"
#include "tests/test_support/write_helpers.h"

namespace {

constexpr std::size_t kBig = 5 << 20;  // several pieces of the pipes

Bytes Body(std::size_t bytes, std::uint32_t seed) {
    Bytes out = Samples(TestSignal(bytes / 4 + 1, seed));
    out.resize(bytes);
    return out;
}

WriteOutcome WriteWithThreads(const Bytes& input, const ProcessingParameters& params) {
    TempDir dir;
    WriteFile(dir / "in.wav", input);
    WriteRequest request;
    request.input = dir / "in.wav";
    request.output = dir / "out.wav";
    request.params = &params;
    request.ioThreads = true;
    RecordingObserver observer;
    WriteOutcome outcome{JobRunner().Write(request, observer), {}, false, observer.Messages()};
    outcome.output = ReadFile(dir / "out.wav");
    return outcome;
}

// Large data bodies among other chunks, one cut short by the end of the file.
TEST(Pipes, WriteJobsReadingAheadAndWritingBehindWriteWhatPlainProcessingMakes) {
    Bytes cutShort = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", Body(kBig, 3))});
    cutShort[40] = 0xF0;  // the data claims about 16 MB, far more than the file holds
    cutShort[41] = 0xFF;
    cutShort[42] = 0xFF;
    const Bytes inputs[] = {
        Riff({
            Chunk("fmt ", FmtBody(2)),
            ListChunk("INFO", {Chunk("INAM", {'s', 'o', 'n', 'g', 0})}),
            Chunk("data", Body(kBig, 1)),
            Chunk("junk", {1, 2, 3}),
            Chunk("data", Body(kBig + 6, 2)),  // ends in half a frame
            Chunk("zzzz", Bytes(100, 7)),
        }),
        cutShort,
    };
    const ProcessingParameters params;
    for (const Bytes& input : inputs) {
        const WriteOutcome outcome = WriteWithThreads(input, params);
        ASSERT_EQ(outcome.result, JobResult::Done);
        EXPECT_TRUE(outcome.messages.empty());
        EXPECT_TRUE(outcome.output == ExpectedWrite(input, params));
    }
}

// Reads of random sizes through the read-ahead return what plain reads return, no further
// than its limit, and leave the input where plain reads would.
TEST(Pipes, ReadAheadReadsWhatPlainReadsReadAndStopsAtItsLimit) {
    TempDir dir;
    const Bytes file = Body(3 * kBig, 4);
    WriteFile(dir / "in", file);
    constexpr std::size_t kStart = 1234;
    for (const std::size_t limit : {2 * kBig + 17, 4 * kBig}) {  // inside the file, past it
        FileInput plain;
        FileInput ahead;
        ASSERT_TRUE(plain.Open(dir / "in") && ahead.Open(dir / "in"));
        plain.Seek(kStart);
        ahead.Seek(kStart);
        std::mt19937 random(5);
        Bytes a(200000);
        Bytes b(200000);
        std::size_t consumed = 0;
        {
            ReadAhead reader(ahead, limit);
            for (;;) {
                const std::size_t want =
                    std::min<std::size_t>(random() % a.size(), limit - consumed);
                const std::size_t gotPlain = plain.Read(a.data(), want);
                ASSERT_EQ(reader.Read(b.data(), want), gotPlain);
                ASSERT_TRUE(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(gotPlain),
                                       b.begin()));
                consumed += gotPlain;
                if (gotPlain < want || consumed == limit) {
                    break;
                }
            }
            EXPECT_EQ(reader.Read(b.data(), 1), 0u) << "nothing past the limit or the end";
        }
        EXPECT_EQ(consumed, std::min(limit, file.size() - kStart));
        EXPECT_EQ(ahead.Tell(), plain.Tell()) << "the walk reads on where the data ended";
    }
}

// An input of unknown length that produces its bytes slowly, a little at a time, as a
// decoder does: the reader must hand on every byte, however fast they are taken.
class SlowInput : public ByteInput {
  public:
    explicit SlowInput(std::size_t bytes) : m_left(bytes) {}
    std::size_t Read(unsigned char* buffer, std::size_t n) override {
        std::size_t got = 0;
        while (got < n && m_left > 0) {
            const std::size_t take = std::min({n - got, m_left, std::size_t{4096}});
            std::fill_n(buffer + got, take, static_cast<unsigned char>(m_left & 0xFF));
            got += take;
            m_left -= take;
            if (m_left % (64 * 4096) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return got;
    }

  private:
    std::size_t m_left;
};

TEST(Pipes, ReadAheadHandsOnEveryByteOfASlowInputOfUnknownLength) {
    for (int round = 0; round < 20; ++round) {
        constexpr std::size_t kBytes = 576000;  // a piece and a bit
        SlowInput input(kBytes);
        ReadAhead reader(input, std::numeric_limits<std::uint64_t>::max());
        Bytes block(44100);
        std::size_t total = 0;
        while (const std::size_t got = reader.Read(block.data(), block.size())) {
            total += got;
        }
        ASSERT_EQ(total, kBytes) << "round " << round;
    }
}

// A sink that fails after a number of bytes, as a full disk does.
class FailingSink : public RenderSink {
  public:
    explicit FailingSink(std::size_t room) : m_room(room) {}
    bool Container(const unsigned char*, std::size_t) override { return true; }
    bool Format(const WaveFormat&) override { return true; }
    bool Frames(const unsigned char*, std::size_t n) override {
        m_written += n;
        return m_written <= m_room;
    }
    bool Commit() override { return true; }

  private:
    std::size_t m_room;
    std::size_t m_written = 0;
};

TEST(Pipes, AFailureBehindReachesTheWriterAndTheSinkHearsNothingMore) {
    for (const std::size_t room : {std::size_t{0}, std::size_t{3} << 20, std::size_t{1} << 40}) {
        FailingSink sink(room);
        WriteBehind behind(sink);
        const Bytes block(44100, 1);
        bool refused = false;
        for (int i = 0; i < 400 && !refused; ++i) {
            refused = !behind.Frames(block.data(), block.size());
        }
        const bool finished = behind.Finish();
        EXPECT_EQ(finished, room > 400 * block.size()) << room;
        EXPECT_EQ(refused || !finished, room < 400 * block.size()) << room;
    }
}

// The queue between the pipes' threads and of the pool's own threads: items in order; once
// closed what is left and then nothing, once cancelled nothing at once, however many wait.
TEST(BlockingQueue, HandsOnInOrderAndEndsAsClosedOrCancelled) {
    struct Case {
        bool cancel;
        std::vector<int> popped;
    };
    const Case cases[] = {{false, {1, 2, 3}}, {true, {}}};
    for (const Case& c : cases) {
        BlockingQueue<int> queue;
        for (const int item : {1, 2, 3}) {
            queue.Push(item);
        }
        if (c.cancel) {
            queue.Cancel();
        } else {
            queue.Close();
        }
        std::vector<int> popped;
        while (const std::optional<int> item = queue.Pop()) {
            popped.push_back(*item);
        }
        EXPECT_EQ(popped, c.popped) << "cancelled " << c.cancel;
        EXPECT_FALSE(queue.Pop().has_value());
    }
}

TEST(BlockingQueue, WaitingConsumersGetEveryItemOnceInTheOrderPushed) {
    BlockingQueue<int> queue;
    std::vector<int> popped[2];
    std::vector<std::thread> consumers;
    for (std::vector<int>& mine : popped) {
        consumers.emplace_back([&queue, &mine] {
            while (const std::optional<int> item = queue.Pop()) {
                mine.push_back(*item);
            }
        });
    }
    constexpr int kItems = 10000;
    for (int i = 0; i < kItems; ++i) {
        queue.Push(i);
    }
    queue.Close();
    for (std::thread& consumer : consumers) {
        consumer.join();
    }
    EXPECT_TRUE(std::ranges::is_sorted(popped[0]) && std::ranges::is_sorted(popped[1]));
    std::vector<int> all = popped[0];
    all.insert(all.end(), popped[1].begin(), popped[1].end());
    std::ranges::sort(all);
    ASSERT_EQ(all.size(), std::size_t{kItems});
    for (int i = 0; i < kItems; ++i) {
        ASSERT_EQ(all[static_cast<std::size_t>(i)], i);
    }
}

}  // namespace

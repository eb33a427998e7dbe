// The container walk of write jobs: every byte outside the "data" bodies is copied
// unchanged and in order, whatever the layout.

#include <gtest/gtest.h>

#include <filesystem>

#include "container/riff.h"
#include "render/render.h"
#include "tests/test_support/write_helpers.h"

namespace {

const std::filesystem::path kFixtures = std::filesystem::path(ZERBEX_TEST_DATA) / "fixtures";

Bytes Info() {
    return ListChunk("INFO",
                     {Chunk("ISBJ", {'v', 'o', 'x'}), Chunk("ICOP", {'(', 'c', ')', ' ', '1'}),
                      Chunk("ICRD", {'2', '0', '2', '6', '\0'})});
}

Bytes StereoData(std::size_t frames, std::uint32_t seed = 7) {
    return Samples(TestSignal(frames, seed));
}

// Write jobs one after another, the format of one carrying to the next, as in the program.
class ContainerWalk : public ::testing::Test {
  protected:
    WriteOutcome Walk(const Bytes& input, const ProcessingParameters& params) {
        RecordingObserver observer;
        return RenderWave(input, params, observer, m_format);
    }
    WriteOutcome Walk(const Bytes& input) { return Walk(input, m_startUp); }

    void ExpectProcessedCopy(const Bytes& input) {
        const WriteOutcome o = Walk(input);
        EXPECT_EQ(o.result, JobResult::Done);
        EXPECT_TRUE(o.messages.empty()) << o.messages.front();
        ASSERT_EQ(o.output.size(), input.size());
        EXPECT_TRUE(o.output == ExpectedWrite(input, m_startUp));
    }

    const ProcessingParameters m_startUp{};

  private:
    WaveFormat m_format;
};

TEST_F(ContainerWalk, CopiesListInfoOddSizesAndTrailingChunks) {
    const Bytes odd = {1, 2, 3};
    ExpectProcessedCopy(Riff({Info(), Chunk("fmt ", FmtBody(2)), Chunk("JUNK", odd),
                              Chunk("data", StereoData(3000)), Info(), Chunk("abcd", odd)}));
}

TEST_F(ContainerWalk, EighteenByteFormatKeepsItsExtraBytes) {
    ExpectProcessedCopy(Riff(
        {Chunk("fmt ", FmtBody(2, 44100, 16, 1, {0x00, 0x00})), Chunk("data", StereoData(500))}));
}

TEST_F(ContainerWalk, FormatAndDataNestedInsideListAreHandledAsAtTopLevel) {
    const Bytes input =
        Riff({ListChunk("wavl", {Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(800))})});
    ExpectProcessedCopy(input);
    EXPECT_EQ(DataBodies(input).size(), 1u);
}

TEST_F(ContainerWalk, TwoFormsBackToBackAreBothProcessed) {
    const Bytes first = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(700, 1))});
    const Bytes second = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(900, 2))});
    const Bytes input = Concat({first, second});
    ASSERT_EQ(DataBodies(input).size(), 2u);
    ExpectProcessedCopy(input);
}

TEST_F(ContainerWalk, NonRiffAndEmptyInputsAreCopiedUnchanged) {
    Bytes text(1001);
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<std::uint8_t>('a' + i % 26);
    }
    for (const Bytes& input : {text, Bytes{}, Bytes{'R', 'I', 'F', 'F', 1}}) {
        const WriteOutcome o = Walk(input);
        EXPECT_EQ(o.result, JobResult::Done);
        EXPECT_TRUE(o.outputExists);
        EXPECT_TRUE(o.output == input);
    }
    // A form type other than WAVE is not walked either.
    const Bytes avi = Riff({Chunk("data", StereoData(100))}, "AVI ");
    EXPECT_TRUE(Walk(avi).output == avi);
}

TEST_F(ContainerWalk, RiffSizeFourHasNoChunksAndTheRestIsCopied) {
    Bytes input = Riff({});
    ASSERT_EQ(input.size(), 12u);
    const Bytes rest = Concat({Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(64))});
    input.insert(input.end(), rest.begin(), rest.end());
    EXPECT_TRUE(Walk(input).output == input);
}

TEST_F(ContainerWalk, TruncatedFilesKeepEveryByteTheyHave) {
    const Bytes whole = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(2000)), Info()});
    // Cut inside the data body (a partial frame at the end), inside a header, inside fmt.
    for (std::size_t cut :
         {whole.size() - 30, std::size_t{44 + 4001}, std::size_t{41}, std::size_t{20}}) {
        const Bytes input(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const WriteOutcome o = Walk(input);
        ASSERT_EQ(o.output.size(), input.size()) << "cut at " << cut;
        if (cut > 44) {
            const Bytes body(
                input.begin() + 44,
                input.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(cut, 44 + 8000)));
            const Bytes processed = ProcessedBody(body, m_startUp);
            EXPECT_TRUE(std::equal(processed.begin(), processed.end(), o.output.begin() + 44))
                << cut;
        }
        EXPECT_TRUE(std::equal(
            input.begin(),
            input.begin() + std::min<std::ptrdiff_t>(44, static_cast<std::ptrdiff_t>(cut)),
            o.output.begin()));
    }
}

TEST_F(ContainerWalk, PartialFrameAtTheEndOfDataIsCopiedUnchanged) {
    Bytes body = StereoData(1000);
    body.push_back(0x34);
    body.push_back(0x12);
    const Bytes input = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", body)});
    const WriteOutcome o = Walk(input);
    ASSERT_EQ(o.output.size(), input.size());
    EXPECT_EQ(o.output[o.output.size() - 2], 0x34);
    EXPECT_EQ(o.output[o.output.size() - 1], 0x12);
    EXPECT_TRUE(o.output == ExpectedWrite(input, m_startUp));
    // An odd data size: the last sample byte and the pad byte stay as they are.
    Bytes oddBody = StereoData(300);
    oddBody.push_back(0x77);
    ExpectProcessedCopy(Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", oddBody), Info()}));
}

TEST_F(ContainerWalk, BodiesLargerThanTheBlockBufferAreCopiedInPieces) {
    Bytes junk(kBlockBytes * 3 + 17);
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    ExpectProcessedCopy(
        Riff({Chunk("JUNK", junk), Chunk("fmt ", FmtBody(2)),
              Chunk("data", StereoData(kBlockBytes / 2 + 3)), Chunk("JUNK", junk)}));
}

TEST_F(ContainerWalk, DeepListNestingIsCopiedWithoutExhaustingTheStack) {
    Bytes nested = Chunk("data", StereoData(50));
    for (int i = 0; i < 2000; ++i) {
        nested = ListChunk("deep", {nested});
    }
    const Bytes input = Riff({Chunk("fmt ", FmtBody(2)), nested});
    const WriteOutcome o = Walk(input);
    EXPECT_EQ(o.result, JobResult::Done);
    EXPECT_TRUE(o.output == input) << "beyond the nesting bound the data is copied as it is";
    // Within the bound a nested data body is processed.
    Bytes shallow = Chunk("data", StereoData(50));
    for (int i = 0; i < kMaxListDepth; ++i) {
        shallow = ListChunk("deep", {shallow});
    }
    ExpectProcessedCopy(Riff({Chunk("fmt ", FmtBody(2)), shallow}));
}

TEST_F(ContainerWalk, SizesThatDoNotAddUpAreWalkedToTheEndOfTheFile) {
    Bytes input = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(100))});
    input[4] = 0xFF;  // RIFF size far larger than the file
    input[5] = 0xFF;
    input[6] = 0xFF;
    input[7] = 0xFF;
    ExpectProcessedCopy(input);
    // A chunk claiming 4 GiB - 1 bytes: read to the end, copied unchanged.
    const Bytes huge =
        Concat({Riff({Chunk("fmt ", FmtBody(2))}), ChunkWithSize("JUNK", 0xFFFFFFFFu, {1, 2, 3})});
    EXPECT_TRUE(Walk(huge).output == huge);
}

TEST_F(ContainerWalk, ShortFormatChunkIsCopiedAndDoesNotCountAsAFormat) {
    Walk(SimpleWav(std::vector<std::int16_t>(100, 5), 1));  // leaves mono behind
    const Bytes input = Riff({Chunk("fmt ", {2, 0, 2, 0}), Chunk("data", StereoData(10))});
    const WriteOutcome o = Walk(input);
    EXPECT_EQ(o.result, JobResult::Refused);
    ASSERT_EQ(o.messages.size(), 1u);
    EXPECT_EQ(o.messages[0], "Error code 1101, Input not stereo! \n");
}

TEST_F(ContainerWalk, FileWithoutFormatUsesThePreviousJobsFormat) {
    Walk(SimpleWav(TestSignal(10)));
    ExpectProcessedCopy(Riff({Chunk("data", StereoData(400))}));
}

TEST_F(ContainerWalk, SecondFormatChunkWins) {
    const Bytes input =
        Riff({Chunk("fmt ", FmtBody(1)), Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(40))});
    ExpectProcessedCopy(input);
    const Bytes monoLast =
        Riff({Chunk("fmt ", FmtBody(2)), Chunk("fmt ", FmtBody(1)), Chunk("data", StereoData(40))});
    EXPECT_EQ(Walk(monoLast).result, JobResult::Refused);
}

TEST_F(ContainerWalk, RefusedInputShowsItsMessageOnceAndWritesNothing) {
    struct Case {
        Bytes input;
        const char* message;
    };
    const Case cases[] = {
        {SimpleWav(std::vector<std::int16_t>(300, 100), 1),
         "Error code 1101, Input not stereo! \n"},
        {Riff({Chunk("fmt ", FmtBody(6)), Chunk("data", Bytes(120))}),
         "Error code 1101, Input not stereo! \n"},
        {Riff({Chunk("fmt ", FmtBody(2, 44100, 24)), Chunk("data", Bytes(120))}),
         "Error code 1102, Input not 16-bit! \n"},
        {Riff({Chunk("fmt ", FmtBody(2, 44100, 32, 3)), Chunk("data", Bytes(128))}),
         "Error code 1102, Input not 16-bit! \n"},
        {Riff({Chunk("fmt ", FmtBody(2, 44100, 8)), Chunk("data", Bytes(120))}),
         "Error code 1102, Input not 16-bit! \n"},
    };
    for (const Case& c : cases) {
        const WriteOutcome o = Walk(c.input);
        EXPECT_EQ(o.result, JobResult::Refused);
        EXPECT_FALSE(o.outputExists) << "a refused job leaves no output behind";
        ASSERT_EQ(o.messages.size(), 1u);
        EXPECT_EQ(o.messages[0], c.message);
    }
}

TEST_F(ContainerWalk, ExtensibleSixteenBitStereoIsProcessed) {
    ExpectProcessedCopy(
        Riff({Chunk("fmt ", ExtensibleFmtBody(2, 48000, 16)), Chunk("data", StereoData(1200))}));
}

// Files as other tools write them: every byte outside the data bodies stays, the data is
// processed to the last bit.
TEST_F(ContainerWalk, FilesWrittenBySoxAndFfmpeg) {
    for (const char* name :
         {"sox_stereo.wav", "ffmpeg_bext_junk_list.wav", "ffmpeg_extensible_96k.wav"}) {
        SCOPED_TRACE(name);
        const Bytes input = ReadFile(kFixtures / name);
        ASSERT_EQ(DataBodies(input).size(), 1u);
        ExpectProcessedCopy(input);
    }
    for (const char* name : {"sox_24bit.wav", "sox_mono.wav"}) {
        EXPECT_EQ(Walk(ReadFile(kFixtures / name)).result, JobResult::Refused) << name;
    }
}

TEST_F(ContainerWalk, WriteJobParametersApplyToTheWholeData) {
    ProcessingParameters s;
    SetParameters(s, {-17, 33, 12, 13, 13, 7});
    const Bytes input = Riff({Chunk("fmt ", FmtBody(2)), Chunk("data", StereoData(20000))});
    const WriteOutcome o = Walk(input, s);
    EXPECT_TRUE(o.output == ExpectedWrite(input, s));
}

}  // namespace

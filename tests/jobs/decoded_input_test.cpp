// Decoded inputs held to what WAV inputs promise: the cache folder holds nothing but its own
// copies and never changes what it does not own; decodings side by side share the free
// space; an input that changes while it is decoded is no copy of either version; one that
// holds less than it declares is written as far as it goes, with a word about it; a stream
// whose rate changes midway keeps its pitch; its WAV's sizes count every frame written.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "jobs/input_file.h"
#include "render/decoded_source.h"
#include "render/disk_space.h"
#include "settings/cache_folder.h"
#include "settings/job_messages.h"
#include "tests/test_support/cache_home.h"
#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

std::string Tone(double hz, int rate, double seconds) {
    return "aevalsrc=sin(" + std::to_string(hz) + "*2*PI*t)*0.5|sin(" + std::to_string(hz) +
           "*2*PI*t)*0.3:s=" + std::to_string(rate) + ":d=" + std::to_string(seconds);
}

struct Written {
    JobResult result;
    std::vector<std::string> messages;
    Bytes output;
};

Written Write(const fs::path& input, const fs::path& output, DiskSpace* disk = nullptr,
              std::function<void(double)> onProgress = {}) {
    class Observer : public RecordingObserver {
      public:
        std::function<void(double)> progress;
        void Progress(double done) override {
            if (progress) {
                progress(done);
            }
        }
    } observer;
    observer.progress = std::move(onProgress);
    ProcessingParameters params;
    params.mode = PlayMode::Original;
    WriteRequest request;
    request.input = input;
    request.output = output;
    request.params = &params;
    request.disk = disk;
    Written written{JobRunner().Write(request, observer), observer.Messages(), {}};
    if (fs::exists(output)) {
        written.output = ReadFile(output);
    }
    return written;
}

TEST(CacheFolder, IsMadeOwnerOnlyAndRefusedWhenNoFolderOfTheUsers) {
    TempDir base;
    const CacheHome home(base.Path());
    std::string problem;
    ASSERT_TRUE(CacheFolder(problem)) << problem;
    EXPECT_EQ(fs::status(base / "zerbex2").permissions() & fs::perms::all, fs::perms::owner_all);

    fs::remove(base / "zerbex2");
    WriteFile(base / "zerbex2", Bytes(3, 1));
    EXPECT_FALSE(CacheFolder(problem));
    EXPECT_NE(problem.find("is not a folder"), std::string::npos) << problem;
    fs::remove(base / "zerbex2");

    if (::geteuid() == 0) {  // only the system's administrator can give a folder away
        fs::create_directory(base / "zerbex2");
        ASSERT_EQ(::chown((base / "zerbex2").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(CacheFolder(problem));
        EXPECT_NE(problem.find("belongs to another user"), std::string::npos) << problem;
    }
}

// A cache folder that is a link to a folder of the user's: only this program's own copies
// that no running program holds go, and the folder keeps its permissions.
TEST(CacheFolder, CleanUpRemovesOnlyUnlockedCopiesOfItsOwnNames) {
    TempDir base;
    const CacheHome home(base.Path());
    const fs::path mine = base / "music";
    fs::create_directory(mine);
    fs::permissions(mine, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::create_directory_symlink(mine, base / "zerbex2");
    const char* keep[] = {"2024-01-05 live set.flac", "20231224-holiday.wav",
                          "4194303-0badf00d-decoded.wav", "zerbex2-decoded-0123.wav",
                          "zerbex2-decoded-0123456789abcdefg.wav"};
    for (const char* name : keep) {
        WriteFile(mine / name, Bytes(8, 1));
    }
    const fs::path stale = mine / "zerbex2-decoded-0123456789abcdef.wav";
    WriteFile(stale, Bytes(8, 1));
    std::string problem;
    const std::optional<fs::path> folder = CacheFolder(problem);
    ASSERT_TRUE(folder) << problem;
    CacheFile live;
    ASSERT_TRUE(live.Create(*folder, "decoded"));
    ASSERT_TRUE(live.Close());
    RemoveStaleCacheFiles(*folder);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live.Path())) << "a copy its program holds stays";
    for (const char* name : keep) {
        EXPECT_TRUE(fs::exists(mine / name)) << name;
    }
    EXPECT_EQ(fs::status(mine).permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                  fs::perms::others_read | fs::perms::others_exec);
    live.Remove();
    EXPECT_FALSE(fs::exists(live.Path()));
}

TEST(DecodedInput, SharesTheFreeSpaceWithDecodingsBesideIt) {
    TempDir dir;
    const fs::path input = EncodeWithFfmpeg(dir / "in.flac", Tone(440, 44100, 2));
    DiskSpace disk;
    const std::uint64_t before = disk.Available(dir.Path());
    ASSERT_GT(before, 10u << 20) << "the test needs some free space";
    {
        // Another job took all of it, with room to spare for what other programs free
        // meanwhile: two seconds of audio do not fit.
        const DiskSpace::Reservation other = disk.Reserve(dir.Path(), before + (256u << 20));
        EXPECT_EQ(disk.Available(dir.Path()), 0u);
        for (const char* name : {"out.wav", "out.flac"}) {
            const Written w = Write(input, dir / name, &disk);
            EXPECT_EQ(w.result, JobResult::Refused) << name;
            EXPECT_EQ(w.messages, std::vector<std::string>{
                                      "Error code 1104, Not enough disk space to decode the "
                                      "input! \n"});
            EXPECT_FALSE(fs::exists(dir / name));
        }
    }
    EXPECT_GT(disk.Available(dir.Path()), before / 2) << "released at the end";
    EXPECT_EQ(Write(input, dir / "out.wav", &disk).result, JobResult::Done);
}

TEST(DecodedInput, ChangingWhileDecodedIsNoCopyAndCutShortIsWrittenWithAWord) {
    TempDir dir;
    const fs::path input = EncodeWithFfmpeg(dir / "in.flac", Tone(440, 44100, 6));
    bool grown = false;
    const Written changed = Write(input, dir / "changed.wav", nullptr, [&](double) {
        if (!grown) {
            std::ofstream(input, std::ios::app) << "more";
            grown = true;
        }
    });
    EXPECT_EQ(changed.result, JobResult::Failed);
    EXPECT_EQ(changed.messages, std::vector<std::string>{"Error reading input wave file...\n"});
    EXPECT_FALSE(fs::exists(dir / "changed.wav"));

    // Each kind declares its length its own way: FLAC's stream info, MP3's Xing frame count,
    // a WAV's data chunk size (which FFmpeg itself takes as the file's length).
    const struct {
        const char* name;
        std::vector<std::string> encode;
    } kinds[] = {{"whole.flac", {}}, {"whole.mp3", {}}, {"whole.wav", {"-c:a", "pcm_s24le"}}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const fs::path whole = EncodeWithFfmpeg(dir / kind.name, Tone(440, 44100, 6), kind.encode);
        const Bytes all = ReadFile(whole);
        const fs::path cut = dir / ("cut-" + std::string(kind.name));
        WriteFile(cut,
                  Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2)));
        const Written w = Write(cut, dir / "cut.wav");
        EXPECT_EQ(w.result, JobResult::Done);
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0].rfind("decoded 3 s", 0), 0u) << w.messages[0];
        EXPECT_NE(w.messages[0].find(" of the 6 s it declares"), std::string::npos)
            << w.messages[0];
        EXPECT_NEAR(static_cast<double>(DataBodies(w.output).at(0).size) / 4 / 44100, 3.0, 0.1);
        EXPECT_TRUE(Write(whole, dir / "whole-out.wav").messages.empty());
    }
}

// A WAV of a decoded input has sizes for all it holds: the frames a limiter held to the end, a
// changed tempo's, and the removed part's beside it.
TEST(DecodedInput, ItsWaveSizesCountEveryFrameWritten) {
    TempDir dir;
    const fs::path flac = EncodeWithFfmpeg(dir / "in.flac", Tone(440, 44100, 2));
    ProcessingParameters params;
    SetParameters(params);
    const struct {
        const char* name;
        KeyTempo keyTempo;
        Loudness loudness;
    } cases[] = {
        {"loudness", {}, {Loudness::Kind::Target, -16}},
        {"tempo", {0, 80}, {}},
        {"both", {10, 120}, {Loudness::Kind::Match, 0}},
    };
    const auto le32 = [](const Bytes& b, std::size_t at) {
        return std::size_t{b[at]} | std::size_t{b[at + 1]} << 8 | std::size_t{b[at + 2]} << 16 |
               std::size_t{b[at + 3]} << 24;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRequest request;
        request.input = flac;
        request.output = dir / "out.wav";
        request.params = &params;
        request.keyTempo = c.keyTempo;
        request.loudness = c.loudness;
        request.stems = true;
        RecordingObserver observer;
        ASSERT_EQ(JobRunner().Write(request, observer), JobResult::Done);
        for (const fs::path& path : {request.output, VocalsPath(request.output)}) {
            const Bytes out = ReadFile(path);
            const std::vector<ByteRange> data = DataBodies(out);
            ASSERT_EQ(data.size(), 1u) << path;
            EXPECT_EQ(le32(out, 4), out.size() - 8) << path;
            EXPECT_EQ(le32(out, data[0].offset - 4), out.size() - data[0].offset) << path;
        }
    }
}

// Frequency of the left channel from its zero crossings.
double Frequency(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to,
                 int rate) {
    std::size_t crossings = 0;
    for (std::size_t i = from + 2; i < to; i += 2) {
        crossings += (samples[i - 2] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    return crossings / 2.0 / (static_cast<double>(to - from) / 2 / rate);
}

TEST(DecodedInput, AStreamWhoseRateChangesMidwayKeepsItsPitch) {
    TempDir dir;
    for (const char* kind : {"ogg", "mp3"}) {
        SCOPED_TRACE(kind);
        const std::string extension = std::string(".") + kind;
        const Bytes first =
            ReadFile(EncodeWithFfmpeg(dir / ("a" + extension), Tone(440, 44100, 1)));
        const Bytes second =
            ReadFile(EncodeWithFfmpeg(dir / ("b" + extension), Tone(440, 22050, 1)));
        const fs::path chained = dir / ("chained" + extension);
        WriteFile(chained, Concat({first, second}));
        const Written w = Write(chained, dir / "out.wav");
        ASSERT_EQ(w.result, JobResult::Done) << (w.messages.empty() ? "" : w.messages[0]);
        const std::vector<ByteRange> data = DataBodies(w.output);
        ASSERT_EQ(data.size(), 1u);
        const std::vector<std::int16_t> samples = SamplesOf(
            Bytes(w.output.begin() + static_cast<std::ptrdiff_t>(data[0].offset),
                  w.output.begin() + static_cast<std::ptrdiff_t>(data[0].offset + data[0].size)));
        EXPECT_NEAR(static_cast<double>(samples.size()) / 2 / 44100, 2.0, 0.1);
        const std::size_t n = samples.size();
        EXPECT_NEAR(Frequency(samples, n / 10, 4 * n / 10, 44100), 440, 10);
        EXPECT_NEAR(Frequency(samples, 6 * n / 10, 9 * n / 10, 44100), 440, 10);
    }
}

}  // namespace

// A FLAC file that says it holds frames frames (STREAMINFO's 36-bit sample count).
void DeclareFrames(const fs::path& flac, std::uint64_t frames) {
    Bytes bytes = ReadFile(flac);
    constexpr std::size_t kPackedFields = 18;  // rate, channels, bits and count, big-endian
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        packed = (packed << 8) | bytes[kPackedFields + i];
    }
    packed = (packed & ~((std::uint64_t{1} << 36) - 1)) | frames;
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[kPackedFields + 7 - i] = static_cast<std::uint8_t>(packed >> (8 * i));
    }
    WriteFile(flac, bytes);
}

TEST(DecodedSource, ADeclaredLengthThatOverflowsAWaveIsRefusedTagsCounted) {
    TempDir dir;
    const std::string big(60000, 'x');
    std::vector<std::string> manyTags;
    for (const char* key : {"title", "artist", "album", "genre", "comment", "date", "track"}) {
        manyTags.insert(manyTags.end(), {"-metadata", std::string(key) + "=" + big});
    }
    // The room a WAV has for samples: a RIFF size counts everything after its first 8 bytes.
    const std::uint64_t justFits = (0xFFFFFFFFull - 200000) / 4;
    const struct {
        const char* name;
        std::vector<std::string> tags;
        std::uint64_t frames;
        bool wav;
        SourceStatus expected;
    } cases[] = {
        {"fits untagged", {}, justFits, true, SourceStatus::Ok},
        {"the tags take the room", manyTags, justFits, true, SourceStatus::TooLong},
        {"4 GB of samples", {}, 0x40000000, true, SourceStatus::TooLong},
        {"no such bound but a FLAC's", manyTags, 0x40000000, false, SourceStatus::Ok},
        {"more than the disk holds", {}, 0x40000000, false, SourceStatus::NoSpace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path flac = EncodeWithFfmpeg(dir / "in.flac", Tone(440, 44100, 0.5), c.tags);
        DeclareFrames(flac, c.frames);
        DecodedSource source;
        ASSERT_EQ(source.Open(flac), SourceStatus::Ok);
        const bool disk = c.expected != SourceStatus::NoSpace;
        EXPECT_EQ(source.Limit(disk ? ~std::uint64_t{0} : std::uint64_t{1} << 30, c.wav),
                  c.expected);
    }
}

TEST(DecodedInput, OneThatOverflowsAWaveSaysSoAndWritesNothing) {
    TempDir dir;
    const fs::path flac = EncodeWithFfmpeg(dir / "long.flac", Tone(440, 44100, 0.5));
    DeclareFrames(flac, 0x50000000);
    const Written w = Write(flac, dir / "long.wav");
    EXPECT_EQ(w.result, JobResult::Refused);
    EXPECT_EQ(w.messages, std::vector<std::string>{MessageText({JobError::TooLongForWav, ""})});
    EXPECT_FALSE(fs::exists(dir / "long.wav"));
}

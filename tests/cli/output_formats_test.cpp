// Outputs in every format the tool writes, read back by ffprobe and ffmpeg: codec, rate,
// channels, length, tags, and the audio against the WAV render of the same input; and the
// names and options that are refused before anything is written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;
const std::string kRefusal = "use .wav, .flac, .mp3, .m4a, .opus or .ogg";
const std::vector<std::string> kSongTags = {"title=Night Song", "artist=Ann Lee", "album=Live",
                                            "date=2024",        "genre=Folk",     "track=7",
                                            "comment=take two"};

CommandResult Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kCli};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv);
}

// Seconds of notes with vibrato and tremolo, a bass line and noise, encoded by ffmpeg with the
// song's tags (codec: ffmpeg's options, a further input among them).
fs::path MakeSong(const fs::path& path, int rate, const std::vector<std::string>& codec,
                  int seconds = 3) {
    std::vector<std::string> options = codec;
    for (const std::string& tag : kSongTags) {
        options.insert(options.end(), {"-metadata", tag});
    }
    return EncodeWithFfmpeg(
        path,
        "aevalsrc=0.3*sin(220*2*PI*t)*(1+0.5*sin(2*PI*t))+0.2*sin(330*2*PI*t+sin(5*t))"
        "+0.15*sin(55*2*PI*t)+0.1*sin(1760*2*PI*t)*sin(3*PI*t)+0.05*(random(0)-0.5)|"
        "0.25*sin(277*2*PI*t)+0.2*sin(440*2*PI*t)*(1+0.3*sin(7*t))+0.15*sin(55*2*PI*t)"
        "+0.08*sin(2637*2*PI*t)+0.05*(random(1)-0.5):s=" +
            std::to_string(rate) + ":d=" + std::to_string(seconds),
        options);
}

// ffprobe's "key=value" lines for the entries asked of the file and its audio stream (a
// cover's stream has tags of its own); tags as "TAG:key".
std::map<std::string, std::string> Probe(const fs::path& file, const std::string& entries) {
    const CommandResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0",
                                        "-show_entries", entries, "-of", "default=nw=1", file});
    std::map<std::string, std::string> found;
    std::size_t from = 0;
    for (std::size_t end = r.out.find('\n'); end != std::string::npos;
         from = end + 1, end = r.out.find('\n', from)) {
        const std::string line = r.out.substr(from, end - from);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            found.emplace(line.substr(0, eq), line.substr(eq + 1));
        }
    }
    return found;
}

// The audio of a file as ffmpeg decodes it: interleaved 16-bit stereo, at rate if given.
std::vector<std::int16_t> Decoded(const fs::path& file, int rate = 0) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-i", file.string()};
    if (rate != 0) {
        argv.insert(argv.end(), {"-ar", std::to_string(rate)});
    }
    argv.insert(argv.end(), {"-f", "s16le", "-ac", "2", "-"});
    const std::string out = RunCommand(argv).out;
    std::vector<std::int16_t> samples(out.size() / 2);
    std::memcpy(samples.data(), out.data(), samples.size() * 2);
    return samples;
}

// Signal to noise of got against ref, got lagging by lag frames.
double Snr(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& got, int lag) {
    const std::size_t shift = static_cast<std::size_t>(lag) * 2;
    const std::size_t n = std::min(ref.size(), got.size() > shift ? got.size() - shift : 0);
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = ref[i];
        const double d = got[i + shift] - r;
        signal += r * r;
        noise += d * d;
    }
    return noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
}

struct Source {
    const char* name;
    int rate;
    std::vector<std::string> codec;
    bool cover;  // it holds the picture
};

// The picture a file holds in a stream of its own, as stored.
Bytes CoverOf(const fs::path& file) {
    const CommandResult r = RunCommand({"ffmpeg", "-v", "error", "-i", file.string(), "-map", "0:v",
                                        "-c", "copy", "-f", "image2pipe", "-"});
    return Bytes(r.out.begin(), r.out.end());
}

struct Output {
    const char* ext;
    std::vector<std::string> options;
    const char* codec;  // as ffprobe names it
    int rate;           // 0: the source's
    int frame;          // the codec's frame, in frames at the output's rate
    double minSnr;      // INFINITY: lossless, equal sample for sample
    int kbps;           // the nominal rate the options ask for, to order the sizes; 0: none
    int lag = 0;        // frames of priming the container cannot record
};

TEST(OutputFormats, EveryFormatHoldsTheWaveRenderWithItsTagsAtEachQuality) {
    TempDir dir;
    const fs::path picture = dir / "cover.png";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=s=32x32",
                          "-frames:v", "1", picture.string()})
                  .exitCode,
              0);
    const Source sources[] = {
        {"song.mp3",
         44100,
         {"-i", picture, "-map", "0", "-map", "1", "-c:v", "copy", "-disposition:v", "attached_pic",
          "-c:a", "libmp3lame", "-q:a", "0"},
         true},
        {"song.wav", 48000, {"-c:a", "pcm_s16le"}, false},
    };
    const std::set<std::string> holdPictures = {"mp3", "m4a", "flac", "opus", "ogg"};
    const Output outputs[] = {
        {"wav", {}, "pcm_s16le", 0, 1, INFINITY, 0},
        {"FLAC", {}, "flac", 0, 4608, INFINITY, 0},
        {"mp3", {}, "mp3", 0, 1152, 20, 190},
        {"mp3", {"--quality", "0"}, "mp3", 0, 1152, 20, 245},
        {"Mp3", {"--quality=9"}, "mp3", 0, 1152, 10, 65},
        {"mp3", {"--bitrate", "128"}, "mp3", 0, 1152, 20, 128},
        {"m4a", {}, "aac", 0, 1024, 20, 192},
        {"m4a", {"--quality", "1"}, "aac", 0, 1024, 10, 64},
        // ADTS records neither the encoder's priming nor the length: ffprobe estimates it.
        {"aac", {"--bitrate", "256"}, "aac", 0, 8192, 20, 256, 1024},
        {"opus", {}, "opus", 48000, 960, 20, 128},
        {"opus", {"--bitrate=48"}, "opus", 48000, 960, 10, 48},
        {"ogg", {}, "vorbis", 0, 2048, 20, 160},
        {"oga", {"--quality", "-1"}, "vorbis", 0, 2048, 10, 45},
        {"ogg", {"--bitrate", "320"}, "vorbis", 0, 2048, 20, 320},
    };
    for (const Source& source : sources) {
        const fs::path input = MakeSong(dir / source.name, source.rate, source.codec);
        const fs::path reference = dir / (std::string(source.name) + ".ref.wav");
        ASSERT_EQ(Cli({"render", input, reference}).exitCode, 0);
        const std::vector<std::int16_t> wave = Decoded(reference);
        const std::size_t frames = wave.size() / 2;
        const double seconds = static_cast<double>(frames) / source.rate;
        std::map<std::string, std::vector<std::pair<int, std::uintmax_t>>> sizes;
        for (std::size_t i = 0; i < std::size(outputs); ++i) {
            const Output& o = outputs[i];
            const fs::path out = dir / ("out" + std::to_string(i) + "." + o.ext);
            SCOPED_TRACE(std::string(source.name) + " -> " + out.filename().string());
            std::vector<std::string> args = {"render"};
            args.insert(args.end(), o.options.begin(), o.options.end());
            args.insert(args.end(), {input, out});
            const CommandResult run = Cli(args);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(run.err, "");

            const auto stream =
                Probe(out, "stream=codec_name,sample_rate,channels:format=duration");
            const int rate = o.rate != 0 ? o.rate : source.rate;
            EXPECT_EQ(stream.at("codec_name"), o.codec);
            EXPECT_EQ(stream.at("sample_rate"), std::to_string(rate));
            EXPECT_EQ(stream.at("channels"), "2");
            // One frame, and as much again of the encoder's delay and padding at either end.
            EXPECT_NEAR(std::stod(stream.at("duration")), seconds, 3.0 * o.frame / rate);

            const auto tags = Probe(out, "format_tags:stream_tags");
            for (const std::string& tag : kSongTags) {
                const std::size_t eq = tag.find('=');
                const auto found = tags.find("TAG:" + tag.substr(0, eq));
                EXPECT_TRUE(found != tags.end() && found->second == tag.substr(eq + 1)) << tag;
            }
            if (std::string(o.codec) != "pcm_s16le") {
                const auto note = tags.count("TAG:processing") != 0 ? tags.find("TAG:processing")
                                                                    : tags.find("TAG:description");
                EXPECT_TRUE(note != tags.end() && note->second.starts_with("Zerbex 2 mode2: low"))
                    << "the processing settings";
            }

            const std::vector<std::int16_t> back = Decoded(out);
            if (std::isinf(o.minSnr)) {
                EXPECT_TRUE(back == wave) << "lossless";
            } else {
                const double snr =
                    Snr(o.rate != 0 ? Decoded(reference, o.rate) : wave, back, o.lag);
                std::string options;
                for (const std::string& option : o.options) {
                    options += " " + option;
                }
                std::printf("[ SNR      ] %s -> %s%s: %.1f dB\n", source.name, o.ext,
                            options.empty() ? " (default)" : options.c_str(), snr);
                EXPECT_GE(snr, o.minSnr);
            }
            std::string ext = o.ext;
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (source.cover && holdPictures.count(ext) != 0) {
                EXPECT_TRUE(CoverOf(out) == ReadFile(picture)) << "the cover";
            }
            if (o.kbps != 0) {
                sizes[ext == "oga" ? "ogg" : ext].emplace_back(o.kbps, fs::file_size(out));
            }
        }
        // The quality options reach the encoder: a higher rate makes a larger file.
        for (auto& [ext, bySize] : sizes) {
            std::sort(bySize.begin(), bySize.end());
            for (std::size_t k = 1; k < bySize.size(); ++k) {
                EXPECT_GT(bySize[k].second, bySize[k - 1].second)
                    << ext << " at " << bySize[k].first << " kbps";
            }
        }
    }
}

// A batch writes NAME.EXT in --format's format, as a single render to that name does.
// An MP3 long enough to be encoded in pieces: the same bytes on one thread as on two, as
// long as the WAV render, with the tags and the cover.
TEST(OutputFormats, Mp3InPiecesIsTheSameOnAnyThreads) {
    TempDir dir;
    const fs::path picture = dir / "cover.png";
    ASSERT_EQ(RunCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=s=32x32",
                          "-frames:v", "1", picture.string()})
                  .exitCode,
              0);
    const fs::path input = MakeSong(dir / "long.mp3", 44100,
                                    {"-i", picture, "-map", "0", "-map", "1", "-c:v", "copy",
                                     "-disposition:v", "attached_pic", "-c:a", "libmp3lame"},
                                    70);
    ASSERT_EQ(Cli({"render", input, dir / "long.wav"}).exitCode, 0);
    for (const char* threads : {"1", "2"}) {
        const CommandResult run = Cli({"render", "-j", threads, input, dir / "long.mp3.mp3"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        fs::rename(dir / "long.mp3.mp3", dir / (std::string("j") + threads + ".mp3"));
    }
    EXPECT_EQ(ReadFile(dir / "j1.mp3"), ReadFile(dir / "j2.mp3"));
    EXPECT_EQ(Decoded(dir / "j2.mp3").size(), Decoded(dir / "long.wav").size());
    const auto tags = Probe(dir / "j2.mp3", "format_tags");
    for (const std::string& tag : kSongTags) {
        const std::size_t eq = tag.find('=');
        const auto found = tags.find("TAG:" + tag.substr(0, eq));
        EXPECT_TRUE(found != tags.end() && found->second == tag.substr(eq + 1)) << tag;
    }
    EXPECT_EQ(CoverOf(dir / "j2.mp3"), ReadFile(picture));
}

TEST(OutputFormats, BatchFormatsAreTheSingleRendersFormats) {
    TempDir dir;
    const fs::path input = MakeSong(dir / "take.wav", 44100, {"-c:a", "pcm_s16le"});
    fs::create_directory(dir / "batch");
    for (const auto& [format, quality] : std::vector<std::pair<std::string, std::string>>{
             {"ogg", "--quality=3"}, {"m4a", "--bitrate=96"}, {"flac", ""}}) {
        SCOPED_TRACE(format);
        const fs::path single = dir / ("single." + format);
        std::vector<std::string> args = {"render", input, single};
        std::vector<std::string> batch = {"render",       "--format",    format,
                                          "--output-dir", dir / "batch", input};
        if (!quality.empty()) {
            args.insert(args.begin() + 1, quality);
            batch.insert(batch.begin() + 1, quality);
        }
        ASSERT_EQ(Cli(args).exitCode, 0);
        ASSERT_EQ(Cli(batch).exitCode, 0);
        EXPECT_TRUE(ReadFile(dir / "batch" / ("take." + format)) == ReadFile(single));
    }
    ASSERT_EQ(Cli({"render", "--flac", "--output-dir", dir / "batch", input}).exitCode, 0);
    EXPECT_TRUE(ReadFile(dir / "batch" / "take.flac") == ReadFile(dir / "single.flac"));
}

std::set<fs::path> Listing(const fs::path& dir) {
    std::set<fs::path> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        names.insert(entry.path());
    }
    return names;
}

// Names of no format, and options that do not fit the format, stop the tool with status 2
// before anything is written.
TEST(OutputFormats, RefusalsWriteNothing) {
    TempDir dir;
    const std::string in = MakeSong(dir / "in.wav", 44100, {"-c:a", "pcm_s16le"}).string();
    const std::string out = (dir / "out").string();
    const std::string folder = (dir / "batch").string();
    fs::create_directory(folder);
    struct Case {
        std::vector<std::string> args;
        std::string says;  // the whole of stderr's first line
    };
    const Case cases[] = {
        {{in, out + ".xyz"}, out + ".xyz: cannot write .xyz files; " + kRefusal},
        {{in, out + ".XYZ"}, out + ".XYZ: cannot write .XYZ files; " + kRefusal},
        {{in, out + ".mp4"}, out + ".mp4: cannot write .mp4 files; " + kRefusal},
        {{in, out + ".mp3.txt"}, out + ".mp3.txt: cannot write .txt files; " + kRefusal},
        {{in, out}, out + ": cannot write files without an extension; " + kRefusal},
        {{"--quality", "3", in, out + ".xyz"}, out + ".xyz: cannot write .xyz files; " + kRefusal},
        {{"--quality", "10", in, out + ".mp3"},
         "--quality for MP3 (LAME) is a whole number from 0 to 9 (got '10')"},
        {{"--quality=-2", in, out + ".ogg"},
         "--quality for Ogg Vorbis is a whole number from -1 to 10 (got '-2')"},
        {{"--quality", "high", in, out + ".m4a"},
         "--quality for AAC in MP4 is a whole number from 1 to 8 (got 'high')"},
        {{"--bitrate", "5", in, out + ".opus"},
         "--bitrate for Opus is a whole number from 6 to 510 (got '5')"},
        {{"--bitrate=321", in, out + ".aac"},
         "--bitrate for AAC (ADTS) is a whole number from 32 to 320 (got '321')"},
        {{"--quality", "2", "--bitrate", "128", in, out + ".mp3"},
         "give --quality or --bitrate, not both"},
        {{"--quality", "5", in, out + ".flac"},
         "--quality does not apply to FLAC, which is written without loss"},
        {{"--bitrate", "x", in, out + ".wav"},
         "--bitrate does not apply to 16-bit WAV, which is written without loss"},
        {{in, out + ".mp3", "--quality"}, "option --quality needs a value"},
        {{"--format", "mp3", in, out + ".mp3"}, "--format goes with --output-dir"},
        {{"--format", "mp4", "--output-dir", folder, in},
         "--format must be one of wav, flac, mp3, m4a, aac, opus, ogg (got 'mp4')"},
        {{"--format", "MP3", "--output-dir", folder, in},
         "--format must be one of wav, flac, mp3, m4a, aac, opus, ogg (got 'MP3')"},
        {{"--flac", "--format", "ogg", "--output-dir", folder, in},
         "--flac and --format ogg ask for different formats"},
        {{"--format", "opus", "--quality", "9", "--output-dir", folder, in},
         "--quality for Opus is a whole number from 1 to 8 (got '9')"},
        {{"--quality", "1", "--output-dir", folder, in},
         "--quality does not apply to 16-bit WAV, which is written without loss"},
    };
    const std::set<fs::path> before = Listing(dir.Path());
    for (const Case& c : cases) {
        std::vector<std::string> args = {"render"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "zerbex2-cli: " + c.says);
        EXPECT_EQ(Listing(dir.Path()), before) << c.says;
    }
}

}  // namespace

#pragma once

// The formats this program writes, one row each: the output's extension picks the row. The
// jobs, the command-line tool, its help and the window all read this one table, and the codec
// module takes its encoder, muxer and quality scale from it.

#include <array>
#include <optional>
#include <string>
#include <string_view>

// How --quality reads for a format.
enum class QualityScale {
    None,          // lossless: neither --quality nor --bitrate means anything
    VbrLevel,      // the codec's own VBR scale (LAME V0..V9, Vorbis q); --bitrate: CBR or target
    BitrateSteps,  // --quality picks one of the steps; --bitrate any rate in range
};

struct OutputFormatRow {
    const char* name;                       // --format's value
    std::array<const char*, 2> extensions;  // with the dot; the first is a batch's
    const char* label;                      // what the user calls it
    const char* word;     // what messages about its file call it; "" for a WAV ("wave file")
    const char* encoder;  // FFmpeg's encoder; "" for the WAV writer
    const char* muxer;    // FFmpeg's muxer
    int rate;             // 0: the source's; else every output at this rate
    QualityScale scale;
    int qualityMin;
    int qualityMax;
    int qualityStart;
    int bitrateMin;  // kbps
    int bitrateMax;
    std::array<int, 8> steps;  // kbps of quality qualityMin, qualityMin + 1, ... (BitrateSteps)
    const char* qualityNote;   // what the VBR levels are (VbrLevel)
    const char* bitrateNote;   // how --bitrate is kept
    // Whether it can be written to a pipe, a FIFO or a terminal as it is to a file: nothing
    // in it needs filling in at its start once the end is known (MP3's length and gapless
    // header, MP4's index).
    bool streams;
};

// A row a format, kept as a table.
// clang-format off
inline constexpr OutputFormatRow kOutputFormats[] = {
    {"wav", {".wav", nullptr}, "16-bit WAV", "", "", "", 0,
     QualityScale::None, 0, 0, 0, 0, 0, {}, "", "", true},
    {"flac", {".flac", nullptr}, "FLAC", "FLAC", "flac", "flac", 0,
     QualityScale::None, 0, 0, 0, 0, 0, {}, "", "", true},
    {"mp3", {".mp3", nullptr}, "MP3 (LAME)", "MP3", "libmp3lame", "mp3", 0,
     QualityScale::VbrLevel, 0, 9, 2, 8, 320, {},
     "LAME V0 (best) .. V9; V2 is about 190 kbps", "constant", false},
    {"m4a", {".m4a", nullptr}, "AAC in MP4", "M4A", "aac", "ipod", 0,
     QualityScale::BitrateSteps, 1, 8, 5, 32, 320, {64, 96, 128, 160, 192, 224, 256, 320},
     "", "average", false},
    {"aac", {".aac", nullptr}, "AAC (ADTS)", "AAC", "aac", "adts", 0,
     QualityScale::BitrateSteps, 1, 8, 5, 32, 320, {64, 96, 128, 160, 192, 224, 256, 320},
     "", "average", true},
    {"opus", {".opus", nullptr}, "Opus", "Opus", "libopus", "opus", 48000,
     QualityScale::BitrateSteps, 1, 8, 5, 6, 510, {32, 48, 64, 96, 128, 160, 192, 256},
     "", "variable", true},
    {"ogg", {".ogg", ".oga"}, "Ogg Vorbis", "Ogg Vorbis", "libvorbis", "ogg", 0,
     QualityScale::VbrLevel, -1, 10, 5, 64, 320, {},
     "Vorbis q-1 .. q10 (best)", "average", true},
};
// clang-format on

// What the refusal of an unknown extension offers.
inline constexpr char kWritableExtensions[] = ".wav, .flac, .mp3, .m4a, .opus or .ogg";

// The row whose extension the name has, in any case; null for none.
const OutputFormatRow* FormatOfExtension(std::string_view extension);
// The row of --format's value; null for none.
const OutputFormatRow* FormatNamed(std::string_view name);
const OutputFormatRow& WavFormat();

// What the user asked of an encoder; unset: the format's default.
struct QualityChoice {
    std::optional<int> quality;
    std::optional<int> bitrateKbps;
};

// What an encoder is told: a VBR level, or a bit rate.
struct EncoderSettings {
    std::string format;  // the row's name
    bool vbr = false;
    int quality = 0;      // the VBR level, with vbr
    int bitrateKbps = 0;  // without vbr; 0: the encoder's own (lossless)
    std::string note;     // the processing settings, written as a comment beside the tags
    // Whether the file may be gone back into (a file, not a pipe): a format that streams
    // (OutputFormatRow::streams) is written without going back where it may not.
    bool seekable = true;
};

// A choice that fits the format (cli/output_options.h checks it), with the format's defaults for
// what it leaves unset.
EncoderSettings SettleQuality(const OutputFormatRow& format, const QualityChoice& choice);

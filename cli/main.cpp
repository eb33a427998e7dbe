// zerbex2-cli: the processing of the Zerbex 2 window from the command line.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"

namespace {

constexpr char kUsage[] =
    "Usage: zerbex2-cli COMMAND [OPTION]... FILE...\n"
    "Vocal removal for audio files: WAV, FLAC, MP3, AAC/M4A, Ogg and whatever else\n"
    "FFmpeg reads; the output is a WAV file, or FLAC when OUTPUT ends in .flac.\n"
    "\n"
    "Commands:\n"
    "  render [OPTION]... INPUT OUTPUT   write a processed copy of INPUT to OUTPUT; every\n"
    "                                    chunk is kept byte for byte except the sample data\n"
    "  render [OPTION]... --output-dir DIR INPUT...\n"
    "                                    write DIR/NAME.wav for each INPUT (NAME: its name\n"
    "                                    without the extension), several files at a time\n"
    "  play [OPTION]... INPUT            play INPUT on the default sound device, over and\n"
    "                                    over from the loop start, until Ctrl-C or SIGTERM\n"
    "                                    (the sound already queued still plays out)\n"
    "  suggest INPUT                     print the trackbar positions that should remove\n"
    "                                    INPUT's centre voice deepest while keeping bass\n"
    "                                    and treble, and the render options for them\n"
    "\n"
    "Options (trackbar positions; defaults are the window's start-up positions):\n"
    "  --mode MODE           mode2 (default), mode1, original, low, high, left, right\n"
    "  --pan N               pan, -30 (left) .. 30 (right); default 0\n"
    "  --low N               low cut-off, 0 .. 40 (40 + 25 N Hz); default 8\n"
    "  --high N              high cut-off, 0 .. 80 (900 + 175 N Hz); default 57\n"
    "  --left N              left level, 0 (loudest) .. 25; default 13\n"
    "  --right N             right level, 0 (loudest) .. 25; default 13\n"
    "  --output-level N      output level, 0 (top, +) .. 25 (bottom, 0); default 25\n"
    "  -j, --jobs N          use at most N threads, reading and writing included\n"
    "                        (default: one for each core)\n"
    "  --flac                with --output-dir: write DIR/NAME.flac instead of .wav\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Play options:\n"
    "  --loop-start N        loop start, 0 .. 100; default 0\n"
    "  --loop-end N          loop end, 0 .. 100; default 100 (100/110 of the data)\n"
    "  --once                play from the loop start to the loop end once and stop; a\n"
    "                        loop end of 100 then plays to the end of the data\n"
    "\n"
    "OUTPUT is replaced only when the whole file was written; it may not be INPUT.\n"
    "Exit status: 0 success, 1 the job failed or was refused (no sound device), 2 usage\n"
    "error. A second Ctrl-C during play quits at once.\n";

}  // namespace

void PrintUsageError(const std::string& message) {
    std::fprintf(stderr, "zerbex2-cli: %s\nTry 'zerbex2-cli --help' for more information.\n",
                 message.c_str());
}

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsageError("missing command");
        return kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::fputs("zerbex2-cli " ZERBEX_VERSION "\n", stdout);
        return kExitOk;
    }
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
    }
    if (command == "render") {
        return RunRender(args);
    }
    if (command == "play") {
        return RunPlay(args);
    }
    if (command == "suggest") {
        return RunSuggest(args);
    }
    PrintUsageError("unknown command '" + command + "'");
    return kExitUsage;
}

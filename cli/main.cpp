// zerbex2-cli: the processing of the Zerbex 2 window from the command line.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output_options.h"
#include "jobs/threads.h"
#include "trackbars/parameters.h"

namespace {

constexpr char kUsageHead[] =
    "Usage: zerbex2-cli COMMAND [OPTION]... FILE...\n"
    "Vocal removal for audio files: WAV, FLAC, MP3, AAC/M4A, Ogg and whatever else\n"
    "FFmpeg reads; OUTPUT's extension picks its format (see Output formats below).\n"
    "\n"
    "Commands:\n"
    "  render [OPTION]... INPUT OUTPUT   write a processed copy of INPUT to OUTPUT; every\n"
    "                                    chunk is kept byte for byte except the sample data\n"
    "  render [OPTION]... --output-dir DIR INPUT...\n"
    "                                    write DIR/NAME.wav (or --format's extension) for\n"
    "                                    each INPUT (NAME: its name without the extension),\n"
    "                                    several files at a time\n"
    "  play [OPTION]... INPUT            play INPUT on the sound device, over and over\n"
    "                                    from the loop start, until Ctrl-C or SIGTERM\n"
    "                                    (the sound already queued still plays out)\n"
    "  devices                           list the sound devices: index, name, sound system,\n"
    "                                    and which is the default\n"
    "  suggest INPUT                     print the trackbar positions that should remove\n"
    "                                    INPUT's centre voice deepest while keeping bass\n"
    "                                    and treble, and the render options for them\n"
    "\n"
    "Options (trackbar positions; defaults are the window's start-up positions):\n";

constexpr char kUsageTail[] =
    "\n"
    "OUTPUT is replaced only when the whole file was written; it may not be INPUT. With\n"
    "--stems both files are written whole before either replaces its old one. MP3 and M4A\n"
    "cannot be written to a pipe or FIFO; WAV, FLAC, Ogg, Opus and AAC can.\n"
    "Exit status: 0 success, 1 the job failed or was refused (no sound device), 2 usage\n"
    "error. A second Ctrl-C during play quits at once.\n";

std::string KnobLine(Knob knob) {
    return OptionHelpLine(std::string("--") + RowOf(knob).name + " N", KnobHelp(RowOf(knob)));
}

std::string Usage() {
    std::string usage = kUsageHead;
    usage += OptionHelpLine("--mode MODE", ModeNamesText() + "; default mode2");
    usage += OptionHelpLine("", "(stereo: removes the source the pan aims at, bin by bin,");
    usage += OptionHelpLine("", "within the cut-offs, and keeps the rest; above focus 0 it");
    usage += OptionHelpLine("", "keeps the drums at the centre and what sounds between the");
    usage += OptionHelpLine("", "voice's partials, follows a low voice below");
    usage += OptionHelpLine("", "the low cut-off and takes the voice's reverberation too)");
    for (const Knob knob : RenderKnobs()) {
        usage += KnobLine(knob);
    }
    usage += OptionHelpLine("--preset NAME", "the mode and positions of a preset (see below); the");
    usage += OptionHelpLine("", "options after it change them");
    usage += OptionHelpLine("--stems", "render: write the removed part too, as OUTPUT's name");
    usage += OptionHelpLine("", "with -vocals before its extension (batch: NAME-vocals.EXT),");
    usage += OptionHelpLine("", "in OUTPUT's format, in the same pass: the stereo mode's");
    usage += OptionHelpLine("", "remover's, or the attenuated input at the output level less");
    usage += OptionHelpLine("", "the output");
    usage += OptionHelpLine("--loudness L", "bring the output's EBU R128 integrated loudness to");
    usage += OptionHelpLine("", "the input's (match) or to L LUFS (-70 .. -5), its true peak");
    usage += OptionHelpLine("", "limited to -1 dBTP; off (the default) leaves it as the");
    usage += OptionHelpLine("", "processing makes it (play: the gain follows what has played)");
    usage +=
        OptionHelpLine("--no-clobber", "render --output-dir: leave an output that exists as it");
    usage += OptionHelpLine("", "is, and its input unwritten (with --stems: when either the");
    usage += OptionHelpLine("", "output or its vocals exists)");
    usage += OptionHelpLine("-j, --jobs N", "use at most N threads, reading and writing included");
    usage += OptionHelpLine("", "(default: one for each core)");
    usage += OptionHelpLine("-h, --help", "show this help and exit");
    usage += OptionHelpLine("    --version", "show the version and exit");
    usage +=
        "\nPresets (--preset NAME): the window's \"Save settings as preset...\" keeps the user's\n"
        "own in $XDG_CONFIG_HOME/zerbex2-presets.ini (or ~/.config/zerbex2-presets.ini); these\n"
        "come with the program, in mode 2 unless they say otherwise:\n";
    usage += ShippedPresetsHelp();
    usage += "\nPlay options:\n";
    usage += KnobLine(Knob::LoopStart) + KnobLine(Knob::LoopEnd);
    usage += OptionHelpLine("", "either also takes a time: seconds with a fraction or an s");
    usage += OptionHelpLine("", "(83.4, 83s), m:ss or m:ss.xx (1:23.40); the loop then plays");
    usage += OptionHelpLine("", "from and to that very frame");
    usage += OptionHelpLine("--once", "play from the loop start to the loop end once and stop; a");
    usage += OptionHelpLine("", "loop end of 100 then plays to the end of the data");
    usage +=
        OptionHelpLine("--device DEVICE", "play on DEVICE, an index or a name (or part of one)");
    usage += OptionHelpLine("", "as `zerbex2-cli devices` lists them; one that is not there");
    usage += OptionHelpLine("", "leaves the default device playing, with a message");
    return usage + OutputHelp() + kUsageTail;
}

}  // namespace

int main(int argc, char** argv) {
    // A write past a file-size limit (ulimit -f) fails with "File too large" instead of
    // killing the tool without a word and leaving its temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
    // Room for the threads -j may ask for; they are made only when a job needs them.
    const ThreadAllowance threads(kMaxThreads);
    if (argc < 2) {
        return UsageError("missing command");
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    const auto isHelp = [](const std::string& arg) { return arg == "-h" || arg == "--help"; };
    if (command == "--version") {
        std::fputs("zerbex2-cli " ZERBEX_VERSION "\n", stdout);
        return kExitOk;
    }
    if (isHelp(command) || command == "help" || std::ranges::any_of(args, isHelp)) {
        std::fputs(Usage().c_str(), stdout);
        return kExitOk;
    }
    using Command = int (*)(const std::vector<std::string>&);
    const std::pair<const char*, Command> commands[] = {
        {"render", RunRender}, {"play", RunPlay}, {"suggest", RunSuggest}, {"devices", RunDevices}};
    for (const auto& [name, run] : commands) {
        if (command == name) {
            return run(args);
        }
    }
    return UsageError("unknown command '" + command + "'");
}

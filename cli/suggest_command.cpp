#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/options.h"
#include "jobs/suggest.h"

namespace {

// A word the shell reads back as it is: quoted unless every character is one it leaves alone.
std::string ShellQuoted(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789@%_+=:,./-") == std::string::npos;
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// song.mp3 -> song-karaoke.wav beside it.
std::string ProposedOutput(const std::string& input) {
    std::filesystem::path output(input);
    output.replace_filename(output.stem().string() + "-karaoke.wav");
    return output.string();
}

}  // namespace

int RunSuggest(const std::vector<std::string>& args) {
    std::vector<std::string> flags;
    std::vector<std::string> files;
    if (const auto error = ParseOptions(args, {}, flags, {}, files)) {
        return UsageError(*error);
    }
    if (files.size() != 1) {
        return UsageError(files.empty() ? "suggest needs INPUT" : "suggest takes exactly INPUT");
    }
    // Any audio file: what is no 16-bit stereo WAV is decoded only where it is looked at.
    Console console;
    console.SetInput(files[0]);
    const std::optional<Suggestion> both = SuggestBoth(files[0], console);
    if (!both) {
        return kExitFailed;
    }
    const std::string names = ShellQuoted(files[0]) + " " + ShellQuoted(ProposedOutput(files[0]));
    const Positions& p = both->mode2;
    std::printf("pan %d\nlow %d\nhigh %d\nleft %d\nright %d\n", p.pan, p.low, p.high, p.left,
                p.right);
    std::printf("zerbex2-cli render %s %s\n", RenderOptionsFor(p).c_str(), names.c_str());
    const Positions& stereo = both->stereo;
    std::printf("stereo mode: pan %d, low %d, high %d, focus %d\n", stereo.pan, stereo.low,
                stereo.high, stereo.focus);
    std::printf("zerbex2-cli render --mode stereo %s --focus %d %s\n",
                RenderOptionsFor(stereo).c_str(), stereo.focus, names.c_str());
    return kExitOk;
}

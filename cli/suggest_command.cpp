#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "console.h"
#include "options.h"
#include "suggest.h"
#include "suggest_settings.h"

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
    if (const auto error = ParseOptions(args, {}, nullptr, flags, {}, files)) {
        PrintUsageError(*error);
        return kExitUsage;
    }
    if (files.size() != 1) {
        PrintUsageError(files.empty() ? "suggest needs INPUT" : "suggest takes exactly INPUT");
        return kExitUsage;
    }
    // Any audio file: what is no 16-bit stereo WAV is decoded only where it is looked at.
    Console console;
    console.SetInput(files[0]);
    const std::optional<Positions> p = SuggestPositions(files[0], console);
    if (!p) {
        return kExitFailed;
    }
    std::printf("pan %d\nlow %d\nhigh %d\nleft %d\nright %d\n", p->pan, p->low, p->high, p->left,
                p->right);
    std::printf("zerbex2-cli render %s %s %s\n", RenderOptionsFor(*p).c_str(),
                ShellQuoted(files[0]).c_str(), ShellQuoted(ProposedOutput(files[0])).c_str());
    return kExitOk;
}

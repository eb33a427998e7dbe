#include <cstdio>

#include "commands.h"
#include "console.h"
#include "options.h"
#include "suggest.h"
#include "suggest_settings.h"

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
    std::printf("zerbex2-cli render %s INPUT OUTPUT\n", RenderOptionsFor(*p).c_str());
    return kExitOk;
}

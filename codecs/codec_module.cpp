#include "codecs/codec_module.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace {

const CodecModule* LoadModule() {
    // Where the module is: beside the program's folder as installed (and as built), else where
    // the installation put it.
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::vector<std::filesystem::path> paths;
    if (!ec) {
        paths.push_back(self.parent_path() / ZERBEX_CODEC_MODULE_FROM_BINDIR);
    }
    paths.emplace_back(ZERBEX_CODEC_MODULE_INSTALLED);
    std::string reason = "not found";
    for (const std::filesystem::path& path : paths) {
        if (!std::filesystem::exists(path, ec)) {
            continue;
        }
        // Never closed: FFmpeg's libraries stay for the rest of the process.
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            reason = ::dlerror();
            continue;
        }
        using Entry = const CodecModule* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, kCodecModuleEntry));
        const CodecModule* module = entry != nullptr ? entry() : nullptr;
        if (module != nullptr && module->revision == kCodecModuleRevision) {
            return module;
        }
        reason = path.string() + " belongs to another build";
    }
    std::fprintf(stderr, "%s: the audio codecs (FFmpeg) could not be loaded: %s\n",
                 program_invocation_short_name, reason.c_str());
    return nullptr;
}

}  // namespace

const CodecModule* Codecs() {
    static const CodecModule* const module = LoadModule();
    return module;
}

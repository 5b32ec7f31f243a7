// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Libav.h"

#include <dlfcn.h>

#include "platform/LibraryLog.h"

namespace tavrisk {
namespace {

std::string FileName(const char* library, int major) {
    return "lib" + std::string(library) + ".so." + std::to_string(major);
}

std::string LastLoadError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}

}  // namespace

LibavFileNames LibavBuiltFileNames() {
    return {FileName("avutil", LIBAVUTIL_VERSION_MAJOR),
            FileName("avcodec", LIBAVCODEC_VERSION_MAJOR),
            FileName("avformat", LIBAVFORMAT_VERSION_MAJOR),
            FileName("swresample", LIBSWRESAMPLE_VERSION_MAJOR)};
}

bool LoadLibavCalls(const LibavFileNames& files, LibavUse use, LibavCalls& calls,
                    std::string& problem) {
    const auto used = [use](LibavLibrary library) {
        return (library == LibavLibrary::kAvformat) == (use == LibavUse::kContainers);
    };
    std::array<void*, kLibavLibraries> handles{};
    for (std::size_t i = 0; i < kLibavLibraries; ++i) {
        if (!used(static_cast<LibavLibrary>(i))) continue;
        // Never unloaded: FFmpeg's objects live as long as the process may use them.
        handles[i] = dlopen(files[i].c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handles[i] == nullptr) {
            problem = "cannot load FFmpeg's " + files[i] + ": " + LastLoadError();
            return false;
        }
    }
    LibavCalls found;
    bool complete = true;
#define TAVRISK_LIBAV_FIND(library, name)                                                    \
    if (used(LibavLibrary::library)) {                                                       \
        found.name = reinterpret_cast<decltype(found.name)>(                                 \
            dlsym(handles[static_cast<std::size_t>(LibavLibrary::library)], #name));         \
        if (complete && found.name == nullptr) {                                             \
            problem = "FFmpeg's " + files[static_cast<std::size_t>(LibavLibrary::library)] + \
                      " has no " #name;                                                      \
            complete = false;                                                                \
        }                                                                                    \
    }
    TAVRISK_LIBAV_CALLS(TAVRISK_LIBAV_FIND)
#undef TAVRISK_LIBAV_FIND
    if (!complete) return false;
#define TAVRISK_LIBAV_KEEP(library, name) \
    if (used(LibavLibrary::library)) calls.name = found.name;
    // Only the members of `use` are set: the others may be read meanwhile, on other threads.
    TAVRISK_LIBAV_CALLS(TAVRISK_LIBAV_KEEP)
#undef TAVRISK_LIBAV_KEEP
    return true;
}

namespace {

struct LoadedLibav {
    LibavCalls calls;
    std::string decodersProblem;  // empty once loaded, as is the next
    std::string containersProblem;
};

LoadedLibav& Loaded() {
    static LoadedLibav loaded;
    return loaded;
}

bool Load(LibavUse use, std::string& problem) {
    if (LoadLibavCalls(LibavBuiltFileNames(), use, Loaded().calls, problem)) return true;
    LibraryLog::Note("libav", problem.c_str());
    return false;
}

}  // namespace

const LibavCalls* LoadLibav(LibavUse use) {
    LoadedLibav& loaded = Loaded();
    static const bool decoders = Load(LibavUse::kDecoders, loaded.decodersProblem);
    if (use == LibavUse::kDecoders) return decoders ? &loaded.calls : nullptr;
    static const bool containers = [&loaded] {
        if (decoders) return Load(LibavUse::kContainers, loaded.containersProblem);
        loaded.containersProblem = loaded.decodersProblem;
        return false;
    }();
    return containers ? &loaded.calls : nullptr;
}

const std::string& LibavLoadProblem(LibavUse use) {
    LoadLibav(use);
    return use == LibavUse::kDecoders ? Loaded().decodersProblem : Loaded().containersProblem;
}

const LibavCalls& Libav() {
    LoadLibav();
    return Loaded().calls;
}

}  // namespace tavrisk

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

bool LoadLibavCalls(const LibavFileNames& files, LibavCalls& calls, std::string& problem) {
    std::array<void*, kLibavLibraries> handles{};
    for (std::size_t i = 0; i < kLibavLibraries; ++i) {
        // Never unloaded: FFmpeg's objects live as long as the process may use them.
        handles[i] = dlopen(files[i].c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handles[i] == nullptr) {
            problem = "cannot load FFmpeg's " + files[i] + ": " + LastLoadError();
            return false;
        }
    }
    LibavCalls found;
    bool complete = true;
#define TAVRISK_LIBAV_FIND(library, name)                                                \
    found.name = reinterpret_cast<decltype(found.name)>(                                 \
        dlsym(handles[static_cast<std::size_t>(LibavLibrary::library)], #name));         \
    if (complete && found.name == nullptr) {                                             \
        problem = "FFmpeg's " + files[static_cast<std::size_t>(LibavLibrary::library)] + \
                  " has no " #name;                                                      \
        complete = false;                                                                \
    }
    TAVRISK_LIBAV_CALLS(TAVRISK_LIBAV_FIND)
#undef TAVRISK_LIBAV_FIND
    if (complete) calls = found;
    return complete;
}

namespace {

struct LoadedLibav {
    LibavCalls calls;
    std::string problem;  // empty once loaded
};

const LoadedLibav& Loaded() {
    static const LoadedLibav loaded = [] {
        LoadedLibav result;
        if (!LoadLibavCalls(LibavBuiltFileNames(), result.calls, result.problem))
            LibraryLog::Note("libav", result.problem.c_str());
        return result;
    }();
    return loaded;
}

}  // namespace

const LibavCalls* LoadLibav() {
    const LoadedLibav& loaded = Loaded();
    return loaded.problem.empty() ? &loaded.calls : nullptr;
}

const std::string& LibavLoadProblem() {
    return Loaded().problem;
}

const LibavCalls& Libav() {
    return *LoadLibav();
}

}  // namespace tavrisk

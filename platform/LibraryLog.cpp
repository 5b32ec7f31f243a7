// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LibraryLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/Libav.h"

namespace tavrisk {
namespace {

constexpr std::size_t kLineBytes = 1024;

struct LogStore {
    std::mutex lock;
    std::vector<std::string> lines;
    std::atomic<uint64_t> count{0};
};

LogStore& Store() {
    static LogStore store;
    return store;
}

thread_local LibavErrorWatch* currentWatch = nullptr;

}  // namespace

struct LibavLogCallback {
    // Each call is one line of libav's, prefixed with the object that wrote it.
    static void OnLine(void* owner, int level, const char* format, va_list arguments) {
        if (level > AV_LOG_WARNING) return;  // information and debugging: not shown by libav either
        if (level <= AV_LOG_ERROR && currentWatch != nullptr) ++currentWatch->errors;
        thread_local char line[kLineBytes];
        thread_local int prefix = 1;
        va_list copy;
        va_copy(copy, arguments);
        Libav().av_log_format_line2(owner, level, format, copy, line, sizeof line, &prefix);
        va_end(copy);
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (!text.empty()) LibraryLog::Note("libav", text.c_str());
    }
};

void LibraryLog::CaptureLibav() {
    if (const LibavCalls* av = LoadLibav()) av->av_log_set_callback(&LibavLogCallback::OnLine);
}

void LibraryLog::Note(const char* origin, const char* text) {
    LogStore& store = Store();
    store.count.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard guard(store.lock);
    if (store.lines.size() < kMaxKeptLines) {
        store.lines.push_back(std::string(origin) + ": " + (text ? text : ""));
    }
}

uint64_t LibraryLog::Count() {
    return Store().count.load(std::memory_order_relaxed);
}

std::vector<std::string> LibraryLog::TakeLines() {
    LogStore& store = Store();
    std::lock_guard guard(store.lock);
    std::vector<std::string> taken;
    taken.swap(store.lines);
    return taken;
}

LibavErrorWatch::LibavErrorWatch() : outer(currentWatch) {
    LibraryLog::CaptureLibav();
    currentWatch = this;
}

LibavErrorWatch::~LibavErrorWatch() {
    currentWatch = outer;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrisk {

// The lines the libraries the program uses would print on standard error (libav's av_log,
// GLib's and GStreamer's warnings): caught process-wide instead, counted, and kept (the
// first kMaxKeptLines of them) for a front end that shows them on request. Thread-safe.
class LibraryLog {
  public:
    static constexpr std::size_t kMaxKeptLines = 500;

    // Takes over libav's log output. Called again before each use of libav's decoders: a
    // plugin loaded later (GStreamer's libav elements) may have taken it for itself.
    static void CaptureLibav();
    // A line from a library: `origin` names it ("libav", "GStreamer", ...).
    static void Note(const char* origin, const char* text);
    // Lines noted since the process started.
    static uint64_t Count();
    // The kept lines since the last call, and forgets them.
    static std::vector<std::string> TakeLines();
};

// While one lives, counts the libav lines of error level (or worse) noted on its own thread:
// a decoder call watched this way tells whether libav complained about the frame. It takes
// libav's log back (CaptureLibav) when it starts.
class LibavErrorWatch {
  public:
    LibavErrorWatch();
    ~LibavErrorWatch();
    LibavErrorWatch(const LibavErrorWatch&) = delete;
    LibavErrorWatch& operator=(const LibavErrorWatch&) = delete;

    int Errors() const { return errors; }

  private:
    friend struct LibavLogCallback;
    LibavErrorWatch* outer;
    int errors = 0;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tavrisk::mp2::test {

// A temporary stream that collects what the encoder prints on it.
class StreamCapture {
  public:
    StreamCapture() : file(std::tmpfile()) {}
    ~StreamCapture() { std::fclose(file); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::FILE* stream() { return file; }
    std::string text() {
        std::fflush(file);
        std::rewind(file);
        std::string out;
        for (int c; (c = std::fgetc(file)) != EOF;) out.push_back(static_cast<char>(c));
        return out;
    }

  private:
    std::FILE* file;
};

// A pseudo-terminal for the encoder to print on, as on a user's terminal: stream() is its
// terminal side, text() what arrived on the other. stream() is null where the system has no
// pseudo-terminals.
class TerminalCapture {
  public:
    TerminalCapture() {
        controller = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (controller < 0 || ::grantpt(controller) != 0 || ::unlockpt(controller) != 0) return;
        const char* name = ::ptsname(controller);
        const int terminal = name != nullptr ? ::open(name, O_RDWR | O_NOCTTY) : -1;
        if (terminal < 0) return;
        file = ::fdopen(terminal, "w");
        if (file == nullptr) ::close(terminal);
    }
    ~TerminalCapture() {
        if (file != nullptr) std::fclose(file);
        if (controller >= 0) ::close(controller);
    }
    TerminalCapture(const TerminalCapture&) = delete;
    TerminalCapture& operator=(const TerminalCapture&) = delete;

    std::FILE* stream() { return file; }
    // Everything that arrived until nothing more came for a tenth of a second.
    std::string text() {
        constexpr int kQuietMs = 100;
        std::fflush(file);
        pollfd ready{controller, POLLIN, 0};
        char buffer[256];
        while (::poll(&ready, 1, kQuietMs) > 0) {
            const ssize_t count = ::read(controller, buffer, sizeof buffer);
            if (count <= 0) break;
            received.append(buffer, static_cast<std::size_t>(count));
        }
        return received;
    }

  private:
    int controller = -1;
    std::FILE* file = nullptr;
    std::string received;
};

}  // namespace tavrisk::mp2::test

#include "cli/TerminalInterface.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "app/TranscoderDialog.h"

namespace tavrisk {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void OnInterrupt(int) {
    interruptRequested = 1;
}

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

TerminalInterface::TerminalInterface(bool answerYes)
    : answerYes(answerYes), showProgress(::isatty(STDERR_FILENO) != 0) {
    std::signal(SIGINT, OnInterrupt);
}

TerminalInterface::~TerminalInterface() {
    EndProgressLine();
    std::signal(SIGINT, SIG_DFL);
}

MessageAnswer TerminalInterface::ShowMessage(std::string_view text, std::string_view title,
                                             MessageButtons buttons, MessageIcon) {
    EndProgressLine();
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    const MessageAnswer answer = answerYes ? MessageAnswer::Ok : MessageAnswer::Cancel;
    std::fprintf(stderr, "  -> %s\n",
                 answer == MessageAnswer::Ok ? "OK (--yes)" : "Cancel (use --yes to answer OK)");
    return answer;
}

void TerminalInterface::ControlChanged(int controlId) {
    if (!window) return;
    if (controlId == ctl::kStatus && !window->statusText.text.empty()) {
        EndProgressLine();
        std::fprintf(stderr, "Input: %s\n", window->statusText.text.c_str());
    } else if (controlId == ctl::kPeakText[0] && showProgress) {
        DrawProgress(false);
    }
}

void TerminalInterface::PumpMessages() {
    if (interruptRequested && window) {
        interruptRequested = 0;
        window->RequestStop();
        EndProgressLine();
        std::fprintf(stderr, "Stopping: the output written so far is kept.\n");
    }
    DrawProgress(false);
}

void TerminalInterface::SetBusy(bool busy) {
    if (!busy) {
        DrawProgress(true);
        EndProgressLine();
    }
}

void TerminalInterface::DrawProgress(bool force) {
    if (!showProgress || !window) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw < kRedrawInterval) return;
    lastDraw = now;
    std::fprintf(stderr, "\r%8s  elapsed %s  remaining %s ", window->percentText.text.c_str(),
                 window->elapsedText.text.c_str(), window->remainingText.text.c_str());
    std::fflush(stderr);
    progressShown = true;
}

void TerminalInterface::EndProgressLine() {
    if (!progressShown) return;
    std::fputc('\n', stderr);
    progressShown = false;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalInterface.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/model/TranscoderDialog.h"
#include "host/JobHost.h"
#include "platform/OutputFile.h"

namespace tavrisk {

namespace {

// The signals that stop a job as "Exit" does (every one whose default is to end the
// process and that can be caught, but for SIGPIPE); a second one ends the process at once.
constexpr int kStopSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1,
                                SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ};

// The first stop signal; set by an atomic exchange, so that two signals handled at once on
// two threads are one first and one second.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The job host asked to stop from the handler itself (a lock-free atomic store), so that a
// job busy in a long read sees it without waiting for the next message pump.
std::atomic<tavrisk::JobHost*> stopTarget{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
    if (stopSignal.exchange(signal) != 0) {
        // Nothing half-written stays behind: the named temporaries go first.
        tavrisk::OutputFile::RemoveTemporaries();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    if (tavrisk::JobHost* host = stopTarget.load()) host->RequestStop();
}

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

TerminalInterface::TerminalInterface(bool answerYes)
    : answerYes(answerYes), showProgress(::isatty(STDERR_FILENO) != 0) {
    stopSignal = 0;
    // A signal the caller chose to ignore stays ignored: nohup's SIGHUP, SIGINT of a job
    // started in the background by a shell without job control.
    for (int signal : kStopSignals) {
        if (std::signal(signal, OnStopSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
    }
    // A closed pipe or socket is a write error of the job, not the end of the process.
    std::signal(SIGPIPE, SIG_IGN);
}

void TerminalInterface::Attach(TranscoderDialog& model, JobHost& jobs) {
    window = &model;
    jobHost = &jobs;
    stopTarget = &jobs;
}

TerminalInterface::~TerminalInterface() {
    stopTarget = nullptr;
    EndProgressLine();
    for (int signal : kStopSignals) {
        if (std::signal(signal, SIG_DFL) == SIG_IGN) std::signal(signal, SIG_IGN);
    }
}

int TerminalInterface::StopSignal() const {
    return stopSignal;
}

MessageAnswer TerminalInterface::MessageBox(std::string_view text, std::string_view title,
                                            MessageButtons buttons, MessageIcon icon) {
    if (!OnUiThread()) {
        // From a streaming thread: printed at the next pump; a question is refused.
        Post([this, message = std::string(text), caption = std::string(title), icon] {
            MessageBox(message, caption, MessageButtons::Ok, icon);
        });
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
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
    const std::string& status = window->Controls().statusText.text;
    if (controlId == ctl::kStatus && !status.empty()) {
        EndProgressLine();
        // The summary of a job that ended is its result: on standard output.
        if (window->StatusIsJobSummary()) {
            std::fprintf(stdout, "%s\n", status.c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "Input: %s\n", status.c_str());
        }
    } else if (controlId == ctl::kPeakText[0] && showProgress) {
        DrawProgress(false);
    }
}

bool TerminalInterface::OnUiThread() const {
    return std::this_thread::get_id() == ownThread;
}

void TerminalInterface::Post(std::function<void()> task) {
    if (OnUiThread()) {
        task();
        return;
    }
    const std::lock_guard lock(postedMutex);
    posted.push_back(std::move(task));
}

void TerminalInterface::PumpMessages() {
    std::vector<std::function<void()>> tasks;
    {
        const std::lock_guard lock(postedMutex);
        tasks.swap(posted);
    }
    for (const auto& task : tasks) task();
    // Asked again at every pump: a signal that came between two jobs of a batch, or before a
    // job cleared its stop request, still stops it.
    if (stopSignal != 0 && jobHost) {
        jobHost->RequestStop();
        if (!stopReported) {
            stopReported = true;
            EndProgressLine();
            std::fprintf(stderr, "Stopping (%s)...\n", strsignal(stopSignal));
        }
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
    const ControlStates& shown = window->Controls();
    std::fprintf(stderr, "\r%8s  elapsed %s  remaining %s ", shown.percentText.text.c_str(),
                 shown.elapsedText.text.c_str(), shown.remainingText.text.c_str());
    std::fflush(stderr);
    progressShown = true;
}

void TerminalInterface::EndProgressLine() {
    if (!progressShown) return;
    std::fputc('\n', stderr);
    progressShown = false;
}

}  // namespace tavrisk

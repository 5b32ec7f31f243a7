// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/model/UserInterface.h"

namespace tavrisk {

class JobHost;
class TranscoderDialog;

// The user interface of the command line: message boxes become "Title: text" lines on
// standard error, questions are answered by --yes (OK) or refused (Cancel), progress is
// drawn on standard error when it is a terminal, and Ctrl-C, SIGTERM, SIGHUP and the other
// catchable signals that would end the process ask the running job to stop (a second one
// removes the named temporary files and ends the process at once). SIGPIPE is ignored, so a
// closed pipe is a write error like any other.
class TerminalInterface : public UserInterface {
  public:
    explicit TerminalInterface(bool answerYes);
    ~TerminalInterface() override;
    TerminalInterface(const TerminalInterface&) = delete;
    TerminalInterface& operator=(const TerminalInterface&) = delete;

    // The model whose controls it shows, and the host of the jobs a signal stops.
    void Attach(TranscoderDialog& model, JobHost& jobs);

    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons buttons,
                             MessageIcon icon) override;
    void ControlChanged(int controlId) override;
    void PumpMessages() override;
    void SetBusy(bool busy) override;
    bool OnUiThread() const override;
    // Tasks from other threads (a graph job's streaming thread) run at the next pump.
    void Post(std::function<void()> task) override;

    // The signal that asked the job to stop, or 0.
    int StopSignal() const;

  private:
    void DrawProgress(bool force);
    void EndProgressLine();

    bool answerYes;
    bool showProgress;
    bool progressShown = false;
    bool stopReported = false;
    TranscoderDialog* window = nullptr;
    JobHost* jobHost = nullptr;
    std::chrono::steady_clock::time_point lastDraw{};
    const std::thread::id ownThread = std::this_thread::get_id();
    std::mutex postedMutex;
    std::vector<std::function<void()>> posted;
};

}  // namespace tavrisk

#pragma once

#include <chrono>

#include "app/UserInterface.h"

namespace tavrisk {

class TranscoderDialog;

// The user interface of the command line: message boxes become "Title: text" lines on
// standard error, questions are answered by --yes (OK) or refused (Cancel), progress is
// drawn on standard error when it is a terminal, and Ctrl-C asks the running job to stop.
class TerminalInterface : public UserInterface {
  public:
    explicit TerminalInterface(bool answerYes);
    ~TerminalInterface() override;
    TerminalInterface(const TerminalInterface&) = delete;
    TerminalInterface& operator=(const TerminalInterface&) = delete;

    void Attach(TranscoderDialog& model) { window = &model; }

    MessageAnswer ShowMessage(std::string_view text, std::string_view title, MessageButtons buttons,
                              MessageIcon icon) override;
    void ControlChanged(int controlId) override;
    void PumpMessages() override;
    void SetBusy(bool busy) override;

  private:
    void DrawProgress(bool force);
    void EndProgressLine();

    bool answerYes;
    bool showProgress;
    bool progressShown = false;
    TranscoderDialog* window = nullptr;
    std::chrono::steady_clock::time_point lastDraw{};
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <functional>
#include <string>

#include "app/model/UserInterface.h"

class QWidget;

namespace tavrisk {

// The Qt front end's side of the model: message boxes, redraws of changed controls, the
// event pump of a running job and the wait cursor. Calls from another thread than the
// window's are queued to it and never waited on.
class QtUserInterface : public UserInterface {
  public:
    // Shows one message box and returns the answer; tests replace it to answer by program.
    using MessageHandler = std::function<MessageAnswer(
        const std::string& text, const std::string& title, MessageButtons, MessageIcon)>;
    // Redraws one control from the model (0: all of them).
    using Refresher = std::function<void(int controlId)>;

    QtUserInterface();
    ~QtUserInterface() override;

    // The window that owns the message boxes and receives the redraws.
    void Attach(QWidget* window, Refresher refresher);
    void SetMessageHandler(MessageHandler handler) { messageHandler = std::move(handler); }

    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons buttons,
                             MessageIcon icon) override;
    void ControlChanged(int controlId) override;
    // The focus goes to the window's control of that id, its text selected to be typed over.
    void FocusControl(int controlId) override;
    void PumpMessages() override;
    void SetBusy(bool busy) override;
    bool OnUiThread() const override { return OnWindowThread(); }
    // From another thread: queued to the window's thread, dropped with the window.
    void Post(std::function<void()> task) override;

    // The platform's application-modal message box.
    MessageAnswer ShowMessageBox(const std::string& text, const std::string& title,
                                 MessageButtons buttons, MessageIcon icon);

  private:
    static bool OnWindowThread();

    QPointer<QWidget> window;
    Refresher refresher;
    MessageHandler messageHandler;
    bool busy = false;
};

}  // namespace tavrisk

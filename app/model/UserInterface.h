// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "host/MessageHost.h"

namespace tavrisk {

// What the core needs from a front end: message boxes (MessageHost), a notice when a control
// of the main-window model changed (so a view can redraw it) and the message pump that keeps
// the front end responsive while a job runs on its thread. The Qt window and the terminal
// front end implement it; tests use a recording implementation.
class UserInterface : public MessageHost {
  public:
    // A control of the model changed its text, selection, state or position (0: all of them).
    virtual void ControlChanged(int controlId) { (void)controlId; }
    // Puts the keyboard focus on a control of the model (one whose value was refused).
    virtual void FocusControl(int controlId) { (void)controlId; }

    // Dispatches pending user events; may set the model's stop request.
    virtual void PumpMessages() {}

    // Busy indicator around a job (the wait cursor).
    virtual void SetBusy(bool busy) { (void)busy; }

    // True on the front end's own thread, the one the model lives on.
    virtual bool OnUiThread() const { return true; }
    // Runs `task` on the front end's thread: at once when called there, else queued (never
    // waited on). A front end that is gone drops it.
    virtual void Post(std::function<void()> task) { task(); }
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/model/UserInterface.h"

namespace tavrisk::test {

// A user interface for tests: records every message box and answers questions with
// `answer`; `onPump` runs at every message pump (to press "Exit" during a job, say). Keeps
// the ids of the controls the model said changed.
class RecordingInterface : public UserInterface {
  public:
    struct Message {
        std::string text;
        std::string title;
        MessageButtons buttons;
        MessageIcon icon;
    };

    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons buttons,
                             MessageIcon icon) override {
        messages.push_back({std::string(text), std::string(title), buttons, icon});
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer;
    }
    void ControlChanged(int controlId) override { changed.push_back(controlId); }
    void FocusControl(int controlId) override { focused.push_back(controlId); }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }

    // "Title: text" of every message, in order.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& m : messages) lines.push_back(m.title + ": " + m.text);
        return lines;
    }

    std::vector<Message> messages;
    MessageAnswer answer = MessageAnswer::Ok;
    std::function<void()> onPump;
    int pumps = 0;
    std::vector<int> focused;
    std::vector<int> changed;
};

}  // namespace tavrisk::test

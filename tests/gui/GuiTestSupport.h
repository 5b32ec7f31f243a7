// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "gui/ControlName.h"
#include "gui/MainWindow.h"

namespace tavrisk::test {

// Answers the window's message boxes by program and keeps them; `onQuestion` runs when a
// question is asked (a running job is then inside the box, as it would be for the user).
struct MessageLog {
    struct Entry {
        std::string text, title;
        MessageButtons buttons;
        MessageIcon icon;
    };
    std::vector<Entry> entries;
    MessageAnswer answer = MessageAnswer::Ok;
    std::function<void()> onQuestion;

    void Install(MainWindow& window) {
        window.Interface().SetMessageHandler([this](const std::string& text,
                                                    const std::string& title,
                                                    MessageButtons buttons, MessageIcon icon) {
            entries.push_back({text, title, buttons, icon});
            if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
            if (onQuestion) onQuestion();
            return answer;
        });
    }
    bool Has(const std::string& text) const {
        for (const Entry& entry : entries)
            if (entry.text == text) return true;
        return false;
    }
};

template <typename W>
W* Find(const QWidget& window, int controlId) {
    return window.findChild<W*>(ControlName(controlId));
}

// Picks an item of a combo box as from its list: the selection changes once, then the box
// reports the user's choice. (Arrow keys would select, and report, each item on the way.)
inline void Choose(QComboBox* combo, int item) {
    combo->setCurrentIndex(item);
    emit combo->activated(item);
}

// Types `text` over what an edit holds, as the user would: each key reports the edit.
inline void TypeOver(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

}  // namespace tavrisk::test

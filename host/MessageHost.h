// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace tavrisk {

// Buttons and icons of a message box, as jobs, the graph editor and front ends use them.
enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { Stop, Question, Exclamation, Information, None };
enum class MessageAnswer { Ok, Cancel };

// Whoever shows a message box and gives back the answer: a front end's user interface, and
// through it the job host of a running job and the graph editor's dialogs.
class MessageHost {
  public:
    virtual ~MessageHost() = default;
    virtual MessageAnswer MessageBox(std::string_view text, std::string_view title,
                                     MessageButtons buttons = MessageButtons::Ok,
                                     MessageIcon icon = MessageIcon::Stop) = 0;
};

}  // namespace tavrisk

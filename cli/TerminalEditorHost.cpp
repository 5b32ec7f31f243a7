// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalEditorHost.h"

#include "app/model/UserInterface.h"

namespace tavrisk {

MessageAnswer TerminalEditorHost::MessageBox(std::string_view text, std::string_view title,
                                             MessageButtons buttons, MessageIcon icon) {
    return ui.MessageBox(text, title, buttons, icon);
}

}  // namespace tavrisk

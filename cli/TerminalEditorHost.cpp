#include "cli/TerminalEditorHost.h"

#include "app/UserInterface.h"

namespace tavrisk {

void TerminalEditorHost::Message(const std::string& text, const std::string& title,
                                 MessageIcon icon) {
    ui.ShowMessage(text, title, MessageButtons::Ok, icon);
}

}  // namespace tavrisk

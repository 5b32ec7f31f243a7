#include "cli/TerminalEditorHost.h"

#include "app/UserInterface.h"

namespace tavrisk {

void TerminalEditorHost::Message(const std::string& text, const std::string& title) {
    ui.ShowMessage(text, title, MessageButtons::Ok, MessageIcon::Stop);
}

}  // namespace tavrisk

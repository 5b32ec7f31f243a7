// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "graph/GraphEditor.h"

namespace tavrisk {

class UserInterface;

// The graph editor's dialogs on the command line: its messages become lines on standard
// error; there is nothing to choose, so the choices are cancelled.
class TerminalEditorHost : public EditorHost {
  public:
    explicit TerminalEditorHost(UserInterface& ui) : ui(ui) {}

    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons buttons,
                             MessageIcon icon) override;
    const CatalogueEntry* ChooseFilter(const FilterCatalogue&) override { return nullptr; }
    std::optional<std::string> ChooseFile(bool) override { return std::nullopt; }
    bool EditSettings(GstElement*, const std::string&) override { return false; }
    void SetInputFile(const std::string&) override {}

  private:
    UserInterface& ui;
};

}  // namespace tavrisk

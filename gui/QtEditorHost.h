// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "graph/GraphEditor.h"

namespace tavrisk {

class QtUserInterface;
class TranscoderDialog;

// The graph editor's dialogs in the window: its messages go through the window's message
// boxes (which tests answer), "Insert..." opens "Filter Selection", "Settings..." the
// element's settings dialog, the file commands the open-file dialog, and "Set Input File..."
// hands the file to the settings model like a file picked with the input's browse button.
class QtEditorHost : public EditorHost {
  public:
    static constexpr const char* kFileFilter = "All Files (*.*)";

    QtEditorHost(QWidget* window, QtUserInterface& ui, TranscoderDialog& model);

    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons buttons,
                             MessageIcon icon) override;
    const CatalogueEntry* ChooseFilter(const FilterCatalogue& catalogue) override;
    std::optional<std::string> ChooseFile(bool mustExist) override;
    bool EditSettings(GstElement* element, const std::string& caption) override;
    void SetInputFile(const std::string& name) override;

  private:
    QPointer<QWidget> window;
    QtUserInterface& ui;
    TranscoderDialog& model;
};

}  // namespace tavrisk

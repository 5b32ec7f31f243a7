// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/QtEditorHost.h"

#include <QFile>
#include <QFileDialog>

#include "app/model/TranscoderDialog.h"
#include "gui/ElementSettingsDialog.h"
#include "gui/FilterSelectionDialog.h"
#include "gui/QtUserInterface.h"

namespace tavrisk {

QtEditorHost::QtEditorHost(QWidget* owner, QtUserInterface& userInterface,
                           TranscoderDialog& settings)
    : window(owner), ui(userInterface), model(settings) {}

MessageAnswer QtEditorHost::MessageBox(std::string_view text, std::string_view title,
                                       MessageButtons buttons, MessageIcon icon) {
    return ui.MessageBox(text, title, buttons, icon);
}

const CatalogueEntry* QtEditorHost::ChooseFilter(const FilterCatalogue& catalogue) {
    FilterSelectionDialog dialog(catalogue, window);
    return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : nullptr;
}

std::optional<std::string> QtEditorHost::ChooseFile(bool mustExist) {
    QFileDialog dialog(window, QString(), QString(), kFileFilter);
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

bool QtEditorHost::EditSettings(GstElement* element, const std::string& caption) {
    ElementSettingsDialog dialog(element, caption, window);
    return dialog.exec() == QDialog::Accepted;
}

void QtEditorHost::SetInputFile(const std::string& name) {
    model.OnInputChosen(name);
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QListWidget;

namespace tavrisk {

class FilterCatalogue;
struct CatalogueEntry;

// "Filter Selection": the catalogue's entries by name in a sorted list; OK (or a double
// click) chooses the selected one.
class FilterSelectionDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Filter Selection";
    static constexpr const char* kPrompt = "Select a Filter...";
    static constexpr int kListId = 1057;

    explicit FilterSelectionDialog(const FilterCatalogue& catalogue, QWidget* parent = nullptr);

    // The entry selected last, null when none was.
    const CatalogueEntry* Chosen() const { return chosen; }

  private:
    QListWidget* list;
    const CatalogueEntry* chosen = nullptr;
};

}  // namespace tavrisk

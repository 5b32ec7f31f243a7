// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/FilterSelectionDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "graph/FilterCatalogue.h"
#include "gui/ControlName.h"

namespace tavrisk {

namespace {

constexpr int kFilterListWidth = 320;
constexpr int kFilterListHeight = 300;

const CatalogueEntry* EntryOf(const QListWidgetItem* item) {
    return item ? static_cast<const CatalogueEntry*>(item->data(Qt::UserRole).value<const void*>())
                : nullptr;
}

}  // namespace

FilterSelectionDialog::FilterSelectionDialog(const FilterCatalogue& catalogue, QWidget* parent)
    : QDialog(parent), list(new QListWidget) {
    setWindowTitle(kTitle);
    list->setObjectName(ControlName(kListId));
    list->setMinimumSize(kFilterListWidth, kFilterListHeight);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const CatalogueEntry* entry : catalogue.Entries()) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry->name), list);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<const void*>(entry)));
    }
    list->sortItems();
    connect(list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selection = list->selectedItems();
        chosen = selection.isEmpty() ? nullptr : EntryOf(selection.first());
    });
    connect(list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(kPrompt));
    layout->addWidget(list);
    layout->addWidget(buttons);
}

}  // namespace tavrisk

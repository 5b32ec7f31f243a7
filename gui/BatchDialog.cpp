// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BatchDialog.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/ControlName.h"

namespace tavrisk {

namespace {

constexpr int kFileListWidth = 460;
constexpr int kFileListHeight = 260;
constexpr int kListId = 1021;
constexpr int kOkId = 3;
constexpr int kAddFileId = 1022;
constexpr int kRemoveId = 1023;
constexpr const char* kColumn = "Filename";
// The column starts twice as wide as its title followed by five blanks.
constexpr const char* kColumnWidthText = "Filename     ";

}  // namespace

BatchDialog::BatchDialog(const std::vector<std::string>& batch, QWidget* parent)
    : QDialog(parent), list(new QTreeWidget) {
    setWindowTitle(kTitle);
    setAcceptDrops(true);
    list->setObjectName(ControlName(kListId));
    list->setMinimumSize(kFileListWidth, kFileListHeight);
    list->setAcceptDrops(false);
    list->setColumnCount(1);
    list->setHeaderLabels({kColumn});
    list->setRootIsDecorated(false);
    list->setColumnWidth(0, 2 * list->fontMetrics().horizontalAdvance(kColumnWidthText));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton("Add...");
    add->setObjectName(ControlName(kAddFileId));
    connect(add, &QPushButton::clicked, this, &BatchDialog::AddChosenFiles);
    auto* removeButton = new QPushButton("Remove");
    removeButton->setObjectName(ControlName(kRemoveId));
    auto* ok = new QPushButton("OK");
    ok->setObjectName(ControlName(kOkId));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(add);
    buttons->addWidget(removeButton);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    auto* remove = new QAction(this);
    remove->setShortcut(QKeySequence::Delete);
    list->addAction(remove);
    connect(remove, &QAction::triggered, this, [this] { qDeleteAll(list->selectedItems()); });
    connect(removeButton, &QPushButton::clicked, remove, &QAction::trigger);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const std::string& name : batch) AddFile(name);
}

void BatchDialog::AddChosenFiles() {
    for (const QString& name : QFileDialog::getOpenFileNames(this, "Add to the batch"))
        AddFile(QFile::encodeName(name).toStdString());
}

void BatchDialog::AddFile(const std::string& name) {
    const QString text = QFile::decodeName(name.c_str());
    if (text.isEmpty() ||
        !list->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty())
        return;
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
    const int width = list->fontMetrics().horizontalAdvance(text);
    if (list->columnWidth(0) < width) list->setColumnWidth(0, 2 * width);
}

int BatchDialog::ColumnWidth() const {
    return list->columnWidth(0);
}

std::vector<std::string> BatchDialog::Files() const {
    std::vector<std::string> files;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        files.push_back(QFile::encodeName(list->topLevelItem(i)->text(0)).toStdString());
    return files;
}

void BatchDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void BatchDialog::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void BatchDialog::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) AddFile(QFile::encodeName(url.toLocalFile()).toStdString());
    event->acceptProposedAction();
}

}  // namespace tavrisk

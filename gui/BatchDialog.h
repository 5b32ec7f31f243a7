// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QTreeWidget;

namespace tavrisk {

// "Batch Processing": gathers the files dropped on its list or added with "Add...", each once,
// in that order; "Remove" (or Delete) takes the selected ones off; "OK" makes them the batch,
// Esc keeps the batch as it was.
class BatchDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Batch Processing";

    // Shows the current batch, which the user may extend (drops) or shorten (Delete).
    explicit BatchDialog(const std::vector<std::string>& batch, QWidget* parent = nullptr);

    // Adds a file at the end of the list unless the very same name is already there; the
    // "Filename" column becomes twice as wide as a name it is narrower than.
    void AddFile(const std::string& name);
    // The width of the "Filename" column.
    int ColumnWidth() const;
    // The listed names, in list order.
    std::vector<std::string> Files() const;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void AddChosenFiles();

    QTreeWidget* list;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeWidget>
#include <memory>
#include <vector>

class QMenu;

namespace tavrisk {

class GraphEditor;
struct MenuEntry;

// List view 1061: one row per element of the graph editor's pipeline, with the media format
// of its first input and first output. A right click opens the editor's context menu; the
// Delete key removes the selected row. The view only shows the editor: every change goes
// through the editor's commands, after which the rows are read again.
class GraphEditorView : public QTreeWidget {
    Q_OBJECT

  public:
    explicit GraphEditorView(QWidget* parent = nullptr);

    // The editor shown (null: none, the view stays empty).
    void SetEditor(GraphEditor* editor);
    // Reads every row and cell from the editor again and sizes the columns to their texts.
    void Redraw();
    // The selected row, -1 when none.
    int SelectedRow() const;

    // The menu of a right click on the current selection; each command action carries its
    // identifier as data. Null without an editor.
    std::unique_ptr<QMenu> BuildContextMenu();
    // Runs a command of the last menu built, then shows the result.
    void RunMenuCommand(int id);
    // The pipeline changed on its own (its formats were negotiated, it stopped): the editor
    // reads its rows again. Put off while a menu or a command is open, as the menu's
    // commands refer to the rows as they were when it was built.
    void GraphChanged();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Marks a menu or a command as open; when the last one ends, a change of the pipeline
    // that came meanwhile is shown.
    class InteractionScope;

    void AddEntries(QMenu& menu, const std::vector<MenuEntry>& entries);
    void SizeColumns();

    GraphEditor* editor = nullptr;
    int openInteractions = 0;
    bool changePending = false;
};

}  // namespace tavrisk

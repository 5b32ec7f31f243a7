// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/GraphEditorView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

#include "graph/GraphEditor.h"
#include "gui/QtText.h"

namespace tavrisk {

namespace {

constexpr int kColumnCount = 3;
// Every column is as wide as its widest text followed by this many blanks.
const QString kColumnPadding(10, QLatin1Char(' '));
const QColor kGridColor(0xc0, 0xc0, 0xc0);

// Draws the grid lines between cells (right and bottom edge of each).
class GridDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(kGridColor);
        const QRect cell = option.rect;
        painter->drawLine(cell.topRight(), cell.bottomRight());
        painter->drawLine(cell.bottomLeft(), cell.bottomRight());
        painter->restore();
    }
};

}  // namespace

class GraphEditorView::InteractionScope {
  public:
    explicit InteractionScope(GraphEditorView& v) : view(v) { ++view.openInteractions; }
    ~InteractionScope() {
        if (--view.openInteractions == 0 && view.changePending) view.GraphChanged();
    }
    InteractionScope(const InteractionScope&) = delete;
    InteractionScope& operator=(const InteractionScope&) = delete;

  private:
    GraphEditorView& view;
};

GraphEditorView::GraphEditorView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(kColumnCount);
    QStringList labels;
    for (const char* label : GraphEditor::kColumns) labels << label;
    setHeaderLabels(labels);
    header()->setDefaultAlignment(Qt::AlignCenter);
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setItemDelegate(new GridDelegate(this));
    SizeColumns();
}

void GraphEditorView::SetEditor(GraphEditor* shown) {
    editor = shown;
    Redraw();
}

void GraphEditorView::Redraw() {
    const int selected = SelectedRow();
    clear();
    if (editor) {
        for (int row = 0; row < editor->RowCount(); ++row) {
            auto* item = new QTreeWidgetItem;
            for (int column = 0; column < kColumnCount; ++column) {
                item->setText(column, ToQt(editor->Cell(row, column)));
                item->setTextAlignment(column, Qt::AlignCenter);
            }
            addTopLevelItem(item);
        }
    }
    if (selected >= 0 && selected < topLevelItemCount()) setCurrentItem(topLevelItem(selected));
    SizeColumns();
}

void GraphEditorView::SizeColumns() {
    const QFontMetrics metrics = fontMetrics();
    for (int column = 0; column < kColumnCount; ++column) {
        int width = metrics.horizontalAdvance(headerItem()->text(column) + kColumnPadding);
        for (int row = 0; row < topLevelItemCount(); ++row)
            width = std::max(
                width, metrics.horizontalAdvance(topLevelItem(row)->text(column) + kColumnPadding));
        setColumnWidth(column, width);
    }
}

int GraphEditorView::SelectedRow() const {
    const QList<QTreeWidgetItem*> selection = selectedItems();
    return selection.isEmpty() ? -1 : indexOfTopLevelItem(selection.first());
}

void GraphEditorView::AddEntries(QMenu& menu, const std::vector<MenuEntry>& entries) {
    for (const MenuEntry& entry : entries) {
        if (entry.IsSeparator()) {
            menu.addSeparator();
        } else if (!entry.submenu.empty()) {
            QMenu* submenu = menu.addMenu(ToQt(entry.text));
            submenu->setEnabled(!entry.greyed);
            AddEntries(*submenu, entry.submenu);
        } else {
            QAction* action = menu.addAction(ToQt(entry.text));
            action->setData(entry.id);
            action->setEnabled(!entry.greyed);
        }
    }
}

std::unique_ptr<QMenu> GraphEditorView::BuildContextMenu() {
    if (!editor) return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    AddEntries(*menu, editor->ContextMenu(SelectedRow()));
    return menu;
}

void GraphEditorView::RunMenuCommand(int id) {
    if (!editor) return;
    const InteractionScope scope(*this);
    editor->RunCommand(id);
    Redraw();
}

void GraphEditorView::GraphChanged() {
    if (!editor) return;
    changePending = openInteractions > 0;
    if (changePending) return;
    editor->Refresh();
    Redraw();
}

void GraphEditorView::contextMenuEvent(QContextMenuEvent* event) {
    const InteractionScope scope(*this);
    std::unique_ptr<QMenu> menu = BuildContextMenu();
    if (!menu) return;
    const QAction* chosen = menu->exec(event->globalPos());
    if (chosen && chosen->data().isValid()) RunMenuCommand(chosen->data().toInt());
}

void GraphEditorView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && editor) {
        const InteractionScope scope(*this);
        editor->DeleteKey(SelectedRow());
        Redraw();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "gui/BatchDialog.h"
#include "gui/ControlName.h"

using namespace tavrisk;

namespace {

// Hands the dialog a drop of files as a file manager does: text/uri-list mime data.
void Drop(BatchDialog& dialog, const QStringList& files) {
    QByteArray uris;
    for (const QString& file : files) uris += QUrl::fromLocalFile(file).toEncoded() + "\r\n";
    QMimeData data;
    data.setData("text/uri-list", uris);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QObject* target = &dialog;
    target->event(&drop);
}

QTreeWidget* List(const BatchDialog& dialog) {
    return dialog.findChild<QTreeWidget*>(ControlName(1021));
}

}  // namespace

class BatchDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void HasOneFilenameColumn() {
        BatchDialog dialog({});
        QTreeWidget* list = List(dialog);
        QVERIFY(list);
        QCOMPARE(list->columnCount(), 1);
        QCOMPARE(list->headerItem()->text(0), QString("Filename"));
        const int title = list->fontMetrics().horizontalAdvance("Filename     ");
        QCOMPARE(dialog.ColumnWidth(), 2 * title);
    }

    void DroppedFilesAppearInDropOrderEachOnce() {
        BatchDialog dialog({});
        Drop(dialog, {"/films/c.ac3", "/films/a.ac3", "/films/b.ac3", "/films/a.ac3"});
        Drop(dialog, {"/films/b.ac3", "/films/A.ac3"});
        QCOMPARE(dialog.Files(), (std::vector<std::string>{"/films/c.ac3", "/films/a.ac3",
                                                           "/films/b.ac3", "/films/A.ac3"}));
        QTreeWidget* list = List(dialog);
        QCOMPARE(list->topLevelItemCount(), 4);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("/films/c.ac3"));
    }

    // "Add..." adds the files chosen in a file dialog; "Remove" takes the selected off.
    void AddAndRemoveButtonsEditTheList() {
        QTemporaryDir folder;
        for (const char* name : {"a.mkv", "b.mkv"}) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        BatchDialog dialog({"/films/c.ac3"});
        QTimer::singleShot(0, [&folder] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(files);
            files->setDirectory(folder.path());
            files->selectFile("\"a.mkv\" \"b.mkv\"");
            static_cast<QDialog*>(files)->accept();
        });
        dialog.findChild<QPushButton*>(ControlName(1022))->click();
        const std::string a = folder.filePath("a.mkv").toStdString();
        const std::string b = folder.filePath("b.mkv").toStdString();
        QCOMPARE(dialog.Files(), (std::vector<std::string>{"/films/c.ac3", a, b}));
        QTreeWidget* list = List(dialog);
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        dialog.findChild<QPushButton*>(ControlName(1023))->click();
        QCOMPARE(dialog.Files(), (std::vector<std::string>{a}));
    }

    void ColumnWidensForALongName() {
        BatchDialog dialog({});
        const int initial = dialog.ColumnWidth();
        Drop(dialog, {"/a.ac3"});
        QCOMPARE(dialog.ColumnWidth(), initial);
        const QString longName = "/films/" + QString(60, 'x') + ".ac3";
        Drop(dialog, {longName});
        const int width = List(dialog)->fontMetrics().horizontalAdvance(longName);
        QVERIFY(width > initial);
        QCOMPARE(dialog.ColumnWidth(), 2 * width);
        Drop(dialog, {"/b.ac3"});
        QCOMPARE(dialog.ColumnWidth(), 2 * width);
    }
};

QTEST_MAIN(BatchDialogTest)
#include "BatchDialogTest.moc"

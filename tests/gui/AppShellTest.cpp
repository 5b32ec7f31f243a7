// SPDX-License-Identifier: GPL-3.0-or-later
#include <gst/gst.h>

#include <QAction>
#include <QFileInfo>
#include <QMenuBar>
#include <QPlainTextEdit>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "gui/AboutBox.h"
#include "gui/HelpFile.h"
#include "gui/MainWindow.h"
#include "tests/gui/GuiTestSupport.h"

using namespace tavrisk;

class AppShellTest : public QObject {
    Q_OBJECT

  private slots:
    void ManualIsFound() {
        const QString index = FindHelpIndex();
        QVERIFY(index.endsWith("help/index.html"));
        QVERIFY(QFileInfo::exists(index));
    }

    void HelpAndAboutAreInTheMenuAndTheContextMenu() {
        MainWindow window;
        const QList<QAction*> actions = window.centralWidget()->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0]->shortcut(), QKeySequence(QKeySequence::HelpContents));
        QCOMPARE(actions[1]->text(), QString("&About Tavrisk..."));
        QCOMPARE(actions[2]->text(), QString("Restore defaults"));
        QCOMPARE(window.centralWidget()->contextMenuPolicy(), Qt::ActionsContextMenu);
        const QList<QAction*> menus = window.menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QList<QAction*> items = menus[0]->menu()->actions();
        items.removeIf([](QAction* item) { return item->isSeparator(); });
        QCOMPARE(items, actions);
    }

    void AboutBoxShowsTheCredits() {
        AboutBox about;
        auto* text = about.findChild<QPlainTextEdit*>(ControlName(1012));
        QVERIFY(text && text->isReadOnly());
        const QStringList lines = text->toPlainText().split('\n');
        QCOMPARE(lines.value(0), QString("Tavrisk Transcoder"));
        QCOMPARE(lines.value(1), QString("v" TAVRISK_VERSION));
        QCOMPARE(lines.value(2), QString("2003"));
        QCOMPARE(lines.value(4), QString("Based on"));
        QVERIFY(lines.contains("MPEG-2 Audio Simulation Software"));
        // What the program runs on, with the versions of this run; not the library it replaced.
        for (const QString& credit :
             {QString("FFmpeg libavcodec "), QString(", libavformat "), QString("GStreamer 1."),
              QString("Qt ") + qVersion(), QString("libsoxr-")})
            QVERIFY2(text->toPlainText().contains(credit), qPrintable(credit));
        QVERIFY(!text->toPlainText().contains("Azid"));
        QVERIFY(QString(AboutBox::kText).contains("\r\n"));
        QVERIFY(lines.contains("Free software under the GNU General Public License, version 3 or "
                               "later (GPL-3.0-or-later)"));
    }
};

QTEST_MAIN(AppShellTest)
#include "AppShellTest.moc"

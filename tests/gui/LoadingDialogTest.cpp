// SPDX-License-Identifier: GPL-3.0-or-later
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "gui/ControlName.h"
#include "gui/LoadingDialog.h"

using namespace tavrisk;
using namespace std::chrono_literals;

namespace {

// Reports 0, 10, ..., `last` with a short pause before each report, then waits for `release`
// and reports `final` (unless it is negative), then sets `finished`.
struct SteppingWorker {
    int last = 100;
    int final = -1;
    std::atomic<bool> started{false};
    std::atomic<bool> release{true};
    std::atomic<bool> finished{false};

    LoadingDialog::Worker Worker() {
        return [this](const LoadingDialog::Report& report) {
            started = true;
            for (int percent = 0; percent <= last; percent += 10) {
                std::this_thread::sleep_for(5ms);
                report(percent);
            }
            while (!release) std::this_thread::sleep_for(1ms);
            if (final >= 0) report(final);
            std::this_thread::sleep_for(20ms);
            finished = true;
        };
    }
};

QProgressBar* Progress(const QDialog& dialog) {
    return dialog.findChild<QProgressBar*>(ControlName(LoadingDialog::kProgressId));
}

}  // namespace

class LoadingDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void ShowsTitleProgressAndPleaseWait() {
        LoadingDialog dialog(nullptr, {});
        QCOMPARE(dialog.windowTitle(), QString("Loading..."));
        QProgressBar* progress = Progress(dialog);
        QVERIFY(progress);
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 100);
        bool pleaseWait = false;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            pleaseWait = pleaseWait || label->text() == "Please Wait...";
        QVERIFY(pleaseWait);
        LoadingDialog captioned("Gathering Filters Informations", {});
        QCOMPARE(captioned.windowTitle(), QString("Gathering Filters Informations"));
    }

    void ClosesWhenTheWorkerReportsOneHundred() {
        SteppingWorker work;
        LoadingDialog dialog(nullptr, work.Worker());
        dialog.show();
        QVERIFY(dialog.isVisible());
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Progress(dialog)->value(), 100);
    }

    void StaysOpenUntilExactlyOneHundred() {
        SteppingWorker work;
        work.last = 90;
        work.final = 99;
        LoadingDialog dialog(nullptr, work.Worker());
        dialog.show();
        QTRY_COMPARE(Progress(dialog)->value(), 99);
        QTest::qWait(50);
        QVERIFY(dialog.isVisible());
        QTRY_VERIFY(work.finished);
        QTest::qWait(20);
        QVERIFY(dialog.isVisible());
        dialog.hide();

        SteppingWorker complete;
        complete.last = 90;
        complete.final = 100;
        complete.release = false;
        LoadingDialog second(nullptr, complete.Worker());
        second.show();
        QTRY_COMPARE(Progress(second)->value(), 90);
        QTest::qWait(20);
        QVERIFY(second.isVisible());
        complete.release = true;
        QTRY_VERIFY(!second.isVisible());
        QCOMPARE(Progress(second)->value(), 100);
    }

    void EscapeClosesADialogThatNeverReachesOneHundred() {
        SteppingWorker work;
        work.last = 50;
        LoadingDialog dialog(nullptr, work.Worker());
        dialog.show();
        QTRY_COMPARE(Progress(dialog)->value(), 50);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void DestructionWaitsForTheWorker() {
        SteppingWorker work;
        work.release = false;
        work.final = 100;
        auto dialog = std::make_unique<LoadingDialog>(nullptr, work.Worker());
        dialog->show();
        QTRY_VERIFY(work.started);
        // Releases the worker a little after the destructor has begun waiting.
        std::thread releaser([&work] {
            std::this_thread::sleep_for(50ms);
            work.release = true;
        });
        dialog.reset();
        QVERIFY(work.finished);
        releaser.join();
        // The reports still queued for the destroyed dialog are dropped.
        QTest::qWait(20);
    }
};

QTEST_MAIN(LoadingDialogTest)
#include "LoadingDialogTest.moc"

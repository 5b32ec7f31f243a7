// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <tuple>

#include "gui/BatchDialog.h"
#include "gui/CurveDialog.h"
#include "gui/CurveMouse.h"
#include "gui/CurveView.h"
#include "gui/MainWindow.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/RecordingInterface.h"

using namespace tavrisk;
using tavrisk::test::Choose;
using tavrisk::test::Find;
using tavrisk::test::TypeOver;

namespace {

// The dialog's curve: 330 x 263 pixels give a plot of 300 x 243.
constexpr int kW = 300;
constexpr int kH = 243;

std::vector<DrpCurve::Point> PointsOf(const DrpCurve& curve) {
    return curve.Points();
}

}  // namespace

class CurveEditingTest : public QObject {
    Q_OBJECT

  private slots:
    void PlotSizeAndReadout() {
        QCOMPARE(CurveDialog::kPlot.width, kW);
        QCOMPARE(CurveDialog::kPlot.height, kH);
        QVERIFY(CurveDialog::kPlot.ShowsLabels());
        DrpCurve curve(kW, kH);
        CurveMouse mouse(curve);
        QCOMPARE(QString::fromStdString(mouse.Readout(150, 243)),
                 QString("-50.00 dB --> -100.00 dB"));
        QCOMPARE(mouse.Readout(0, 100), std::string());
        QCOMPARE(mouse.Readout(100, 0), std::string());
        QCOMPARE(mouse.Readout(301, 100), std::string());
        // Small views are all plot; a plot just too small for labels has none.
        for (const auto& [view, plot, labels] :
             {std::tuple{CurvePlot{78, 62}, CurvePlot{78, 62}, false},
              std::tuple{CurvePlot{129, 200}, CurvePlot{99, 180}, false},
              std::tuple{CurvePlot{130, 120}, CurvePlot{100, 100}, true}}) {
            const CurvePlot got = CurvePlot::OfView(view.width, view.height);
            QCOMPARE(got.width, plot.width);
            QCOMPARE(got.height, plot.height);
            QCOMPARE(got.ShowsLabels(), labels);
        }
    }

    void PressWithinReachSelectsBeyondItInserts() {
        DrpCurve curve(kW, kH);
        CurveMouse mouse(curve);
        QVERIFY(mouse.LeftDown(150, 100));  // a new point on the default curve
        mouse.LeftUp();
        QCOMPARE(curve.GetPointCount(), 3);
        QVERIFY(!mouse.LeftDown(162, 112));  // 12 pixels away both ways: that point
        QCOMPARE(mouse.Selected(), 1);
        mouse.LeftUp();
        QVERIFY(mouse.LeftDown(163, 113));  // 13: a new one
        mouse.LeftUp();
        QCOMPARE(curve.GetPointCount(), 4);
        QCOMPARE(mouse.Selected(), 2);
        QVERIFY(!mouse.LeftDown(100, 0));  // the top row adds nothing
        QCOMPARE(curve.GetPointCount(), 4);
    }

    void DragLimits() {
        DrpCurve curve(kW, kH);
        const float in[] = {-100, -66.66f, -33.34f, 0};
        const float out[] = {-100, -60, -20, 0};
        curve.SetPointsDb(in, out, 4);
        const auto start = PointsOf(curve);
        CurveMouse mouse(curve);
        mouse.LeftDown(start[1].x, start[1].y);
        QCOMPARE(mouse.Selected(), 1);
        QVERIFY(mouse.Move(start[2].x + 40, 1));  // past the right neighbour, into the top
        QCOMPARE(curve.Points()[1].x, start[2].x - 1);
        QCOMPARE(curve.Points()[1].y, 0);
        mouse.Move(-50, kH + 40);
        QCOMPARE(curve.Points()[1].x, start[0].x + 1);
        QCOMPARE(curve.Points()[1].y, kH);
        mouse.LeftUp();
        QVERIFY(!mouse.Move(10, 10));  // no longer dragging
        // An end point only moves up and down.
        mouse.LeftDown(kW, 0);
        mouse.Move(200, 80);
        QCOMPARE(curve.Points().back().x, kW);
        QCOMPARE(curve.Points().back().y, 80);
        mouse.LeftUp();
    }

    // Three points in one column: the one grabbed is the one dragged, move after move. A press
    // on the half of an end point's handle outside the plot takes that end point.
    void GrabbedPointStaysGrabbed() {
        DrpCurve curve(kW, kH);
        CurveMouse mouse(curve);
        for (int y : {50, 120, 200, 120}) {
            mouse.LeftUp();
            mouse.LeftDown(100, y);
        }
        for (int y : {130, 140, 150}) mouse.Move(150, y);
        for (const auto& [x, y] : {std::pair{kW + 2, 1}, std::pair{1, kH + 2}}) {
            mouse.LeftUp();
            QVERIFY(mouse.LeftDown(x, y) == false && mouse.Move(x, 60));
        }
        std::vector<std::pair<int, int>> points;
        for (const auto& p : curve.Points()) points.emplace_back(p.x, p.y);
        QCOMPARE(points, (std::vector<std::pair<int, int>>{
                             {0, 60}, {100, 200}, {100, 150}, {100, 50}, {kW, 60}}));
    }

    // A release time out of range is refused with a message, and OK with it.
    void ReleaseTimeOutOfRangeIsRefused() {
        tavrisk::test::RecordingInterface ui;
        DrpCurve channel;
        CurveDialog dialog(channel, 0, ui, "");
        auto* release = dialog.findChild<QLineEdit*>("ctl1012");
        QVERIFY(release);
        TypeOver(release, "9000");
        dialog.accept();
        release->clear();  // no message while typing, but no release time for OK either
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.EditedCurve().GetReleaseMs(), 900);
        QCOMPARE(ui.Lines().size(), std::size_t{3});  // at the fourth digit and at each OK
        QCOMPARE(ui.Lines()[0],
                 "Dynamic Range Processing: Release Time: please enter an integer "
                 "between 0 and 5000.");
    }

    void RightClickRemovesInnerPointsOnly() {
        DrpCurve curve(kW, kH);
        CurveMouse mouse(curve);
        mouse.LeftDown(150, 100);
        mouse.LeftUp();
        mouse.RightDown(0, kH);
        QVERIFY(!mouse.RightUp(0, kH));  // the first point stays
        mouse.RightDown(kW, 0);
        QVERIFY(!mouse.RightUp(kW, 0));  // and the last
        mouse.RightDown(130, 100);
        QVERIFY(!mouse.RightUp(160, 100));  // press and release too far apart
        QCOMPARE(curve.GetPointCount(), 3);
        mouse.RightDown(150, 100);
        QVERIFY(mouse.RightUp(152, 101));
        QCOMPARE(curve.GetPointCount(), 2);
    }

    void DialogEditsACopyAndOkLinksTheCurve() {
        MainWindow window;
        window.show();
        Choose(Find<QComboBox>(window, ctl::kDrpLink), 2);  // (L R LS RS)
        TranscoderDialog& model = window.Model();
        model.SetReleaseTime(0, 700);
        QString title;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CurveDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            auto* view = dialog->findChild<CurveView*>("ctl1054");
            QTest::mouseMove(view, QPoint(150, 243));
            QCOMPARE(dialog->findChild<QLabel*>("ctl1058")->text(),
                     QString("-50.00 dB --> -100.00 dB"));
            QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(150, 60));
            TypeOver(dialog->findChild<QLineEdit*>("ctl1012"), "500");
            dialog->accept();
        });
        QTest::mouseClick(window.Control(ctl::kCurveView[4]), Qt::LeftButton);
        QCOMPARE(title, QString("Dynamic Range Processing on Rear Left Channel"));
        QCOMPARE(model.Curve(4).GetPointCount(), 3);
        QCOMPARE(model.Curve(4).GetReleaseMs(), 500);
        for (int k : {0, 1, 5}) QCOMPARE(model.Curve(k).GetPointCount(), 3);
        QCOMPARE(model.Curve(0).GetReleaseMs(), 700);  // release times are not copied
        QVERIFY(model.Curve(2).GetPointCount() <= 2);  // the centre is not in the group
    }

    void CancelChangesNothing() {
        MainWindow window;
        window.show();
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CurveDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->findChild<QLineEdit*>("ctl1012")->text(), QString("300"));
            QTest::mouseClick(dialog->findChild<CurveView*>("ctl1054"), Qt::LeftButton, {},
                              QPoint(150, 60));
            TypeOver(dialog->findChild<QLineEdit*>("ctl1012"), "900");
            dialog->reject();
        });
        QTest::mouseClick(window.Control(ctl::kCurveView[2]), Qt::LeftButton);
        QCOMPARE(window.Model().Curve(2).GetReleaseMs(), 300);
        QVERIFY(window.Model().Curve(2).GetPointCount() <= 2);
    }

    void BatchListsEachFileOnceInDropOrder() {
        BatchDialog dialog({"/films/a.ac3"});
        dialog.AddFile("/films/b.ac3");
        dialog.AddFile("/films/a.ac3");
        dialog.AddFile("/films/A.ac3");
        QCOMPARE(dialog.Files(),
                 (std::vector<std::string>{"/films/a.ac3", "/films/b.ac3", "/films/A.ac3"}));
    }
};

QTEST_MAIN(CurveEditingTest)
#include "CurveEditingTest.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// tavrisk-screenshot [--curve | --batch | --graph | --graph-fit] FILE.png [INPUT]: renders a
// window into a PNG for the documentation: the main window (on INPUT when given), the curve
// editor with an edited curve (--curve), the batch dialog with a few files (--batch) or the main
// window with INPUT's graph in the graph editor (--graph; --graph-fit: the window filling the
// screen but for a title bar and a panel).
#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>

#include "app/model/ControlIds.h"
#include "app/model/GraphSession.h"
#include "app/model/PresetStore.h"
#include "gui/BatchDialog.h"
#include "gui/CurveDialog.h"
#include "gui/MainWindow.h"

namespace {

bool Save(QWidget& widget, const QString& file) {
    widget.show();
    widget.raise();
    // Lets the window system map and paint the window before it is grabbed.
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    return widget.grab().save(file);
}

int Curve(tavrisk::MainWindow& window, const QString& file) {
    window.Model().SetCurvePoints(0, {-100, -60, -30, 0}, {-100, -50, -15, -3});
    const tavrisk::DrpCurve& edited = window.Model().Curve(0);
    // A presets file of its own with a few presets, so that the list shows.
    QTemporaryDir folder;
    const std::string ini = QFile::encodeName(folder.filePath("tavrisk.ini")).toStdString();
    const tavrisk::PresetStore presets(ini);
    const std::vector<float> flatIn = {-100, 0}, flatOut = {-100, 0};
    for (const char* name : {"Film (night)", "Dialogue lift", "Flat"})
        presets.Save(name, 300, flatIn, flatOut);
    tavrisk::CurveDialog dialog(edited, 0, window.Interface(), ini);
    return Save(dialog, file) ? 0 : 1;
}

int Batch(const QString& file) {
    tavrisk::BatchDialog dialog({"/home/user/Films/Le grand voyage/VTS_01_1.ac3",
                                 "/home/user/Films/Le grand voyage/VTS_02_1.ac3",
                                 "/home/user/Films/Concert/concert-5.1.wav",
                                 "/home/user/Films/Archive/reel-3.avi"});
    return Save(dialog, file) ? 0 : 1;
}

int Graph(tavrisk::MainWindow& window, const QString& file, const QString& input) {
    // The graph side keeps its files in a folder of its own, gone afterwards.
    QTemporaryDir folder;
    const auto path = [&folder](const char* name) {
        return QFile::encodeName(folder.filePath(name)).toStdString();
    };
    if (!window.StartGraph({path("filters"), path("FilterList.txt")})) return 1;
    const std::string name = QFile::encodeName(input).toStdString();
    window.Model().OnInputChosen(name);
    if (!window.Graph()->Editor().RenderInputFile(name)) return 1;
    window.Refresh(tavrisk::ctl::kFilterGraph);
    const int saved = Save(window, file) ? 0 : 1;
    window.close();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QStringList args = QApplication::arguments();
    QString mode;
    if (args.size() > 1 && args[1].startsWith("--")) mode = args.takeAt(1);
    if (args.size() < 2) return 2;
    tavrisk::MainWindow window;
    if (mode == "--curve") return Curve(window, args[1]);
    if (mode == "--batch") return Batch(args[1]);
    if (mode == "--graph-fit") {
        // Room for a title bar and a desktop panel.
        constexpr int kDesktopFrames = 60;
        window.resize(QApplication::primaryScreen()->availableGeometry().size() -
                      QSize(0, kDesktopFrames));
        mode = "--graph";
    }
    if (mode == "--graph") return args.size() > 2 ? Graph(window, args[1], args[2]) : 2;
    if (!mode.isEmpty()) return 2;
    if (args.size() > 2) window.Model().OnInputChosen(QFile::encodeName(args[2]).toStdString());
    return Save(window, args[1]) ? 0 : 1;
}

// tavrisk-screenshot FILE.png [INPUT]: renders the main window (offscreen works) into a PNG,
// for the documentation. tavrisk-screenshot --curve FILE.png renders the curve editor.
#include <QApplication>
#include <QFile>
#include <QPixmap>

#include "gui/CurveDialog.h"
#include "gui/MainWindow.h"

namespace {

bool Save(QWidget& widget, const QString& file) {
    widget.show();
    QApplication::processEvents();
    return widget.grab().save(file);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QStringList args = QApplication::arguments();
    const bool curve = args.size() > 1 && args[1] == "--curve";
    if (curve) args.removeAt(1);
    if (args.size() < 2) return 2;
    tavrisk::MainWindow window;
    if (curve) {
        tavrisk::DrpCurve& edited = window.Model().Curve(0);
        const float in[] = {-100, -60, -30, 0};
        const float out[] = {-100, -50, -15, -3};
        edited.SetPointsDb(in, out, 4);
        tavrisk::CurveDialog dialog(edited, 0, window.Interface(), {});
        return Save(dialog, args[1]) ? 0 : 1;
    }
    if (args.size() > 2) window.Model().OnInputChosen(QFile::encodeName(args[2]).toStdString());
    return Save(window, args[1]) ? 0 : 1;
}

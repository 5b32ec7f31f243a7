// tavrisk-screenshot FILE.png [INPUT]: renders the main window (offscreen works) into a PNG,
// for the documentation.
#include <QApplication>
#include <QFile>
#include <QPixmap>

#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) return 2;
    tavrisk::MainWindow window;
    if (args.size() > 2) window.Model().OnInputChosen(QFile::encodeName(args[2]).toStdString());
    window.show();
    QApplication::processEvents();
    return window.grab().save(args[1]) ? 0 : 1;
}

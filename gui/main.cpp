// SPDX-License-Identifier: GPL-3.0-or-later
// tavrisk: the transcoder's desktop window. `tavrisk [FILE]` opens it with FILE as the input.
#include <QApplication>
#include <QFile>

#include "app/InputKinds.h"
#include "app/OutputEngines.h"
#include "app/jobs/StreamDiagnostics.h"
#include "app/model/LoudnessSetting.h"
#include "app/model/TranscoderApp.h"
#include "app/model/WavOrderSetting.h"
#include "gui/AppIcon.h"
#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavrisk");
    QApplication::setWindowIcon(tavrisk::AppIcon());
    tavrisk::TranscoderApp app;
    app.InitInstance();
    // The window shows the progress: the encoder's frame counter on the terminal is noise.
    tavrisk::AllowEncoderFrameCounter(false);
    static tavrisk::StreamDiagnostics diagnostics(stdout, stderr);
    tavrisk::SetEncoderDiagnostics(&diagnostics);
    int status = 0;
    {
        tavrisk::MainWindow window(app.iniPath);
        std::string problem;
        window.Model().SetWavOrder(tavrisk::WavOrderSetting::Read(app.iniPath, problem));
        // The window restores the loudness settings with the others; a value it cannot read
        // is named here.
        std::string loudnessProblem;
        tavrisk::LoudnessSetting::Read(app.iniPath, loudnessProblem);
        if (!loudnessProblem.empty()) problem += (problem.empty() ? "" : "\n") + loudnessProblem;
        if (!problem.empty()) {
            window.Interface().MessageBox(problem, tavrisk::TranscoderDialog::kAppName,
                                          tavrisk::MessageButtons::Ok,
                                          tavrisk::MessageIcon::Exclamation);
        }
        window.StartGraph({app.filtersPath, app.filterListPath});
        // The settings of the last run; saved again when the window closes.
        window.UseSettingsFile(app.iniPath);
        // The input frequency follows the input file's own rate.
        window.Model().SetInputRateProbe(tavrisk::ProbeNativeInputRate);
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) window.Model().OnInputChosen(QFile::encodeName(args[1]).toStdString());
        window.show();
        status = QApplication::exec();
    }
    app.ExitInstance();
    return status;
}

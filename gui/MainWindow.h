// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDesktopServices>
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/jobs/WindowJobHost.h"
#include "app/model/TranscoderDialog.h"
#include "gui/HelpFile.h"
#include "gui/QtUserInterface.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QLineEdit;
class QGridLayout;
class QHBoxLayout;
class QTimer;

namespace tavrisk {

class CurveView;
class GraphEditorView;
class GraphSession;
class QtEditorHost;

// Where the graph side keeps its files, and whether the catalogue of elements is read at
// start (it takes seconds: tests leave it out and add the entries they need).
struct GraphSetup {
    std::string filtersFolder;   // the elements' settings files; created when missing
    std::string filterListPath;  // "FilterList.txt", present while the session lives
    bool buildCatalogue = true;
};

// The main window: a view of the settings model. Every control shows the model's state
// (its object name is "ctl" + its control id) and every user action goes to the model's
// handlers; the model's change notices redraw the controls.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr const char* kAboutMenuText = "&About Tavrisk...";

    // Dynamic range presets are kept in the ini file `presetsPath` (none with an empty path).
    explicit MainWindow(std::string presetsPath = {});
    ~MainWindow() override;

    TranscoderDialog& Model() { return *model; }
    // The host of the window's jobs.
    WindowJobHost& Jobs() { return *jobs; }
    QtUserInterface& Interface() { return ui; }
    // The widget of a control id, or null.
    QWidget* Control(int controlId) const;

    // Redraws one control from the model (0: all).
    void Refresh(int controlId);

    // Starts the graph side: the pipeline of the graph editor and, under the loading dialog
    // "Gathering Filters Informations", the catalogue. False when graph processing is not
    // available: the editor then stays empty and there is no catalogue.
    bool StartGraph(const GraphSetup& setup);
    // Restores the window's settings from the settings file `path` and saves them there when
    // the window closes.
    void UseSettingsFile(std::string path);

    // The graph session while it lives (from StartGraph until the window closes), else null.
    GraphSession* Graph() { return graphSession.get(); }
    GraphEditorView& GraphView() { return *graphView; }
    // How the manual is shown (the desktop's browser unless replaced).
    void SetUrlOpener(UrlOpener opener) { urlOpener = std::move(opener); }

  public slots:
    void OnTranscode();
    // After a stop that kept the output beside an earlier file of its name: where it is.
    void TellWhereAStoppedJobKeptItsOutput(JobOutcome outcome);
    void OnExit();
    void ShowHelp();
    void ShowAbout();
    void EditChannelCurve(int column);
    void ShowBatch();
    // Every setting as at the first start, the window at its first size.
    void RestoreDefaults();
    // A priority other than "Normal", restored from the settings file, is put in force.
    void ApplyChosenPriority();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QWidget* BuildSettings();
    QWidget* BuildChannels();
    QWidget* BuildJobArea();
    // The normalise row's loudness controls: kind, target preset, target and ceiling.
    void AddLoudnessControls(QHBoxLayout* row);
    // A level in `unit` from `lowest` to `highest`, showing `shown`; edits go to `set`.
    QDoubleSpinBox* LevelBox(int controlId, double lowest, double highest, const char* unit,
                             const double& shown, std::function<void(double)> set);
    void BuildMenus();
    // Registers a control: its object name, and how it is redrawn from the model.
    template <typename W>
    W* Register(int controlId, W* widget, std::function<void()> refresh);
    QComboBox* Combo(int controlId, const ComboControl& combo, std::function<void(int)> select);
    QLineEdit* Edit(int controlId, const EditControl& edit, bool readOnly,
                    std::function<void(const std::string&)> write = {});
    QCheckBox* Check(int controlId, const char* text, const CheckControl& check,
                     std::function<void(bool)> write);
    QPushButton* Button(int controlId, const char* text, void (MainWindow::*onClick)());
    // A label, a file name edit and its browse button.
    QWidget* WithAudioTrackRow(QLineEdit* input);
    void AddFileRow(QGridLayout* grid, int row, const char* label, QWidget* edit,
                    QPushButton* browse);
    void BrowseInput();
    void BrowseOutput();
    // Controls that must not change while a job runs follow the Transcode button.
    void FollowJobState();
    // The pipeline has news: handled on the window's thread.
    void OnGraphNotify();
    // The graph job's timer.
    void OnJobTimer();
    // The graph job running under the timer has ended.
    void EndJob();
    void SetJobActive(bool active);
    // A job started by "Transcode" is past its checks and runs (the button then stops it).
    bool JobRunning() const;
    // A job ended: the result in the status line, then the window closes when "Exit" or the
    // close box stopped it.
    void JobEnded(JobOutcome outcome);
    // Saves the changed element settings and ends the graph session (with its filter list).
    void CloseGraph();

    QtUserInterface ui;
    std::unique_ptr<TranscoderDialog> model;
    // Goes before the model and the graph session: a job still running is stopped first.
    std::unique_ptr<WindowJobHost> jobs;
    std::map<int, QWidget*> controls;
    std::map<int, std::function<void()>> refreshers;
    std::vector<CurveView*> curveViews;
    std::string presetsPath;
    std::string settingsPath;
    UrlOpener urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    GraphEditorView* graphView = nullptr;
    // The editor's dialogs outlive the session whose editor uses them.
    std::unique_ptr<QtEditorHost> editorHost;
    std::unique_ptr<GraphSession> graphSession;
    QTimer* jobTimer = nullptr;
    // A Transcode press is being handled: from the press, before the model has marked its job
    // as running, until after it has ended.
    bool jobActive = false;
    // The user stopped the running job to close the window.
    bool closeAfterJob = false;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>

#include "app/InputDialogFilters.h"
#include "app/jobs/JobResult.h"
#include "app/jobs/KeptOutputs.h"
#include "app/jobs/TranscodeJob.h"
#include "app/model/GraphSession.h"
#include "app/model/WindowSettings.h"
#include "graph/DvdTitle.h"
#include "gui/AboutBox.h"
#include "gui/AppIcon.h"
#include "gui/BatchDialog.h"
#include "gui/ControlName.h"
#include "gui/CurveDialog.h"
#include "gui/CurveView.h"
#include "gui/GraphEditorView.h"
#include "gui/HelpFile.h"
#include "gui/LoadingDialog.h"
#include "gui/QtEditorHost.h"
#include "gui/QtText.h"

namespace tavrisk {

namespace {

constexpr int kColumns = TranscoderDialog::kColumns;
const char* const kColumnLabels[kColumns] = {
    "Front Left:", "Front Right:", "Center:", "LFE:", "Rear Left:", "Rear Right:"};
constexpr int kCurveViewWidth = 78;
constexpr int kCurveViewHeight = 62;
constexpr int kResyncFieldWidth = 36;
const char* const kOutputFilter = "Mpeg audio Files (*.mp2)";
constexpr const char* kGatheringFilters = "Gathering Filters Informations";
constexpr int kGraphViewMinHeight = 90;
constexpr int kPictureSize = 64;
// Rows close together, so that a 1024 x 700 screen shows the whole graph list.
constexpr int kRowSpacing = 2;
constexpr int kGroupMargin = 4;
// The first size of the window: within a 1024 x 700 screen with a title bar and a panel.
constexpr int kDefaultWidth = 980;
constexpr int kDefaultHeight = 640;
constexpr const char* kTranscodeText = "Transcode";
constexpr const char* kRestoreDefaultsText = "Restore defaults";
constexpr const char* kHelpTitle = "Help";
constexpr const char* kStopText = "Stop";

std::string FileNameOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// A file dialog opens on the name in its field, else in the folder used last.
QString DialogStart(const std::string& name, const std::string& lastFolder) {
    return QFile::decodeName((name.empty() ? lastFolder : name).c_str());
}

QLabel* Label(const char* text) {
    return new QLabel(QString::fromUtf8(text));
}

}  // namespace

MainWindow::MainWindow(std::string presetsPath)
    : model(std::make_unique<TranscoderDialog>(ui)),
      jobs(std::make_unique<WindowJobHost>(*model)),
      presetsPath(std::move(presetsPath)) {
    setWindowTitle(TranscoderDialog::kTitle);
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setSpacing(kRowSpacing);
    layout->addWidget(BuildSettings());
    layout->addWidget(BuildChannels());
    layout->addWidget(BuildJobArea(), 1);
    setCentralWidget(central);
    // The layout keeps the controls from overlapping: the window is never smaller than it.
    resize(kDefaultWidth, kDefaultHeight);
    BuildMenus();
    ui.Attach(this, [this](int id) { Refresh(id); });
    Refresh(0);
    jobTimer = new QTimer(this);
    connect(jobTimer, &QTimer::timeout, this, &MainWindow::OnJobTimer);
}

MainWindow::~MainWindow() {
    // A graph job still running is stopped before the pipeline it drives goes.
    jobs.reset();
    graphView->SetEditor(nullptr);
    model->AttachGraph(nullptr);
    graphSession.reset();
    ui.Attach(nullptr, {});
}

bool MainWindow::StartGraph(const GraphSetup& setup) {
    CloseGraph();
    std::error_code ignored;
    std::filesystem::create_directories(setup.filtersFolder, ignored);
    struct BusyScope {
        QtUserInterface& ui;
        explicit BusyScope(QtUserInterface& u) : ui(u) { ui.SetBusy(true); }
        ~BusyScope() { ui.SetBusy(false); }
    } busy(ui);

    editorHost = std::make_unique<QtEditorHost>(this, ui, *model);
    graphSession =
        std::make_unique<GraphSession>(*editorHost, setup.filtersFolder, setup.filterListPath);
    // Called on any thread; the news is read on the window's thread. The session goes before
    // the window, so no notice arrives for a window that is gone.
    auto notify = [this] {
        QMetaObject::invokeMethod(
            this, [this] { OnGraphNotify(); }, Qt::QueuedConnection);
    };
    std::string error;
    if (!graphSession->Start(notify, error)) {
        qWarning("Graph processing is not available: %s", error.c_str());
        graphSession.reset();
        return false;
    }
    if (setup.buildCatalogue) {
        GraphSession& session = *graphSession;
        LoadingDialog loading(
            kGatheringFilters,
            [&session](const LoadingDialog::Report& report) { session.BuildCatalogue(report); },
            this);
        loading.exec();
    }
    graphView->SetEditor(&graphSession->Editor());
    model->AttachGraph(graphSession.get());
    return true;
}

void MainWindow::OnGraphNotify() {
    if (!graphSession) return;
    graphSession->Graph().DrainEvents();
    // A graph job ends as soon as its pipeline has, not at the timer's next tick.
    if (jobTimer->isActive() && !jobs->OnPipelineEvent()) EndJob();
    // Formats are negotiated only once the pipeline plays: the editor shows them then.
    graphView->GraphChanged();
}

void MainWindow::CloseGraph() {
    if (!graphSession) return;
    graphSession->Editor().SaveAllFilterSettings();
    graphView->SetEditor(nullptr);
    model->AttachGraph(nullptr);
    graphSession.reset();
}

QWidget* MainWindow::Control(int controlId) const {
    const auto it = controls.find(controlId);
    return it == controls.end() ? nullptr : it->second;
}

template <typename W>
W* MainWindow::Register(int controlId, W* widget, std::function<void()> refresh) {
    widget->setObjectName(ControlName(controlId));
    controls[controlId] = widget;
    if (refresh) refreshers[controlId] = std::move(refresh);
    return widget;
}

void MainWindow::Refresh(int controlId) {
    if (controlId == 0) {
        for (auto& [id, refresh] : refreshers) refresh();
        return;
    }
    const auto it = refreshers.find(controlId);
    if (it != refreshers.end()) it->second();
}

QComboBox* MainWindow::Combo(int controlId, const ComboControl& combo,
                             std::function<void(int)> select) {
    auto* box = new QComboBox;
    for (const std::string& item : combo.items) box->addItem(ToQt(item));
    // Items that cannot be chosen are shown disabled, with the reason as their tooltip.
    auto* items = qobject_cast<QStandardItemModel*>(box->model());
    for (std::size_t i = 0; i < combo.refusals.size() && items; ++i) {
        if (combo.refusals[i].empty()) continue;
        QStandardItem* item = items->item(static_cast<int>(i));
        item->setEnabled(false);
        item->setToolTip(ToQt(combo.refusals[i]));
    }
    connect(box, &QComboBox::activated, this, std::move(select));
    return Register(controlId, box, [box, &combo] {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(combo.selected);
        box->setEnabled(combo.enabled);
    });
}

QLineEdit* MainWindow::Edit(int controlId, const EditControl& edit, bool readOnly,
                            std::function<void(const std::string&)> write) {
    auto* line = new QLineEdit;
    line->setReadOnly(readOnly);
    if (write)
        connect(line, &QLineEdit::textEdited, this,
                [write](const QString& text) { write(FileNameOf(text)); });
    return Register(controlId, line, [line, &edit] {
        const QString text = QFile::decodeName(edit.text.c_str());
        if (line->text() != text) line->setText(text);
    });
}

QCheckBox* MainWindow::Check(int controlId, const char* text, const CheckControl& check,
                             std::function<void(bool)> write) {
    auto* box = new QCheckBox(QString::fromUtf8(text));
    connect(box, &QCheckBox::toggled, this, std::move(write));
    return Register(controlId, box, [box, &check] {
        const QSignalBlocker blocker(box);
        box->setChecked(check.checked);
    });
}

QPushButton* MainWindow::Button(int controlId, const char* text, void (MainWindow::*onClick)()) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    connect(button, &QPushButton::clicked, this, onClick);
    return Register(controlId, button, {});
}

// The input's name, and under it "Audio track" with the input's tracks as the graph found
// them.
QWidget* MainWindow::WithAudioTrackRow(QLineEdit* input) {
    const ComboControl& tracks = model->Controls().audioTrack;
    auto* box = new QComboBox;
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(box, &QComboBox::activated, this, [this](int item) { model->SelectAudioTrack(item); });
    Register(ctl::kAudioTrack, box, [box, &tracks] {
        const QSignalBlocker blocker(box);
        box->clear();
        for (const std::string& item : tracks.items) box->addItem(ToQt(item));
        box->setCurrentIndex(tracks.selected);
        box->setEnabled(tracks.enabled);
    });
    auto* field = new QWidget;
    auto* rows = new QVBoxLayout(field);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(kRowSpacing);
    rows->addWidget(input);
    auto* track = new QHBoxLayout;
    track->addWidget(Label("Audio track :"));
    track->addWidget(box, 1);
    rows->addLayout(track);
    return field;
}

void MainWindow::AddFileRow(QGridLayout* grid, int row, const char* label, QWidget* edit,
                            QPushButton* browse) {
    grid->addWidget(Label(label), row, 0);
    grid->addWidget(edit, row, 1, 1, 5);
    grid->addWidget(browse, row, 6);
}

QWidget* MainWindow::BuildSettings() {
    TranscoderDialog& m = *model;
    const ControlStates& c = m.Controls();
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(kRowSpacing);
    grid->setContentsMargins(0, 0, 0, 0);

    QLineEdit* input = Edit(ctl::kInputName, c.inputName, false,
                            [&m](const std::string& text) { m.SetInputName(text); });
    // Enter or leaving the field confirms a typed name as if it were chosen in the dialog.
    connect(input, &QLineEdit::editingFinished, this, [&m] { m.OnInputTyped(); });
    AddFileRow(grid, 0, "Input Filename :", WithAudioTrackRow(input),
               Button(ctl::kInputBrowse, "...", &MainWindow::BrowseInput));
    AddFileRow(grid, 1, "Output Filename :",
               Edit(ctl::kOutputName, c.outputName, false,
                    [&m](const std::string& text) { m.SetOutputName(text); }),
               Button(ctl::kOutputBrowse, "...", &MainWindow::BrowseOutput));

    grid->addWidget(Label("Output Engine :"), 2, 0);
    grid->addWidget(
        Combo(ctl::kOutputEngine, c.outputEngine, [&m](int item) { m.SelectOutputEngine(item); }),
        2, 1);
    grid->addWidget(Label("Freq / Bitrate :"), 2, 2);
    grid->addWidget(Combo(ctl::kFreq, c.freq, [&m](int item) { m.SelectOutputFrequency(item); }), 2,
                    3);
    grid->addWidget(Combo(ctl::kBitrate, c.bitrate, [&m](int item) { m.SelectBitrate(item); }), 2,
                    4);
    auto* highQuality = Check(ctl::kHighQuality, "High quality", c.highQuality,
                              [&m](bool on) { m.SetHighQuality(on); });
    grid->addWidget(highQuality, 2, 5, 1, 2);

    grid->addWidget(Label("Processing Type:"), 3, 0);
    grid->addWidget(Combo(ctl::kProcessingType, c.processingType,
                          [&m](int item) { m.SelectProcessingType(item); }),
                    3, 1);
    grid->addWidget(Label("Input Frequency:"), 3, 2);
    grid->addWidget(Combo(ctl::kInputFrequency, c.inputFrequency,
                          [&m](int item) { m.SelectInputFrequency(item); }),
                    3, 3);
    grid->addWidget(Label("Priority:"), 3, 4);
    grid->addWidget(Combo(ctl::kPriority, c.priority,
                          [this](int item) {
                              model->SelectPriority(item);
                              TranscodeJob(*jobs).ApplyPriority();
                          }),
                    3, 5, 1, 2);

    grid->addWidget(Label("Input Audio Resync (H:M:S:MS) :"), 4, 0, 1, 2);
    auto* resync = new QHBoxLayout;
    resync->addWidget(Combo(ctl::kResyncDirection, c.resyncDirection,
                            [&m](int item) { m.SelectResyncDirection(item); }));
    for (int i = 0; i < TranscoderDialog::kResyncFieldCount; ++i) {
        const int field = TranscoderDialog::kResyncFieldIds[i];
        QLineEdit* line =
            Edit(field, c.resyncEdits[i], false,
                 [&m, field](const std::string& text) { m.SetResyncText(field, text); });
        line->setMaximumWidth(kResyncFieldWidth);
        resync->addWidget(line);
    }
    resync->addStretch();
    grid->addLayout(resync, 4, 2, 1, 5);
    // The program's picture, beside the file and format rows.
    auto* picture = Register(ctl::kPicture, new QLabel, {});
    picture->setPixmap(AppIcon().pixmap(kPictureSize, kPictureSize));
    grid->addWidget(picture, 0, 7, 4, 1, Qt::AlignTop | Qt::AlignHCenter);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* MainWindow::BuildChannels() {
    TranscoderDialog& m = *model;
    const ControlStates& c = m.Controls();
    auto* box = new QGroupBox;
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(kRowSpacing);
    for (int k = 0; k < kColumns; ++k) {
        grid->addWidget(Label(kColumnLabels[k]), 0, k);
        grid->addWidget(Combo(ctl::kRouting[k], c.routingCombos[k],
                              [&m, k](int item) { m.SelectRouting(k, item); }),
                        1, k);
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setRange(SliderControl::kMin, SliderControl::kMax);
        Register(ctl::kGainSlider[k], slider, [slider, &c, k] {
            const QSignalBlocker blocker(slider);
            slider->setValue(c.gainSliders[k].position);
        });
        // Every move (mouse, keys, wheel) goes to the model, which may move linked sliders.
        connect(slider, &QSlider::valueChanged, this, [this, k](int position) {
            model->OnSliderScroll(k, position);
            Refresh(ctl::kGainSlider[k]);
        });
        grid->addWidget(slider, 2, k);
        grid->addWidget(Edit(ctl::kGainText[k], c.gainTexts[k], true), 3, k);
        grid->addWidget(Edit(ctl::kPeakText[k], c.peakTexts[k], true), 4, k);
        auto* view = new CurveView(m.Curve(k), kCurveViewWidth, kCurveViewHeight);
        view->setCursor(Qt::PointingHandCursor);
        Register(ctl::kCurveView[k], view, [view] { view->update(); });
        connect(view, &CurveView::clicked, this, [this, k] { EditChannelCurve(k); });
        curveViews.push_back(view);
        grid->addWidget(view, 5, k, Qt::AlignHCenter);
    }
    auto* links = new QHBoxLayout;
    auto* normalize =
        Check(ctl::kNormalize, "Normalize", c.normalize, [&m](bool on) { m.SetNormalize(on); });
    links->addWidget(normalize);
    links->addWidget(Combo(ctl::kNormalizeLink, c.normalizeLink,
                           [&m](int item) { m.SelectNormalizeLink(item); }));
    AddLoudnessControls(links);
    links->addStretch();
    auto* drp = Check(ctl::kDrp, "DRP", c.drp, [&m](bool on) { m.SetDrp(on); });
    links->addWidget(drp);
    links->addWidget(Combo(ctl::kDrpLink, c.drpLink, [&m](int item) { m.SelectDrpLink(item); }));
    grid->addLayout(links, 6, 0, 1, kColumns);
    return box;
}

namespace {

// The target's and the ceiling's steps and decimals.
constexpr double kLevelStep = 0.5;
constexpr int kLevelDecimals = 1;

}  // namespace

QDoubleSpinBox* MainWindow::LevelBox(int controlId, double lowest, double highest, const char* unit,
                                     const double& shown, std::function<void(double)> set) {
    auto* box = new QDoubleSpinBox;
    box->setRange(lowest, highest);
    box->setSingleStep(kLevelStep);
    box->setDecimals(kLevelDecimals);
    box->setSuffix(QString(" ") + unit);
    connect(box, &QDoubleSpinBox::valueChanged, this, std::move(set));
    Register(controlId, box, [box, &shown] {
        const QSignalBlocker blocker(box);
        box->setValue(shown);
    });
    return box;
}

void MainWindow::AddLoudnessControls(QHBoxLayout* row) {
    TranscoderDialog& m = *model;
    const LoudnessControlStates& loudness = m.LoudnessControls();
    row->addWidget(
        Combo(ctl::kNormalizeKind, loudness.kind, [&m](int item) { m.SelectNormalizeKind(item); }));
    row->addWidget(Combo(ctl::kLoudnessPreset, loudness.preset,
                         [&m](int item) { m.SelectLoudnessPreset(item); }));
    row->addWidget(LevelBox(ctl::kLoudnessTarget, LoudnessNormalization::kLowestTargetLufs,
                            LoudnessNormalization::kHighestTargetLufs, "LUFS",
                            loudness.values.targetLufs, [this](double lufs) {
                                model->SetLoudnessTarget(lufs);
                                Refresh(ctl::kLoudnessPreset);
                            }));
    auto* ceiling =
        LevelBox(ctl::kTruePeakCeiling, LoudnessNormalization::kLowestCeilingDbtp,
                 LoudnessNormalization::kHighestCeilingDbtp, "dBTP", loudness.values.ceilingDbtp,
                 [&m](double dbtp) { m.SetTruePeakCeiling(dbtp); });
    ceiling->setToolTip("True-peak ceiling: loudness normalisation stops its gain below it");
    row->addWidget(ceiling);
}

QWidget* MainWindow::BuildJobArea() {
    const ControlStates& c = model->Controls();
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* graphBox = new QGroupBox("GStreamer Filter Graph");
    auto* graphLayout = new QVBoxLayout(graphBox);
    graphLayout->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    graphView = Register(ctl::kFilterGraph, new GraphEditorView, [this] { graphView->Redraw(); });
    // The list takes the height the window gives beyond its controls.
    graphView->setMinimumHeight(kGraphViewMinHeight);
    graphLayout->addWidget(graphView);
    layout->addWidget(graphBox, 1);

    auto* progressRow = new QHBoxLayout;
    auto* bar = new QProgressBar;
    bar->setRange(ProgressControl::kMin, ProgressControl::kMax);
    bar->setTextVisible(false);
    // Progress means the job runs: "Stop" follows it.
    Register(ctl::kProgress, bar, [this, bar, &c] {
        bar->setValue(c.progress.position);
        FollowJobState();
    });
    progressRow->addWidget(bar, 1);
    const std::pair<int, const EditControl*> texts[] = {{ctl::kPercent, &c.percentText},
                                                        {ctl::kElapsed, &c.elapsedText},
                                                        {ctl::kRemaining, &c.remainingText}};
    const char* const captions[] = {nullptr, "Elapsed Time:", "Remaining Time:"};
    for (int i = 0; i < 3; ++i) {
        if (captions[i]) progressRow->addWidget(Label(captions[i]));
        auto* label = new QLabel;
        const EditControl* text = texts[i].second;
        Register(texts[i].first, label, [label, text] { label->setText(ToQt(text->text)); });
        progressRow->addWidget(label);
    }
    layout->addLayout(progressRow);

    auto* status = new QLabel;
    status->setFrameShape(QFrame::StyledPanel);
    status->setFrameShadow(QFrame::Sunken);
    Register(ctl::kStatus, status, [status, &c] { status->setText(ToQt(c.statusText.text)); });
    layout->addWidget(status);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(ctl::kBatch, "Batch ...", &MainWindow::ShowBatch));
    buttons->addStretch();
    auto* transcode = Button(ctl::kTranscode, kTranscodeText, &MainWindow::OnTranscode);
    refreshers[ctl::kTranscode] = [this] { FollowJobState(); };
    transcode->setDefault(true);
    buttons->addWidget(transcode);
    buttons->addWidget(Button(ctl::kExit, "Exit", &MainWindow::OnExit));
    layout->addLayout(buttons);
    return box;
}

void MainWindow::BuildMenus() {
    auto* help = new QAction(tr("&Help"), this);
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, &MainWindow::ShowHelp);
    auto* about = new QAction(QString::fromUtf8(kAboutMenuText), this);
    connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
    auto* defaults = new QAction(QString::fromUtf8(kRestoreDefaultsText), this);
    connect(defaults, &QAction::triggered, this, &MainWindow::RestoreDefaults);
    QMenu* menu = menuBar()->addMenu(tr("&Help"));
    menu->addAction(help);
    menu->addAction(about);
    menu->addSeparator();
    menu->addAction(defaults);
    centralWidget()->setContextMenuPolicy(Qt::ActionsContextMenu);
    centralWidget()->addAction(help);
    centralWidget()->addAction(about);
    centralWidget()->addAction(defaults);
}

void MainWindow::FollowJobState() {
    const bool idle = model->Controls().transcodeButton.enabled && !jobActive;
    for (int id : {ctl::kInputName, ctl::kInputBrowse, ctl::kOutputName, ctl::kOutputBrowse,
                   ctl::kBatch, ctl::kProcessingType})
        controls[id]->setEnabled(idle);
    for (CurveView* view : curveViews) view->setEnabled(idle);
    graphView->setEnabled(idle);
    // While a job runs the button stops it.
    auto* transcode = static_cast<QPushButton*>(controls[ctl::kTranscode]);
    transcode->setText(QString::fromUtf8(jobActive ? kStopText : kTranscodeText));
    transcode->setEnabled(idle || JobRunning());
}

bool MainWindow::JobRunning() const {
    // Until the job has cleared the stop request it is still being checked, and once asked
    // to stop it is ending: there is nothing to stop then.
    return jobActive && !model->Controls().transcodeButton.enabled && !jobs->StopRequested();
}

void MainWindow::SetJobActive(bool active) {
    jobActive = active;
    FollowJobState();
}

void MainWindow::OnTranscode() {
    // The job pumps this window's events: a press while it runs is "Stop", and none starts a
    // job inside it.
    if (jobActive) {
        if (JobRunning()) jobs->RequestStop();
        return;
    }
    if (!model->Controls().transcodeButton.enabled) return;
    SetJobActive(true);
    const JobOutcome outcome = TranscodeJob(*jobs).OnTranscode();
    if (outcome == JobOutcome::Running) {
        // A graph job runs on under its timer.
        jobTimer->start(RunningJob::kTimerMs);
        return;
    }
    JobEnded(outcome);
}

void MainWindow::OnJobTimer() {
    if (!jobs->OnTimer()) EndJob();
}

void MainWindow::EndJob() {
    jobTimer->stop();
    graphView->GraphChanged();
    JobEnded(jobs->FinishedOutcome());
}

void MainWindow::JobEnded(JobOutcome outcome) {
    SetJobActive(false);
    const std::string result = ResultLine(jobs->LastJobResult(outcome));
    if (!result.empty()) model->ShowJobResult(result);
    TellWhereAStoppedJobKeptItsOutput(outcome);
    // "Exit" or the close box stopped the job: the window closes now that it has ended.
    if (closeAfterJob) {
        closeAfterJob = false;
        close();
    }
}

void MainWindow::TellWhereAStoppedJobKeptItsOutput(JobOutcome outcome) {
    // Under its own name, the output is where the user looks for it.
    if (outcome != JobOutcome::Stopped || !KeptBesideEarlier(jobs->JobOutputs())) return;
    jobs->MessageBox(StopReport(jobs->JobOutputs()), "Transcoding Stopped", MessageButtons::Ok,
                     MessageIcon::Information);
}

void MainWindow::UseSettingsFile(std::string path) {
    settingsPath = std::move(path);
    const WindowSettings::Size size = WindowSettings(settingsPath).Restore(*model);
    if (size.width > 0 && size.height > 0) resize(size.width, size.height);
    ApplyChosenPriority();
}

void MainWindow::ApplyChosenPriority() {
    if (model->SelectedPriority() != ProcessPriority::kNormal) TranscodeJob(*jobs).ApplyPriority();
}

void MainWindow::RestoreDefaults() {
    if (jobActive) return;
    const bool wasNormal = model->SelectedPriority() == ProcessPriority::kNormal;
    model->RestoreDefaults();
    if (!wasNormal) TranscodeJob(*jobs).ApplyPriority();
    resize(kDefaultWidth, kDefaultHeight);
}

void MainWindow::OnExit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!jobActive) {
        if (jobs->OnOK()) {
            CloseGraph();
            if (!settingsPath.empty()) {
                const QSize kept =
                    isMaximized() || isFullScreen() ? normalGeometry().size() : size();
                if (!WindowSettings(settingsPath).Save(*model, {kept.width(), kept.height()}))
                    qWarning("The settings could not be saved in %s", settingsPath.c_str());
            }
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    // While a job runs the model asks whether to stop it (it stops at its next block); the
    // window closes once the job has ended. Before the job has started, or once it is ending,
    // there is nothing to stop yet.
    if (!jobs->StopRequested()) {
        jobs->OnOK();
        closeAfterJob = jobs->StopRequested();
    }
    event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (model->Controls().transcodeButton.enabled && data->hasUrls() && !data->urls().isEmpty() &&
        data->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!model->Controls().transcodeButton.enabled || urls.isEmpty() || !urls.first().isLocalFile())
        return;
    model->OnInputChosen(FileNameOf(urls.first().toLocalFile()));
    event->acceptProposedAction();
}

void MainWindow::BrowseInput() {
    const QString start = DialogStart(model->Controls().inputName.text, model->LastInputFolder());
    const QString filter = ToQt(InputDialogFilter(model->GraphProcessing()));
    if (!model->GraphProcessing()) {
        const QString name = QFileDialog::getOpenFileName(this, QString(), start, filter);
        if (!name.isEmpty()) model->OnInputChosen(FileNameOf(name));
        return;
    }
    // Through the graph a DVD is read from its folder: opening a folder that holds a title
    // (VIDEO_TS, or the disc's folder) chooses it.
    QFileDialog dialog(this, QString(), start, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    QString chosen;
    connect(&dialog, &QFileDialog::directoryEntered, &dialog, [&](const QString& folder) {
        if (DvdTitleFiles(FileNameOf(folder)).empty()) return;
        chosen = folder;
        static_cast<QDialog&>(dialog).done(QDialog::Accepted);
    });
    if (dialog.exec() != QDialog::Accepted) return;
    if (chosen.isEmpty() && !dialog.selectedFiles().isEmpty()) chosen = dialog.selectedFiles()[0];
    if (!chosen.isEmpty()) model->OnInputChosen(FileNameOf(chosen));
}

void MainWindow::BrowseOutput() {
    // A new name can be given here too; the job itself asks before it overwrites a file.
    const QString name = QFileDialog::getSaveFileName(
        this, QString(), DialogStart(model->Controls().outputName.text, model->LastOutputFolder()),
        kOutputFilter, nullptr, QFileDialog::DontConfirmOverwrite);
    if (!name.isEmpty()) model->OnOutputChosen(FileNameOf(name));
}

void MainWindow::ShowHelp() {
    const std::string problem = OpenHelp(urlOpener);
    if (!problem.empty())
        ui.MessageBox(problem, kHelpTitle, MessageButtons::Ok, MessageIcon::Information);
}

void MainWindow::ShowAbout() {
    AboutBox about(this);
    about.exec();
}

void MainWindow::EditChannelCurve(int column) {
    if (!model->Controls().transcodeButton.enabled) return;
    CurveDialog dialog(model->Curve(column), column, ui, presetsPath, this);
    if (dialog.exec() == QDialog::Accepted) model->AcceptCurve(column, dialog.EditedCurve());
}

void MainWindow::ShowBatch() {
    if (!model->Controls().transcodeButton.enabled) return;
    BatchDialog dialog(model->Controls().batchList, this);
    if (dialog.exec() == QDialog::Accepted) model->SetBatch(dialog.Files());
}

}  // namespace tavrisk

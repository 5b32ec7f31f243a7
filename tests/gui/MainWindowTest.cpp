// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <memory>
#include <thread>

#include "gui/BatchDialog.h"
#include "gui/MainWindow.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace tavrisk;
using tavrisk::test::Choose;
using tavrisk::test::Find;
using tavrisk::test::MessageLog;
using tavrisk::test::TypeOver;

namespace {

constexpr int kRate = 48000;

// A six-channel WAV of `seconds`, tones of a different pitch on each channel.
std::string WriteInput(const tavrisk::test::TempDir& dir, double seconds) {
    const std::string path = dir.File("input.wav");
    const tavrisk::test::ToneSet tones{{440, 550, 660, 770, 880, 110}, 12000.0};
    tavrisk::test::WritePlainWav(
        path, tavrisk::test::MakeTones(tones, kRate, static_cast<std::size_t>(seconds * kRate)));
    return path;
}

QString Text(QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    return {};
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        window = std::make_unique<MainWindow>();
        log = MessageLog();
        log.Install(*window);
        window->show();
    }
    void cleanup() { window.reset(); }

    void TitleAndDefaults() {
        QCOMPARE(window->windowTitle(), QString("Tavrisk Transcoder v3.0.4"));
        QCOMPARE(Text(Control(ctl::kFreq)), QString("48000 Hz"));
        QCOMPARE(Text(Control(ctl::kBitrate)), QString("384 Kbps"));
        QCOMPARE(Text(Control(ctl::kProcessingType)), QString("GStreamer Processing"));
        QCOMPARE(Text(Control(ctl::kResyncDirection)), QString("Skip"));
        QCOMPARE(Text(Control(ctl::kPercent)), QString("0.00 %"));
        QCOMPARE(Text(Control(ctl::kElapsed)), QString("00:00:00"));
        QCOMPARE(Text(Control(ctl::kStatus)), QString(TranscoderDialog::kGraphStatus));
        QCOMPARE(Text(Control(ctl::kDrpLink)), QString("(C) (L R) (LS RS) (LFE)"));
        for (int k = 0; k < TranscoderDialog::kColumns; ++k) {
            QCOMPARE(Find<QComboBox>(*window, ctl::kRouting[k])->currentIndex(), k);
            QCOMPARE(Find<QSlider>(*window, ctl::kGainSlider[k])->value(), 100);
            QCOMPARE(Text(Control(ctl::kGainText[k])), QString("0.00 dB"));
            QVERIFY(Control(ctl::kCurveView[k]) != nullptr);
        }
        QVERIFY(Find<QCheckBox>(*window, ctl::kHighQuality)->isChecked());
        QVERIFY(Control(ctl::kFilterGraph) != nullptr);
    }

    void RoutingSwapsThroughTheCombos() {
        Choose(Find<QComboBox>(*window, ctl::kRouting[0]), 2);  // "Front Left:" <- "Center"
        QCOMPARE(Text(Control(ctl::kRouting[0])), QString("Center"));
        QCOMPARE(Text(Control(ctl::kRouting[2])), QString("Front Left"));
        QCOMPARE(window->Model().Routing()[0], 2);
        QCOMPARE(window->Model().Routing()[2], 0);
        QCOMPARE(Text(Control(ctl::kRouting[1])), QString("Front Right"));
    }

    void SliderMovesReachTheModelAndTheText() {
        auto* left = Find<QSlider>(*window, ctl::kGainSlider[0]);
        QTest::keyClick(left, Qt::Key_Left);
        QCOMPARE(window->Model().SliderPosition(0), 99);
        QCOMPARE(Text(Control(ctl::kGainText[0])), QString("-0.09 dB"));
        left->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(window->Model().SliderPosition(0), left->value());
        QTest::keyClick(left, Qt::Key_Home);
        QCOMPARE(left->value(), 0);
        QCOMPARE(window->Model().SliderPosition(0), 0);
        QCOMPARE(Text(Control(ctl::kGainText[0])), QString("muted"));
        QTest::keyClick(left, Qt::Key_Right);
        QCOMPARE(Text(Control(ctl::kGainText[0])), QString("-40.00 dB"));
    }

    void WheelMovesReachTheModel() {
        auto* slider = Find<QSlider>(*window, ctl::kGainSlider[3]);
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &wheel);
        QVERIFY(slider->value() < 100);
        QCOMPARE(window->Model().SliderPosition(3), slider->value());
        QCOMPARE(Text(Control(ctl::kGainText[3])),
                 QString::fromStdString(window->Model().Controls().gainTexts[3].text));
        QVERIFY(Text(Control(ctl::kGainText[3])) != QString("0.00 dB"));
    }

    void LinkedSlidersMoveTogether() {
        Choose(Find<QComboBox>(*window, ctl::kNormalizeLink), 1);
        auto* left = Find<QSlider>(*window, ctl::kGainSlider[0]);
        left->setValue(50);
        QCOMPARE(Find<QSlider>(*window, ctl::kGainSlider[1])->value(), 50);
        QCOMPARE(Text(Control(ctl::kGainText[1])), QString("-6.02 dB"));
        QCOMPARE(window->Model().SliderPosition(1), 50);
        QCOMPARE(Find<QSlider>(*window, ctl::kGainSlider[4])->value(), 100);
        QCOMPARE(Text(Control(ctl::kGainText[4])), QString("0.00 dB"));
    }

    // 44100 -> 48000 Hz is converted too: the input frequency chosen first stays.
    void EitherFrequencyIsChosenWithoutAMessage() {
        Choose(Find<QComboBox>(*window, ctl::kInputFrequency), 0);
        QCOMPARE(Text(Control(ctl::kInputFrequency)), QString("44100 Hz"));
        QCOMPARE(Text(Control(ctl::kFreq)), QString("48000 Hz"));
        Choose(Find<QComboBox>(*window, ctl::kFreq), 0);
        QCOMPARE(Text(Control(ctl::kFreq)), QString("44100 Hz"));
        QCOMPARE(log.entries.size(), std::size_t{0});
    }

    void OutputIsNamedForTheEngine() {
        auto* output = Find<QLineEdit>(*window, ctl::kOutputName);
        QTest::keyClicks(output, "/films/Movie.MP2");
        QCOMPARE(window->Model().Controls().outputName.text, std::string("/films/Movie.MP2"));
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), 2);
        QCOMPARE(output->text(), QString("/films/Movie.wav"));
        QVERIFY(!Control(ctl::kBitrate)->isEnabled());
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), 1);
        QCOMPARE(output->text(), QString("/films/"));
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), 0);
        QVERIFY(Control(ctl::kBitrate)->isEnabled());
    }

    void ProcessingTypeSetsTheStatusLine() {
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 1);
        QCOMPARE(Text(Control(ctl::kStatus)), QString());
        QVERIFY(!window->Model().GraphProcessing());
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 0);
        QCOMPARE(Text(Control(ctl::kStatus)), QString(TranscoderDialog::kGraphStatus));
    }

    void ResyncAndBitrateReachTheModel() {
        const std::pair<int, const char*> fields[] = {{ctl::kResyncHours, "0"},
                                                      {ctl::kResyncMinutes, "1"},
                                                      {ctl::kResyncSeconds, "2"},
                                                      {ctl::kResyncMs, "500"}};
        for (const auto& [id, text] : fields) TypeOver(Find<QLineEdit>(*window, id), text);
        Choose(Find<QComboBox>(*window, ctl::kResyncDirection), 0);
        QVERIFY(window->Model().UpdateData());
        QCOMPARE(window->Model().GetResyncMs(), 62500);
        Choose(Find<QComboBox>(*window, ctl::kResyncDirection), 1);
        QCOMPARE(window->Model().GetResyncMs(), -62500);
        Choose(Find<QComboBox>(*window, ctl::kBitrate), 7);
        QCOMPARE(window->Model().GetBitrate(), 128);
    }

    // A refused resync field ends the press with nothing written, its name in the message and
    // the focus on it; once corrected, the same press runs.
    void RefusedResyncStartsNothing() {
        tavrisk::test::TempDir dir;
        const QString output = QString::fromStdString(dir.File("out.wav"));
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 1);
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), OutputEngineItemNamed("wav"));
        window->Model().SetInputName(WriteInput(dir, 0.1));
        window->Model().SetOutputName(output.toStdString());
        auto* seconds = Find<QLineEdit>(*window, ctl::kResyncSeconds);
        TypeOver(seconds, "75");
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY(log.Has("Resync seconds: please enter an integer between 0 and 59."));
        QCOMPARE(window->focusWidget(), seconds);
        QVERIFY(!QFile::exists(output));
        TypeOver(seconds, "0");
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY(QFile::exists(output));
    }

    void TranscodeWithoutInputIsRefused() {
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY(log.Has("No input file selected"));
        QCOMPARE(QString::fromStdString(log.entries.back().title), QString("File I/O Error"));
        QVERIFY(Control(ctl::kTranscode)->isEnabled());
    }

    // Each check of the names, as typed into the window, gives its message and starts nothing.
    void TranscodeChecksTheNamesInTheWindow() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 0.2);
        const std::string existing = dir.File("old.wav");
        tavrisk::test::WriteBytes(existing, {1, 2, 3});
        auto* inputEdit = Find<QLineEdit>(*window, ctl::kInputName);
        auto* outputEdit = Find<QLineEdit>(*window, ctl::kOutputName);
        auto* transcode = Find<QPushButton>(*window, ctl::kTranscode);
        const auto press = [&](const std::string& in, const std::string& out) {
            // As typed: the edits report what the user typed.
            inputEdit->setText(QString::fromStdString(in));
            emit inputEdit->textEdited(inputEdit->text());
            outputEdit->setText(QString::fromStdString(out));
            emit outputEdit->textEdited(outputEdit->text());
            QTest::mouseClick(transcode, Qt::LeftButton);
        };
        press(input, "");
        QVERIFY(log.Has("No output file selected"));
        const std::string missing = dir.File("missing.wav");
        press(missing, dir.File("out.wav"));
        QVERIFY(log.Has("Unable to Open file '" + missing + "'"));
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), OutputEngineItemNamed("wav"));
        log.answer = MessageAnswer::Cancel;
        press(input, existing);
        QVERIFY(log.Has("Overwrite file '" + existing + "'"));
        QCOMPARE(log.entries.back().buttons, MessageButtons::OkCancel);
        QCOMPARE(tavrisk::test::ReadBytes(existing), (std::vector<uint8_t>{1, 2, 3}));
        press(input, input);
        QVERIFY(log.Has("The output '" + input + "' is the input file"));
        QVERIFY(transcode->isEnabled());
    }

    void BatchDialogSetsTheBatchAndGraphModeRunsEachEntry() {
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<BatchDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QString("Batch Processing"));
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile("/films/a.ac3"), QUrl::fromLocalFile("/films/b.ac3"),
                          QUrl::fromLocalFile("/films/a.ac3")});
            QObject* target = dialog;
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            target->event(&drop);
            dialog->findChild<QPushButton*>(ControlName(3))->click();
        });
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kBatch), Qt::LeftButton);
        QCOMPARE(window->Model().Controls().batchList,
                 (std::vector<std::string>{"/films/a.ac3", "/films/b.ac3"}));
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        // Each entry is tried on its own (they do not exist).
        QVERIFY(log.Has("Unable to Open file '/films/a.ac3'"));
        QVERIFY(log.Has("Unable to Open file '/films/b.ac3'"));
    }

    void ChangesReportedFromAnotherThreadAreQueued() {
        std::thread worker([this] { window->Jobs().SetStatusText("from a worker"); });
        worker.join();  // would never return if the worker waited for the window's thread
        // Neither the model nor the view was changed on the worker's thread.
        QCOMPARE(window->Model().Controls().statusText.text,
                 std::string(TranscoderDialog::kGraphStatus));
        QCOMPARE(Text(Control(ctl::kStatus)), QString(TranscoderDialog::kGraphStatus));
        QCoreApplication::processEvents();
        QCOMPARE(Text(Control(ctl::kStatus)), QString("from a worker"));
    }

    void BrowseButtonsChooseTheNames() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 0.1);
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 1);
        QStringList filters;
        AnswerFileDialog(QString::fromStdString(input), &filters);
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kInputBrowse), Qt::LeftButton);
        QCOMPARE(filters, QStringList({"AC3 Files (*.ac3)", "AVI Files (*.avi)",
                                       "6 Channels WAV Files with AC3 (*.wav)", "All files (*)"}));
        QCOMPARE(window->Model().Controls().inputName.text, input);
        QCOMPARE(window->Model().Controls().outputName.text, input + ".mp2");
        // The output may be a file that does not exist yet.
        AnswerFileDialog(QString::fromStdString(dir.File("New.MP2")), &filters);
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kOutputBrowse), Qt::LeftButton);
        QCOMPARE(filters, QStringList({"Mpeg audio Files (*.mp2)"}));
        QCOMPARE(window->Model().Controls().outputName.text, dir.File("New.mp2"));
        // Graph processing offers the films it decodes; an empty field opens the last folder.
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 0);
        window->Model().SetInputName("");
        QString folder;
        AnswerFileDialog(QString::fromStdString(input), &filters, &folder);
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kInputBrowse), Qt::LeftButton);
        for (const char* kind : {"VOB Files (*.vob)", "MPEG-TS Files (*.m2ts *.mts *.ts)"})
            QVERIFY2(filters.contains(kind), kind);
        QCOMPARE(filters.back(), QString("All files (*)"));
        QCOMPARE(QDir(folder), QDir(QString::fromStdString(dir.Path().string())));
    }

    void DroppedFileBecomesTheInput() {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/films/Movie.ac3")});
        // Straight to the window's event handler: the application routes drag events only
        // while a drag from the platform is on.
        QObject* target = window.get();
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        target->event(&enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        target->event(&drop);
        QCOMPARE(Text(Control(ctl::kInputName)), QString("/films/Movie.ac3"));
        QCOMPARE(Text(Control(ctl::kOutputName)), QString("/films/Movie.ac3.mp2"));
    }

    void WavJobRunsToTheEnd() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 1.5);
        PrepareNativeWavJob(input, dir.File("out.wav"));
        int pumpsSeen = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++pumpsSeen; });
        ticker.start(0);
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
        QVERIFY(pumpsSeen > 0);  // the window's events ran during the job
        QCOMPARE(Find<QProgressBar>(*window, ctl::kProgress)->value(), 100);
        QCOMPARE(Text(Control(ctl::kPercent)),
                 QString::fromStdString(window->Model().Controls().percentText.text));
        QVERIFY(Text(Control(ctl::kPercent)).startsWith("100"));
        QVERIFY(Control(ctl::kTranscode)->isEnabled());
        QVERIFY(Text(Control(ctl::kStatus))
                    .startsWith(QString::fromStdString("Done: " + dir.File("out.wav") +
                                                       " (1 s of audio in ")));
        const auto audio = tavrisk::test::ReadWav(dir.File("out.wav"));
        QCOMPARE(audio.channels, 6);
        QCOMPARE(audio.rate, kRate);
        QVERIFY(audio.Frames() >= static_cast<std::size_t>(1.5 * kRate) - 1152);
    }

    void ExitDuringAJobStopsIt() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 30.0);
        PrepareNativeWavJob(input, dir.File("out.wav"));
        bool controlsLocked = false;
        log.onQuestion = [&] {
            controlsLocked = Text(Control(ctl::kTranscode)) == "Stop";
            for (int id : {ctl::kInputName, ctl::kInputBrowse, ctl::kOutputName, ctl::kBatch,
                           ctl::kProcessingType, ctl::kCurveView[0]})
                controlsLocked = controlsLocked && !Control(id)->isEnabled();
        };
        WhenRunning([this] { Find<QPushButton>(*window, ctl::kExit)->click(); });
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY(log.Has("Sure to stop ?"));
        QVERIFY(controlsLocked);
        // The job stopped, then the window closed.
        QVERIFY(!window->isVisible());
        QVERIFY(Find<QProgressBar>(*window, ctl::kProgress)->value() < 100);
        QVERIFY(Text(Control(ctl::kStatus)).startsWith("Stopped at "));
        // What was written is a valid, shorter file.
        const auto audio = tavrisk::test::ReadWav(dir.File("out.wav"));
        QVERIFY(audio.Frames() < static_cast<std::size_t>(30 * kRate));
    }

    // While a job runs "Transcode" reads "Stop", and stops it without a question.
    void StopButtonStopsTheJob() {
        tavrisk::test::TempDir dir;
        PrepareNativeWavJob(WriteInput(dir, 30.0), dir.File("out.wav"));
        auto* transcode = Find<QPushButton>(*window, ctl::kTranscode);
        QString runningText;
        WhenRunning([&] {
            runningText = transcode->text();
            transcode->click();
        });
        QTest::mouseClick(transcode, Qt::LeftButton);
        QCOMPARE(runningText, QString("Stop"));
        QVERIFY(log.entries.empty() && window->isVisible());
        QCOMPARE(transcode->text(), QString("Transcode"));
        QVERIFY(Text(Control(ctl::kStatus)).startsWith("Stopped at "));
    }

    void SingleChannelBitratesAreShownDisabled() {
        auto* items =
            qobject_cast<QStandardItemModel*>(Find<QComboBox>(*window, ctl::kBitrate)->model());
        QString enabled;  // 32 48 56 64 80 96 ... kbit/s: only 64 and from 96 on
        for (int item = 0; item < items->rowCount(); ++item)
            enabled += items->item(item)->isEnabled() ? "1" : "0";
        QCOMPARE(enabled, QString("00010111111111"));
        QVERIFY(items->item(4)->toolTip().startsWith("80 kbit/s is a bitrate for a single"));
    }

    void AStopBesideAnEarlierFileSaysWhereTheOutputIs() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 30.0), output = dir.File("out.wav");
        tavrisk::test::WriteBytes(output, {7, 7, 7});
        PrepareNativeWavJob(input, output);
        WhenRunning([this] { Find<QPushButton>(*window, ctl::kExit)->click(); });
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY(log.Has("Stopped: the output written so far is kept as '" +
                        dir.File("out.partial.wav") + "'; the earlier '" + output +
                        "' is unchanged."));
        QVERIFY(tavrisk::test::ReadBytes(output) == std::vector<uint8_t>({7, 7, 7}));
    }

    void CancelledExitLetsTheJobFinish() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 2.0);
        PrepareNativeWavJob(input, dir.File("out.wav"));
        log.answer = MessageAnswer::Cancel;
        WhenRunning([this] { window->close(); });
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY(log.Has("Sure to stop ?"));
        QVERIFY(window->isVisible());
        QCOMPARE(Find<QProgressBar>(*window, ctl::kProgress)->value(), 100);
    }

    void PressesBeforeTheJobRunsChangeNothing() {
        tavrisk::test::TempDir dir;
        const std::string input = WriteInput(dir, 1.0);
        PrepareNativeWavJob(input, dir.File("out.wav"));
        // At the job's first event pump it has not yet marked itself as running.
        int jobs = 0;
        QTimer::singleShot(0, [&] {
            window->close();
            jobs += Control(ctl::kTranscode)->isEnabled() ? 1 : 0;
            window->OnTranscode();
        });
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        QCOMPARE(jobs, 0);
        QVERIFY(log.entries.empty());
        QVERIFY(window->isVisible());
        QCOMPARE(Find<QProgressBar>(*window, ctl::kProgress)->value(), 100);
    }

    // Settings kept in a real file from one window to the next; "Restore defaults".
    void SettingsAreKeptBetweenRuns() {
        tavrisk::test::TempDir dir;
        const std::string settings = dir.File("tavrisk.ini");
        window->UseSettingsFile(settings);
        Choose(Find<QComboBox>(*window, ctl::kBitrate), 7);
        Find<QCheckBox>(*window, ctl::kDrp)->click();
        Find<QSlider>(*window, ctl::kGainSlider[3])->setValue(30);
        window->resize(1000, 700);
        QVERIFY(window->close());

        MainWindow next;
        next.UseSettingsFile(settings);
        QCOMPARE(Text(next.Control(ctl::kBitrate)), QString("128 Kbps"));
        QVERIFY(Find<QCheckBox>(next, ctl::kDrp)->isChecked());
        QCOMPARE(next.size(), QSize(1000, 700));
        next.centralWidget()->actions().back()->trigger();  // "Restore defaults"
        QCOMPARE(Text(next.Control(ctl::kBitrate)), QString("384 Kbps"));
        QCOMPARE(Find<QSlider>(next, ctl::kGainSlider[3])->value(), 100);
    }

    // Without a browser, help tells where the manual is; the window shows its picture.
    void HelpWithoutABrowserSaysWhereTheManualIs() {
        window->SetUrlOpener([](const QUrl&) { return false; });
        window->ShowHelp();
        QCOMPARE(log.entries.size(), std::size_t{1});
        QVERIFY(
            QString::fromStdString(log.entries[0].text)
                .startsWith("No web browser could be started to show the manual. It is at:\n/"));
        QVERIFY(log.entries[0].text.ends_with("help/index.html"));
        auto* picture = Find<QLabel>(*window, ctl::kPicture);
        QVERIFY(picture && picture->isVisible() && !picture->pixmap().isNull());
    }

  private:
    QWidget* Control(int id) { return window->Control(id); }

    // Picks `path` in the next file dialog, keeping the dialog's filters.
    static void AnswerFileDialog(const QString& path, QStringList* filters,
                                 QString* folder = nullptr) {
        QTimer::singleShot(0, [path, filters, folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            *filters = dialog->nameFilters();
            if (folder) *folder = dialog->directory().absolutePath();
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }

    // Runs `action` once, at an event pump of a running job that has made progress.
    void WhenRunning(std::function<void()> action) {
        auto* poll = new QTimer(window.get());
        connect(poll, &QTimer::timeout, [this, poll, action] {
            if (window->Model().Controls().transcodeButton.enabled ||
                window->Model().Controls().progress.position < 1)
                return;
            poll->stop();
            action();
        });
        poll->start(0);
    }

    void PrepareNativeWavJob(const std::string& input, const std::string& output) {
        window->Model().OnInputChosen(input);
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 1);
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), 2);
        auto* edit = Find<QLineEdit>(*window, ctl::kOutputName);
        edit->clear();
        QTest::keyClicks(edit, QString::fromStdString(output));
        QCOMPARE(window->Model().Controls().outputName.text, output);
    }

    std::unique_ptr<MainWindow> window;
    MessageLog log;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

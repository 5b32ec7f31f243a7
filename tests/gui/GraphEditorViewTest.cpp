// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "app/model/GraphSession.h"
#include "graph/GraphRuntime.h"
#include "graph/WrapperSink.h"
#include "gui/ElementSettingsDialog.h"
#include "gui/FilterSelectionDialog.h"
#include "gui/GraphEditorView.h"
#include "gui/MainWindow.h"
#include "gui/QtEditorHost.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace tavrisk;
using tavrisk::test::MessageLog;
using tavrisk::test::TempDir;

namespace {

constexpr int kRate = 48000;
constexpr const char* kWrapperFormat = "Audio PCM WaveFormatEx 6 ch 48000 hz 16 bits";
constexpr const char* kVolumeFactory = "volume";

std::string WriteSixChannelWav(const TempDir& dir) {
    const std::string path = dir.File("input.wav");
    const tavrisk::test::ToneSet tones{{440, 550, 660, 770, 880, 110}, 12000.0};
    tavrisk::test::WritePlainWav(path, tavrisk::test::MakeTones(tones, kRate, kRate / 2));
    return path;
}

// Runs `act` on the first popup menu or modal dialog of type W that comes up while the test
// waits inside its event loop (as the user would answer it); gives up after ten seconds.
template <typename W>
void WhenShown(std::function<void(W*)> act) {
    constexpr int kPollMs = 10, kPolls = 1000;
    auto* timer = new QTimer;
    timer->setInterval(kPollMs);
    auto polls = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, polls] {
        QWidget* active = QApplication::activePopupWidget();
        if (!active) active = QApplication::activeModalWidget();
        auto* shown = qobject_cast<W*>(active);
        if (!shown && ++*polls < kPolls) return;
        timer->stop();
        timer->deleteLater();
        if (shown) act(shown);
    });
    timer->start();
}

// The texts of a menu's entries, submenus included, separators as "-".
QStringList Texts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        texts << (action->isSeparator() ? QString("-") : action->text());
        if (action->menu()) texts << Texts(*action->menu());
    }
    return texts;
}

QStringList Column(const QTreeWidget& view, int column) {
    QStringList texts;
    for (int row = 0; row < view.topLevelItemCount(); ++row)
        texts << view.topLevelItem(row)->text(column);
    return texts;
}

void RightClick(GraphEditorView& view) {
    const QPoint inside(view.viewport()->width() / 2, view.viewport()->height() / 2);
    QContextMenuEvent click(QContextMenuEvent::Mouse, inside, view.viewport()->mapToGlobal(inside));
    QApplication::sendEvent(view.viewport(), &click);
}

void SelectRow(GraphEditorView& view, int row) {
    view.setCurrentItem(view.topLevelItem(row));
    view.topLevelItem(row)->setSelected(true);
}

bool StartRuntime() {
    return InitGraphRuntime().Ok();
}

}  // namespace

class GraphEditorViewTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        if (!StartRuntime()) QSKIP("GStreamer cannot start here");
    }

    void init() {
        dir = std::make_unique<TempDir>();
        window = std::make_unique<MainWindow>();
        log = MessageLog();
        log.Install(*window);
        QVERIFY(window->StartGraph({dir->File("filters"), dir->File("FilterList.txt"), false}));
        window->show();
    }
    void cleanup() {
        window.reset();
        dir.reset();
    }

    // --- The list and its menu ---------------------------------------------------------

    // The "Audio track" combo lists the input's tracks, shows the one read (the 5.1 mix after
    // a stereo commentary) and renders the graph again with the one picked.
    void AudioTrackComboChoosesTheTrackTheGraphReads() {
        using test::Ffmpeg, test::HaveProgram, test::Quote;
        if (!HaveProgram("ffmpeg")) QSKIP("ffmpeg is needed to make the input");
        const std::string input = dir->File("commentary.mkv");
        QVERIFY(
            Ffmpeg("-f lavfi -i sine=d=1 -f lavfi -i anullsrc=cl=5.1:r=48000:d=1 -map 0:a "
                   "-map 1:a -c:a:0 aac -ac:a:0 2 -c:a:1 ac3 " +
                   Quote(input)));
        window->Model().OnInputChosen(input);
        auto* tracks = window->findChild<QComboBox*>("ctl" + QString::number(ctl::kAudioTrack));
        QVERIFY(tracks);
        QCOMPARE(tracks->count(), 2);
        QCOMPARE(tracks->currentIndex(), 1);
        QVERIFY(tracks->isEnabled());
        QVERIFY(tracks->itemText(0).startsWith("1: MPEG-4 AAC, stereo"));
        const auto status = [this] { return window->Model().Controls().statusText.text; };
        QVERIFY2(status().find("audio track 2 of 2: 5.1") != std::string::npos, status().c_str());
        tracks->activated(0);
        QCOMPARE(tracks->currentIndex(), 0);
        QVERIFY2(status().find("audio track 1 of 2: stereo") != std::string::npos,
                 status().c_str());
        // The input frequency follows the track read; the output rate stays.
        QCOMPARE(window->Model().GetInputRate(), 44100);
        QCOMPARE(window->Model().GetOutputRate(), 48000);
        QCOMPARE(window->Model().JobSettingsForJob().audioTrack, std::optional<std::size_t>(0));
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
    }

    // Opening a DVD's VIDEO_TS folder in the input dialog chooses the folder: its title is
    // rendered.
    void TheInputDialogTakesADvdFolder() {
        using test::Ffmpeg, test::HaveProgram, test::Quote;
        if (!HaveProgram("ffmpeg")) QSKIP("ffmpeg is needed to make the input");
        const std::string folder = dir->File("disc/VIDEO_TS");
        std::filesystem::create_directories(folder);
        QVERIFY(Ffmpeg("-f lavfi -i anullsrc=cl=5.1:r=48000:d=1 -c:a ac3 -f vob " +
                       Quote(folder + "/VTS_01_1.VOB")));
        QTimer::singleShot(0, [&folder] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(files);
            // As the dialog tells when the user opens the folder.
            files->setDirectory(QString::fromStdString(folder));
            emit files->directoryEntered(QString::fromStdString(folder));
            if (files->isVisible()) files->reject();
        });
        window->findChild<QPushButton*>("ctl" + QString::number(ctl::kInputBrowse))->click();
        QCOMPARE(window->Model().Controls().inputName.text, folder);
        QCOMPARE(window->Model().RenderedInput(), folder);
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
    }

    void ShowsThreeColumnsAndOnlyInsertWithoutSelection() {
        GraphEditorView& view = window->GraphView();
        QCOMPARE(view.objectName(), QString("ctl1061"));
        QCOMPARE(view.columnCount(), 3);
        QCOMPARE(view.headerItem()->text(0), QString("Filter Name"));
        QCOMPARE(view.headerItem()->text(1), QString("Input MediaFormat"));
        QCOMPARE(view.headerItem()->text(2), QString("Output MediaFormat"));
        QCOMPARE(view.topLevelItemCount(), 0);
        std::unique_ptr<QMenu> menu = view.BuildContextMenu();
        QVERIFY(menu);
        QCOMPARE(Texts(*menu), QStringList{"Insert..."});
    }

    void WithoutGraphTheListIsEmptyAndHasNoMenu() {
        MainWindow bare;
        GraphEditorView& view = bare.GraphView();
        QVERIFY(bare.Graph() == nullptr);
        QVERIFY(view.BuildContextMenu() == nullptr);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.topLevelItemCount(), 0);
    }

    void RenderedFileEndsInWrapperWithSixChannelInput() {
        RenderInput();
        if (QTest::currentTestFailed()) return;
        GraphEditorView& view = window->GraphView();
        const int last = view.topLevelItemCount() - 1;
        QVERIFY(last >= 1);
        QCOMPARE(view.topLevelItem(last)->text(0), QString(kWrapperLongName));
        // The format is negotiated when the pipeline plays; the window shows it on the
        // pipeline's news.
        QCOMPARE(view.topLevelItem(last)->text(1), QString("Not set"));
        QCOMPARE(view.topLevelItem(last)->text(2), QString());
        QVERIFY(window->Graph()->Graph().RunGraph());
        QTRY_COMPARE_WITH_TIMEOUT(view.topLevelItem(last)->text(1), QString(kWrapperFormat), 10000);
        // Every text fits its column, with room to spare.
        for (int column = 0; column < 3; ++column)
            for (const QString& text : Column(view, column))
                QVERIFY(view.columnWidth(column) >=
                        view.fontMetrics().horizontalAdvance(text + QString(10, ' ')));
    }

    void WrapperRowOffersNoOutputFile() {
        RenderInput();
        if (QTest::currentTestFailed()) return;
        GraphEditorView& view = window->GraphView();
        SelectRow(view, view.topLevelItemCount() - 1);
        std::unique_ptr<QMenu> menu = view.BuildContextMenu();
        const QStringList texts = Texts(*menu);
        QVERIFY(!texts.contains("Set Output File..."));
        QVERIFY(texts.contains("Remove"));
        QCOMPARE(texts.last(), QString("Insert..."));
    }

    void RightClickInsertsTheElementChosenInFilterSelection() {
        const CatalogueEntry* volume = window->Graph()->Catalogue().FindByClassId(kVolumeFactory);
        QVERIFY(volume);
        GraphEditorView& view = window->GraphView();
        const int rowsBefore = view.topLevelItemCount();
        WhenShown<QMenu>([](QMenu* menu) {
            menu->setActiveAction(menu->actions().last());
            QTest::keyClick(menu, Qt::Key_Return);
        });
        const std::string wanted = volume->name;
        WhenShown<FilterSelectionDialog>([wanted](FilterSelectionDialog* dialog) {
            auto* list = dialog->findChild<QListWidget*>("ctl1057");
            const QList<QListWidgetItem*> found =
                list->findItems(QString::fromStdString(wanted), Qt::MatchExactly);
            if (!found.isEmpty()) list->setCurrentItem(found.first());
            dialog->accept();
        });
        RightClick(view);
        QCOMPARE(view.topLevelItemCount(), rowsBefore + 1);
        QCOMPARE(view.topLevelItem(rowsBefore)->text(0), QString::fromStdString(wanted));
        QVERIFY(log.entries.empty());
    }

    void CancelledFilterSelectionInsertsNothing() {
        GraphEditorView& view = window->GraphView();
        WhenShown<FilterSelectionDialog>([](FilterSelectionDialog* dialog) { dialog->reject(); });
        std::unique_ptr<QMenu> menu = view.BuildContextMenu();
        view.RunMenuCommand(GraphEditor::kInsert);
        QCOMPARE(view.topLevelItemCount(), 0);
        QVERIFY(log.entries.empty());
    }

    void DeleteKeyRemovesTheSelectedRow() {
        RenderInput();
        if (QTest::currentTestFailed()) return;
        GraphEditorView& view = window->GraphView();
        const int rows = view.topLevelItemCount();
        const int elements = window->Graph()->Graph().CountFilters();
        SelectRow(view, rows - 1);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.topLevelItemCount(), rows - 1);
        QVERIFY(!Column(view, 0).contains(kWrapperLongName));
        QCOMPARE(window->Graph()->Graph().CountFilters(), elements - 1);
        // Without a selection the key does nothing.
        view.clearSelection();
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.topLevelItemCount(), rows - 1);
    }

    void PipelineNewsWaitsForAnOpenMenu() {
        RenderInput();
        if (QTest::currentTestFailed()) return;
        GraphEditorView& view = window->GraphView();
        SelectRow(view, 0);
        // A mark on the row as drawn: reading the rows again draws them anew, unmarked.
        const auto marked = [&view] {
            return view.topLevelItem(0)->data(0, Qt::UserRole).isValid();
        };
        view.topLevelItem(0)->setData(0, Qt::UserRole, true);
        bool markedDuringMenu = false;
        WhenShown<QMenu>([&view, &marked, &markedDuringMenu](QMenu* menu) {
            view.GraphChanged();
            markedDuringMenu = marked();
            menu->close();
        });
        RightClick(view);
        QVERIFY(markedDuringMenu);
        QVERIFY(!marked());
        view.topLevelItem(0)->setData(0, Qt::UserRole, true);
        view.GraphChanged();
        QVERIFY(!marked());
    }

    void GraphEditorFollowsTheJobState() {
        GraphEditorView& view = window->GraphView();
        window->Model().EnableTranscode(false);
        QVERIFY(!view.isEnabled());
        window->Model().EnableTranscode(true);
        QVERIFY(view.isEnabled());
    }

    // --- The dialogs --------------------------------------------------------------------

    void FilterSelectionListsSortedNamesAndDoubleClickChooses() {
        FilterCatalogue catalogue;
        catalogue.Add({"Zeta Filter", "zeta", ""});
        const CatalogueEntry* alpha = catalogue.Add({"Alpha Filter", "alpha", ""});
        FilterSelectionDialog dialog(catalogue);
        QCOMPARE(dialog.windowTitle(), QString("Filter Selection"));
        auto* list = dialog.findChild<QListWidget*>("ctl1057");
        QVERIFY(list);
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QString("Alpha Filter"));
        QCOMPARE(list->item(1)->text(), QString("Zeta Filter"));
        QVERIFY(dialog.Chosen() == nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect cell = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.isHidden());
        QVERIFY(dialog.Chosen() == alpha);
    }

    void SettingsDialogAppliesChangedPropertiesOnOkOnly() {
        GstElement* source = gst_element_factory_make("audiotestsrc", nullptr);
        QVERIFY(source);
        gst_object_ref_sink(source);
        {
            ElementSettingsDialog dialog(source, "source Audio test source");
            QCOMPARE(dialog.windowTitle(), QString("source Audio test source"));
            QVERIFY(dialog.findChild<QWidget*>("name") == nullptr);
            dialog.findChild<QCheckBox*>("is-live")->setChecked(true);
            auto* wave = dialog.findChild<QComboBox*>("wave");
            wave->setCurrentIndex(wave->findText("square"));
            dialog.findChild<QSlider*>("samplesperbuffer")->setValue(512);
            dialog.findChild<QLineEdit*>("freq")->setText("1234.5");
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        gboolean live = FALSE;
        gint wave = 0, samples = 0;
        gdouble freq = 0;
        g_object_get(source, "is-live", &live, "wave", &wave, "samplesperbuffer", &samples, "freq",
                     &freq, nullptr);
        QVERIFY(live);
        QCOMPARE(wave, 1);  // square
        QCOMPARE(samples, 512);
        QCOMPARE(freq, 1234.5);
        {
            ElementSettingsDialog dialog(source, "source");
            dialog.findChild<QCheckBox*>("is-live")->setChecked(false);
            dialog.reject();
        }
        g_object_get(source, "is-live", &live, nullptr);
        QVERIFY(live);
        {
            // A value the property cannot take keeps the dialog open and sets nothing.
            ElementSettingsDialog dialog(source, "source");
            dialog.findChild<QCheckBox*>("is-live")->setChecked(false);
            dialog.findChild<QLineEdit*>("freq")->setText("not a number");
            dialog.show();
            dialog.accept();
            QVERIFY(dialog.isVisible());
            dialog.reject();
        }
        g_object_get(source, "is-live", &live, "freq", &freq, nullptr);
        QVERIFY(live);
        QCOMPARE(freq, 1234.5);
        gst_object_unref(source);
    }

    void HostPicksFilesAndHandsTheInputToTheModel() {
        QtEditorHost host(window.get(), window->Interface(), window->Model());
        const std::string picked = dir->File("picked.wav");
        tavrisk::test::WriteBytes(picked, {0});
        QStringList filters;
        WhenShown<QFileDialog>([&filters, picked](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            // Typed as the user would: the dialog's own selection follows its folder listing,
            // which is read in the background.
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(picked));
            static_cast<QDialog*>(dialog)->accept();
        });
        QCOMPARE(host.ChooseFile(true).value_or(""), picked);
        QCOMPARE(filters, QStringList{"All Files (*.*)"});
        WhenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        QVERIFY(!host.ChooseFile(false).has_value());

        host.SetInputFile(picked);
        QCOMPARE(window->Model().Controls().inputName.text, picked);
        host.MessageBox("Connection failed", "", MessageButtons::Ok, MessageIcon::Information);
        QVERIFY(log.Has("Connection failed"));
    }

    // --- Start-up and end of the graph side ----------------------------------------------

    void FilterListLivesWhileTheWindowIsOpen() {
        TempDir folder;
        const std::string list = folder.File("FilterList.txt");
        MainWindow open;
        MessageLog messages;
        messages.Install(open);
        QVERIFY(open.StartGraph({folder.File("filters"), list, true}));
        QVERIFY(std::filesystem::is_directory(folder.File("filters")));
        QVERIFY(std::filesystem::exists(list));
        QVERIFY(open.Graph()->Catalogue().FindByName(kWrapperLongName) != nullptr);
        open.show();
        QVERIFY(open.close());
        QVERIFY(!std::filesystem::exists(list));
        QVERIFY(open.Graph() == nullptr);
        QCOMPARE(open.GraphView().topLevelItemCount(), 0);
    }

    // --- A graph job through the window -----------------------------------------------------

    void GraphJobRunsUnderItsTimerWithTheEditorLockedAndTwoPasses() {
        TranscoderDialog& model = window->Model();
        QVERIFY(window->Graph()->Catalogue().FindByClassId(kWrapperFactoryName));
        const std::string input = WriteSixChannelWav(*dir);
        model.SelectProcessingType(TranscoderDialog::kProcessingGraph);
        model.OnInputChosen(input);  // renders the file's graph, the wrapper last
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
        model.SelectOutputEngine(OutputEngineItemNamed("wav"));
        model.SetOutputName(dir->File("out.wav"));
        model.SetNormalize(true);
        std::vector<int> progress;
        QTimer watch;
        connect(&watch, &QTimer::timeout,
                [&] { progress.push_back(model.Controls().progress.position); });
        watch.start(5);

        QTest::mouseClick(window->findChild<QPushButton*>("ctl1000"), Qt::LeftButton);
        // The job goes on after the press returned: the editor and the input are locked.
        QVERIFY(!window->GraphView().isEnabled());
        QVERIFY(!window->Control(ctl::kInputName)->isEnabled());
        // While it runs the button reads "Stop"; "Transcode" again once it has ended.
        QCOMPARE(window->findChild<QPushButton*>("ctl1000")->text(), QString("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(model.Controls().transcodeButton.enabled, 15000);
        QCOMPARE(window->findChild<QPushButton*>("ctl1000")->text(), QString("Transcode"));
        QVERIFY(model.Controls().statusText.text.rfind("Done: " + dir->File("out.wav"), 0) == 0);
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
        QVERIFY(window->GraphView().isEnabled());
        QCOMPARE(window->Jobs().FinishedOutcome(), JobOutcome::Done);
        QVERIFY(model.Controls().percentText.text.rfind("100", 0) == 0);
        // The analysis run (0-50 %) and the output run (50-100 %) never move the bar back.
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        const auto audio = tavrisk::test::ReadWav(dir->File("out.wav"));
        QCOMPARE(audio.channels, 6);
        QVERIFY(audio.Frames() >= static_cast<std::size_t>(kRate / 2));
    }

    // A graph rewired in the editor after a job runs as before: taking a row out sends the
    // graph back to ready, and the file's decoder comes back with new pads.
    void GraphRewiredByHandRunsAsBefore() {
        TranscoderDialog& model = window->Model();
        QVERIFY(window->Graph()->Catalogue().FindByClassId(kWrapperFactoryName));
        model.SelectProcessingType(TranscoderDialog::kProcessingGraph);
        model.OnInputChosen(WriteSixChannelWav(*dir));
        model.SelectOutputEngine(OutputEngineItemNamed("wav"));
        const auto transcode = [&](const std::string& output) {
            model.SetOutputName(output);
            QTest::mouseClick(window->findChild<QPushButton*>("ctl1000"), Qt::LeftButton);
            return QTest::qWaitFor([&] { return model.Controls().transcodeButton.enabled; },
                                   15000) &&
                   window->Jobs().FinishedOutcome() == JobOutcome::Done && log.entries.empty();
        };
        QVERIFY(transcode(dir->File("before.wav")));
        // The resampler out, the converter before it straight into the capsfilter after it.
        GraphEditor& editor = window->Graph()->Editor();
        QCOMPARE(editor.Cell(3, 0), std::string("Audio resampler"));
        editor.DeleteKey(3);
        for (const MenuEntry& entry : editor.ContextMenu(2))
            for (const MenuEntry& pin : entry.submenu)
                if (pin.text.rfind("CapsFilter", 0) == 0) editor.RunCommand(pin.id);
        QVERIFY2(transcode(dir->File("after.wav")),
                 log.entries.empty() ? "" : log.entries[0].text.c_str());
        QCOMPARE(tavrisk::test::ReadWav(dir->File("after.wav")).samples,
                 tavrisk::test::ReadWav(dir->File("before.wav")).samples);
    }

    // A typed input confirmed by leaving the field or with Enter gets its graph, as one chosen
    // in the dialog does.
    void EnterInTheInputFieldRendersItsGraph() {
        QVERIFY(window->Graph()->Catalogue().FindByClassId(kWrapperFactoryName));
        const std::string input = WriteSixChannelWav(*dir);
        auto* edit = window->findChild<QLineEdit*>(ControlName(ctl::kInputName));
        // A name that leads nowhere says why it has no graph.
        tavrisk::test::TypeOver(edit, QString::fromStdString(dir->File("missing.vob")));
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &leave);
        QVERIFY(log.Has("Unable to render file:\n" + dir->File("missing.vob") +
                        "\n\nThe file cannot be read: No such file or directory."));
        QCOMPARE(window->GraphView().topLevelItemCount(), 0);
        tavrisk::test::TypeOver(edit, QString::fromStdString(input));
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(window->GraphView().topLevelItemCount() > 0);
        QCOMPARE(window->Model().RenderedInput(), input);
    }

  private:
    void RenderInput() {
        QVERIFY(window->Graph()->Catalogue().FindByClassId(kWrapperFactoryName));
        const std::string input = WriteSixChannelWav(*dir);
        QVERIFY(window->Graph()->Editor().RenderInputFile(input));
        window->Refresh(ctl::kFilterGraph);
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
    }

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<MainWindow> window;
    MessageLog log;
};

QTEST_MAIN(GraphEditorViewTest)
#include "GraphEditorViewTest.moc"

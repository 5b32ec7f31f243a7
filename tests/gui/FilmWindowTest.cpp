// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "graph/GraphRuntime.h"
#include "gui/MainWindow.h"
#include "tests/graphjob/FilmInputs.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace tavrisk;
using tavrisk::test::FilmCase;
using tavrisk::test::Find;
using tavrisk::test::MessageLog;

// Every kind of film the command line takes, opened in the window and transcoded with its
// default settings (to a WAV, to read it back): the tones where the film's layout puts them,
// the input's length kept. The inputs are made once.
class FilmWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        if (!InitGraphRuntime().Ok()) QSKIP("GStreamer cannot start here");
        if (!test::HaveProgram("ffmpeg")) QSKIP("ffmpeg is needed to make the inputs");
        films = test::FilmCatalogue();
        for (const FilmCase& film : films)
            QVERIFY2(film.make(dir.File(film.name)), film.name.c_str());
    }

    void EveryKindOfFilmIsTranscodedWithDefaultSettings_data() {
        QTest::addColumn<int>("film");
        for (std::size_t i = 0; i < films.size(); ++i)
            QTest::newRow(films[i].name.c_str()) << static_cast<int>(i);
    }
    void EveryKindOfFilmIsTranscodedWithDefaultSettings() {
        QFETCH(int, film);
        const FilmCase& c = films[static_cast<std::size_t>(film)];
        const std::string input = dir.File(c.name), output = input + ".wav";
        MainWindow window;
        MessageLog log;
        log.Install(window);
        QVERIFY(window.StartGraph({dir.File("filters"), dir.File("FilterList.txt"), true}));
        window.show();
        window.Model().OnInputChosen(input);
        test::Choose(Find<QComboBox>(window, ctl::kOutputEngine), 2);
        test::TypeOver(Find<QLineEdit>(window, ctl::kOutputName), QString::fromStdString(output));
        QTest::mouseClick(Find<QPushButton>(window, ctl::kTranscode), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.Model().Controls().statusText.text.rfind("Done", 0) == 0,
                                 20000);
        std::string said;
        for (const MessageLog::Entry& entry : log.entries) {
            QVERIFY2(entry.icon != MessageIcon::Stop, entry.text.c_str());
            said += entry.text;
        }
        // Another layout's mapping is told once.
        if (!c.told.empty()) QCOMPARE(test::Occurrences(said, c.told), 1);
        const std::string problems = c.Problems(test::ReadWav(output));
        QVERIFY2(problems.empty(), problems.c_str());
    }

  private:
    test::TempDir dir;
    std::vector<FilmCase> films;
};

QTEST_MAIN(FilmWindowTest)
#include "FilmWindowTest.moc"

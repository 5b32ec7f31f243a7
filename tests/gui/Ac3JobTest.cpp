// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "gui/MainWindow.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace tavrisk;
using tavrisk::test::Choose;
using tavrisk::test::Find;
using tavrisk::test::MessageLog;

// A real AC-3 stream transcoded through the window: native processing, WAV engine.
class Ac3JobTest : public QObject {
    Q_OBJECT

  private slots:
    void Ac3JobRunsToTheEndAndWritesSixChannels() {
        tavrisk::test::TempDir dir;
        const std::string input = dir.File("film.ac3");
        tavrisk::test::Ac3Input stream;
        stream.seconds = 2.0;
        QVERIFY2(tavrisk::test::MakeAc3(input, stream), "ffmpeg could not make the AC-3 input");
        const std::string output = dir.File("film.wav");

        MainWindow window;
        MessageLog log;
        log.Install(window);
        window.show();
        window.Model().OnInputChosen(input);
        Choose(Find<QComboBox>(window, ctl::kProcessingType), 1);
        Choose(Find<QComboBox>(window, ctl::kOutputEngine), 2);
        auto* edit = Find<QLineEdit>(window, ctl::kOutputName);
        edit->clear();
        QTest::keyClicks(edit, QString::fromStdString(output));
        QCOMPARE(window.Model().Controls().outputName.text, output);

        QTest::mouseClick(Find<QPushButton>(window, ctl::kTranscode), Qt::LeftButton);
        QVERIFY2(log.entries.empty(), log.entries.empty() ? "" : log.entries[0].text.c_str());
        QCOMPARE(Find<QProgressBar>(window, ctl::kProgress)->value(), 100);
        QVERIFY(
            QString::fromStdString(window.Model().Controls().percentText.text).startsWith("100"));
        QVERIFY(Find<QPushButton>(window, ctl::kTranscode)->isEnabled());

        const tavrisk::test::PcmAudio audio = tavrisk::test::ReadWav(output);
        QCOMPARE(audio.channels, 6);
        QCOMPARE(audio.rate, stream.rate);
        QVERIFY(audio.Frames() >= static_cast<std::size_t>((stream.seconds - 0.1) * stream.rate));
        // The tones came through: every main channel carries sound.
        for (int channel = 0; channel < 5; ++channel)
            QVERIFY2(tavrisk::test::Rms(audio.Channel(channel)) > 100.0,
                     qPrintable(QString("channel %1 is silent").arg(channel)));
    }
};

QTEST_MAIN(Ac3JobTest)
#include "Ac3JobTest.moc"

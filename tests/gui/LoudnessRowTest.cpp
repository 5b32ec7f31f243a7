// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <memory>
#include <numbers>

#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace tavrisk;
using tavrisk::test::Choose;
using tavrisk::test::Find;

namespace {

constexpr int kRate = 48000;
// The left channel's tone: a quarter of the rate at 45 degrees, its samples 3.01 dB under
// its true peak of -6 dBTP. The other channels a 500 Hz tone with samples at its peak.
constexpr double kLeftTruePeakDb = -6.0;
constexpr double kOthersPeakDb = -10.0;

std::string WriteInput(const tavrisk::test::TempDir& dir) {
    tavrisk::test::PcmAudio audio{6, kRate, {}};
    for (int i = 0; i < kRate; ++i) {
        const double left =
            std::pow(10.0, kLeftTruePeakDb / 20.0) * std::sin(std::numbers::pi * (i / 2.0 + 0.25));
        const double low = std::pow(10.0, kOthersPeakDb / 20.0) *
                           std::sin(2.0 * std::numbers::pi * 500.0 * i / kRate);
        for (double value : {left, low, low, low, low, 0.0})  // L, C, R, LS, RS, LFE
            audio.samples.push_back(static_cast<int16_t>(std::lround(32767.0 * value)));
    }
    tavrisk::test::WritePlainWav(dir.File("input.wav"), audio);
    return dir.File("input.wav");
}

double Shown(QWidget& window, int id) {
    return Find<QLineEdit>(window, id)->text().split(' ').front().toDouble();
}

}  // namespace

class LoudnessRowTest : public QObject {
    Q_OBJECT

  private slots:
    // Kind, preset, target and ceiling reach the job's settings, and the settings file keeps
    // them for the next window.
    void TheRowSetsTheJobAndIsRemembered() {
        auto window = std::make_unique<MainWindow>();
        window->show();
        tavrisk::test::TempDir dir;
        const std::string settings = dir.File("tavrisk.ini");
        window->UseSettingsFile(settings);
        auto* target = Find<QDoubleSpinBox>(*window, ctl::kLoudnessTarget);
        auto* ceiling = Find<QDoubleSpinBox>(*window, ctl::kTruePeakCeiling);
        QVERIFY(ceiling && ceiling->isVisible() && ceiling->value() == -1.0);
        Choose(Find<QComboBox>(*window, ctl::kNormalizeKind), LoudnessControlStates::kLoudnessItem);
        Choose(Find<QComboBox>(*window, ctl::kLoudnessPreset), 1);  // ATSC A/85
        QCOMPARE(target->value(), -24.0);
        target->setValue(-20.5);
        QCOMPARE(Find<QComboBox>(*window, ctl::kLoudnessPreset)->currentText(),
                 QString(LoudnessControlStates::kCustomItem));
        ceiling->setValue(-2.5);
        const LoudnessNormalization job = window->Model().JobSettingsForJob().loudness;
        QCOMPARE(job.kind, NormalizeKind::kLoudness);
        QCOMPARE(job.targetLufs, -20.5);
        QCOMPARE(job.ceilingDbtp, -2.5);
        QVERIFY(window->close());

        MainWindow next;
        next.UseSettingsFile(settings);
        QCOMPARE(Find<QComboBox>(next, ctl::kNormalizeKind)->currentIndex(),
                 int{LoudnessControlStates::kLoudnessItem});
        QCOMPARE(Find<QDoubleSpinBox>(next, ctl::kLoudnessTarget)->value(), -20.5);
        QCOMPARE(Find<QDoubleSpinBox>(next, ctl::kTruePeakCeiling)->value(), -2.5);
    }

    // When a short job ends, the peak edits show each channel's true peak and the status
    // line the job's result followed by its loudness.
    void AJobEndsWithTruePeaksAndItsLoudness() {
        auto window = std::make_unique<MainWindow>();
        tavrisk::test::MessageLog log;
        log.Install(*window);
        window->show();
        tavrisk::test::TempDir dir;
        window->Model().OnInputChosen(WriteInput(dir));
        Choose(Find<QComboBox>(*window, ctl::kProcessingType), 1);
        Choose(Find<QComboBox>(*window, ctl::kOutputEngine), 2);
        auto* output = Find<QLineEdit>(*window, ctl::kOutputName);
        output->clear();
        QTest::keyClicks(output, QString::fromStdString(dir.File("out.wav")));
        QTest::mouseClick(Find<QPushButton>(*window, ctl::kTranscode), Qt::LeftButton);
        auto* status = Find<QLabel>(*window, ctl::kStatus);
        QTRY_VERIFY_WITH_TIMEOUT(status->text().contains("Loudness "), 10000);
        QVERIFY2(status->text().startsWith("Done: "), qPrintable(status->text()));
        QVERIFY(std::fabs(Shown(*window, ctl::kPeakText[0]) - kLeftTruePeakDb) < 0.2);
        for (int column : {1, 2, 4, 5})
            QVERIFY(std::fabs(Shown(*window, ctl::kPeakText[column]) - kOthersPeakDb) < 0.1);
        QCOMPARE(Find<QLineEdit>(*window, ctl::kPeakText[3])->text(), QString("-inf dB"));
        QVERIFY(window->minimumSizeHint().width() <= 1024);  // still fits a 1024-pixel screen
    }
};

QTEST_MAIN(LoudnessRowTest)
#include "LoudnessRowTest.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/model/PresetStore.h"
#include "gui/CurveDialog.h"
#include "platform/IniFile.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

using namespace tavrisk;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// Answers the name prompt that `action` opens with `name`.
void AnswerPrompt(const QString& name, const std::function<void()>& action) {
    QTimer::singleShot(0, [name] {
        auto* prompt = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        QVERIFY(prompt);
        QCOMPARE(prompt->windowTitle(), QString("Preset Name"));
        QCOMPARE(prompt->labelText(), QString("Enter a preset name"));
        prompt->setTextValue(name);
        prompt->accept();
    });
    action();
}

QStringList Names(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

}  // namespace

class PresetsTest : public QObject {
    Q_OBJECT

  private slots:
    void ValueEncoding() {
        QCOMPARE(PresetStore::Encode(Le32(300)), std::string("2C0100002D"));
        QCOMPARE(PresetStore::Encode(Le32(2)), std::string("0200000002"));
        QVERIFY(PresetStore::Decode("2C0100002D", 4) == Le32(300));
        QVERIFY(!PresetStore::Decode("2C0100002E", 4));    // checksum
        QVERIFY(!PresetStore::Decode("2C01000000", 5));    // length
        QVERIFY(!PresetStore::Decode("2C01000G002D", 5));  // digit
    }

    void SaveLoadReplaceDelete() {
        tavrisk::test::TempDir dir;
        PresetStore store(dir.File("tavrisk.ini"));
        const std::vector<float> in = {-100, -80, -60, -20, 0}, out = {-100, -70, -40, -10, 0};
        QVERIFY(store.Save("Rock", 450, in, out));
        QVERIFY(store.Save("Jazz", 300, {-100, 0}, {-100, 0}));
        IniFile file(dir.File("tavrisk.ini"));
        QVERIFY(file.Load());
        QCOMPARE(file.Get("PRESET", "Rock").size(), std::size_t{82});
        QCOMPARE(file.Get("RELEASE", "Jazz"), std::string("2C0100002D"));
        const PresetStore::Preset rock = store.Load("rock");
        QCOMPARE(rock.releaseMs.value_or(-1), 450);
        QVERIFY(rock.inputDb == in && rock.outputDb == out);
        // Another case is the same preset; a prefix is another one.
        QVERIFY(store.Save("ROCK", 600, {-100, 0}, {-90, 0}));
        QVERIFY(store.Save("Ro", 100, {-100, 0}, {-100, 0}));
        QCOMPARE(store.List(), (std::vector<std::string>{"Rock", "Jazz", "Ro"}));
        QCOMPARE(store.Load("Rock").releaseMs.value_or(-1), 600);
        QVERIFY(store.Delete("rock"));
        QCOMPARE(store.List(), (std::vector<std::string>{"Jazz", "Ro"}));
        QVERIFY(file.Load());
        for (const char* section : {"RELEASE", "COUNT", "PRESET"}) {
            QCOMPARE(file.Get(section, "Rock"), std::string());
            QVERIFY(!file.Get(section, "Jazz").empty());
        }
        // Names the file could not give back are refused; brackets inside a name are kept.
        for (const char* name :
             {"   ", "#1", ";x", "[x", " Rock", "Rock\t", "a=b", "two\nlines", "cr\r"})
            QVERIFY2(!store.Save(name, 300, {-100, 0}, {-100, 0}), name);
        for (const char* name : {"Rock [live]", "x]", "a#b;c"})
            QVERIFY(store.Save(name, 300, {-100, 0}, {-100, 0}));
        QCOMPARE(store.List(),
                 (std::vector<std::string>{"Jazz", "Ro", "Rock [live]", "x]", "a#b;c"}));
    }

    // A save changes the preset's own lines only; other lines, comments and line ends stay.
    // Sections and keys are found in any case, and a key written twice is written once.
    void SaveKeepsEveryOtherLine() {
        tavrisk::test::TempDir dir;
        const std::string path = dir.File("tavrisk.ini");
        const std::string before =
            "; studio presets\r\n[count]\r\nRock=0300000003\r\n\r\n# keep\r\n"
            "[Other]\r\nrock=x\r\n[preset]\r\n  ROCK = 00\r\nrock=00\r\n"
            "[count]\r\nROCK=0100000001";
        tavrisk::test::WriteBytes(path, std::vector<uint8_t>(before.begin(), before.end()));
        std::ifstream reader(path);  // opened before the saves
        PresetStore store(path);
        QCOMPARE(store.List(), std::vector<std::string>{"Rock"});
        QVERIFY(store.Save("rock", 450, {-100, 0}, {-100, 0}));
        QVERIFY(store.Save("Jazz", 300, {-100, 0}, {-100, 0}));
        const std::string count = PresetStore::Encode(Le32(2)) + "\r\n";
        const std::string points =
            PresetStore::Encode({0, 0, 0xC8, 0xC2, 0, 0, 0, 0, 0, 0, 0xC8, 0xC2, 0, 0, 0, 0});
        const std::string after =
            "; studio presets\r\n[count]\r\nRock=" + count + "Jazz=" + count +
            "\r\n# keep\r\n[Other]\r\nrock=x\r\n[preset]\r\nROCK=" + points + "\r\nJazz=" + points +
            "\r\n[count]\r\n[RELEASE]\r\nrock=" + PresetStore::Encode(Le32(450)) +
            "\r\nJazz=" + PresetStore::Encode(Le32(300)) + "\r\n";
        const std::vector<uint8_t> written = tavrisk::test::ReadBytes(path);
        QCOMPARE(std::string(written.begin(), written.end()), after);
        // Renamed into place: a reader of the old file still reads it, no temporary is left.
        QCOMPARE(std::string(std::istreambuf_iterator<char>(reader), {}), before);
        QCOMPARE(std::distance(fs::directory_iterator(dir.File("")), fs::directory_iterator()), 1);
        fs::create_directory(dir.File("folder.ini"));  // no ini file: refused, not read
        QVERIFY(!PresetStore(dir.File("folder.ini")).Save("Rock", 300, {-100, 0}, {-100, 0}));
    }

    void DamagedValuesAreNotRead() {
        tavrisk::test::TempDir dir;
        PresetStore store(dir.File("tavrisk.ini"));
        QVERIFY(store.Save("Soft", 200, {-100, -50, 0}, {-100, -40, 0}));
        IniFile file(dir.File("tavrisk.ini"));
        QVERIFY(file.Load());
        file.Set("COUNT", "Soft", "0300000004");  // bad checksum
        file.Set("RELEASE", "Soft", "C800");      // short
        QVERIFY(file.Save());
        const PresetStore::Preset soft = store.Load("Soft");
        QVERIFY(!soft.releaseMs);
        QVERIFY(soft.inputDb.empty());
    }

    void DialogStoresListsLoadsAndDeletes() {
        tavrisk::test::TempDir dir;
        tavrisk::test::RecordingInterface ui;
        DrpCurve channel(78, 62);
        CurveDialog dialog(channel, 0, ui, dir.File("tavrisk.ini"));
        auto* list = dialog.findChild<QListWidget*>(ControlName(1057));
        auto* add = dialog.findChild<QPushButton*>(ControlName(1002));
        QVERIFY(list && add);
        DrpCurve& curve = dialog.EditedCurve();
        curve.EnsureDefaultCurve();
        curve.InsertPoint({150, 60});
        auto* release = dialog.findChild<QLineEdit*>(ControlName(1012));
        tavrisk::test::TypeOver(release, "800");
        AnswerPrompt("Punch", [&] { add->click(); });
        AnswerPrompt("Alpha", [&] { add->click(); });
        QCOMPARE(Names(list), QStringList({"Alpha", "Punch"}));  // sorted
        QVERIFY(ui.messages.empty());
        AnswerPrompt("#1", [&] { add->click(); });
        QCOMPARE(ui.messages.back().text, PresetStore::NameProblem("#1"));
        ui.messages.clear();

        // The same name in other letters asks first; Cancel keeps the stored one.
        ui.answer = MessageAnswer::Cancel;
        curve.ClearPoints();
        AnswerPrompt("PUNCH", [&] { add->click(); });
        QCOMPARE(ui.messages.size(), std::size_t{1});
        QCOMPARE(ui.messages[0].text, std::string("Replace Preset ?"));
        QCOMPARE(ui.messages[0].title, std::string("New Preset"));

        // Loading brings back the three points and the release time.
        tavrisk::test::TypeOver(release, "20");
        list->setCurrentRow(1);
        dialog.LoadPreset();
        QCOMPARE(curve.GetPointCount(), 3);
        QCOMPARE(curve.GetReleaseMs(), 800);
        QCOMPARE(release->text(), QString("800"));

        list->setCurrentRow(0);
        dialog.findChild<QPushButton*>(ControlName(1003))->click();
        QCOMPARE(Names(list), QStringList({"Punch"}));
        QCOMPARE(PresetStore(dir.File("tavrisk.ini")).List(), (std::vector<std::string>{"Punch"}));
    }
};

QTEST_MAIN(PresetsTest)
#include "PresetsTest.moc"

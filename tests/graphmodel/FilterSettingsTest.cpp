// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "GraphModelSupport.h"
#include "graph/FilterSettings.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

using Record = ControlValueRecord;

// An element of a factory, owned by the test.
class Element {
  public:
    explicit Element(const char* factory)
        : element(GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make(factory, nullptr)))) {}
    ~Element() { gst_object_unref(element); }
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    GstElement* get() const { return element; }

  private:
    GstElement* element;
};

class FilterSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { test::StartGraphRuntime(); }
    test::TempDir folder;
};

Record MakeRecord(const std::string& caption, int32_t type, int32_t value, int32_t id,
                  std::optional<std::string> text = std::nullopt) {
    Record record;
    record.caption = caption;
    record.type = type;
    record.value = value;
    record.controlId = id;
    record.editText = std::move(text);
    return record;
}

const Record* FindCaption(const ControlValueList& list, const std::string& caption) {
    for (const Record& record : list.Records())
        if (record.caption == caption) return &record;
    return nullptr;
}

// The record of a property, checked to be of the given type (null when missing).
const Record* ExpectRecord(const ControlValueList& list, const std::string& caption, int32_t type) {
    const Record* record = FindCaption(list, caption);
    EXPECT_NE(record, nullptr) << caption;
    if (record) {
        EXPECT_EQ(record->type, type) << caption;
    }
    return record;
}

TEST(ControlValueListOrder, CombosAndTheFirstRecordGoToTheHead) {
    ControlValueList list;
    list.Add(MakeRecord("a", Record::kEdit, -1, 1, "x"));
    list.Add(MakeRecord("b", Record::kCheck, 1, 2));
    list.Add(MakeRecord("c", Record::kCombo, 3, 3));
    list.Add(MakeRecord("d", Record::kTrackbar, 7, 4));
    list.Add(MakeRecord("e", Record::kCombo, 0, 5));
    std::vector<std::string> order;
    for (const Record& record : list.Records()) order.push_back(record.caption);
    EXPECT_EQ(order, (std::vector<std::string>{"e", "c", "a", "b", "d"}));
}

TEST_F(FilterSettingsTest, RecordLayoutOnDisk) {
    ControlValueList list;
    list.Add(MakeRecord("volume", Record::kEdit, -1, 7, "0.5"));
    list.Add(MakeRecord("mute", Record::kCheck, 1, -2));
    const std::string path = folder.File("layout.dat");
    ASSERT_TRUE(list.WriteRecords(path));
    // Edit text "0.5", caption, id 7, value -1, type 5; then no edit text, caption, id -2,
    // value 1, type 2.
    // clang-format off
    const std::vector<uint8_t> expected = {
        3, 0, 0, 0, '0', '.', '5', 6, 0, 0, 0, 'v', 'o', 'l', 'u', 'm', 'e',
        7, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 5, 0, 0, 0,
        0, 0, 0, 0, 4, 0, 0, 0, 'm', 'u', 't', 'e',
        0xfe, 0xff, 0xff, 0xff, 1, 0, 0, 0, 2, 0, 0, 0};
    // clang-format on
    EXPECT_EQ(test::ReadBytes(path), expected);
}

TEST_F(FilterSettingsTest, WriteThenReadGivesTheRecordsWithCombosReversed) {
    ControlValueList list;
    list.Add(MakeRecord("text", Record::kEdit, -1, 1, "some text"));
    list.Add(MakeRecord("first combo", Record::kCombo, 2, 2));
    list.Add(MakeRecord("check", Record::kCheck, 0, 3));
    list.Add(MakeRecord("second combo", Record::kCombo, 1, 4));
    // In the file: second combo, first combo, text, check.
    const std::string path = folder.File("cycle.dat");
    ASSERT_TRUE(list.WriteRecords(path));
    ControlValueList read;
    ASSERT_TRUE(read.ReadRecords(path));
    std::vector<Record> records(read.Records().begin(), read.Records().end());
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], MakeRecord("first combo", Record::kCombo, 2, 2));
    EXPECT_EQ(records[1], MakeRecord("second combo", Record::kCombo, 1, 4));
    EXPECT_EQ(records[2], MakeRecord("text", Record::kEdit, -1, 1, "some text"));
    EXPECT_EQ(records[3], MakeRecord("check", Record::kCheck, 0, 3));
}

TEST_F(FilterSettingsTest, EmptyFileReadsAsNoRecordsAndLoadsNothing) {
    const std::string path = folder.File("empty.dat");
    test::WriteBytes(path, {});
    ControlValueList list;
    list.Add(MakeRecord("old", Record::kCheck, 1, 1));
    EXPECT_TRUE(list.ReadRecords(path));
    EXPECT_TRUE(list.Empty());
    Element volume("volume");
    EXPECT_EQ(LoadFilterSettings(volume.get(), path).Reason(),
              "no setting of the file fits the element");
    EXPECT_EQ(LoadFilterSettings(volume.get(), folder.File("missing.dat")).Reason(),
              "the settings file cannot be opened");
    EXPECT_FALSE(list.ReadRecords(folder.File("missing.dat")));
}

TEST_F(FilterSettingsTest, DamagedEndKeepsTheCompleteRecordsBeforeIt) {
    ControlValueList list;
    list.Add(MakeRecord("one", Record::kCheck, 1, 1));
    list.Add(MakeRecord("two", Record::kTrackbar, 5, 2));
    list.Add(MakeRecord("three", Record::kEdit, -1, 3, "text"));
    const std::string path = folder.File("cut.dat");
    ASSERT_TRUE(list.WriteRecords(path));
    const std::vector<uint8_t> whole = test::ReadBytes(path);

    std::vector<uint8_t> bytes(whole.begin(), whole.end() - 3);
    test::WriteBytes(path, bytes);
    ControlValueList cut;
    EXPECT_TRUE(cut.ReadRecords(path));
    ASSERT_EQ(cut.Records().size(), 2u);
    EXPECT_EQ(cut.Records().back().caption, "two");

    // A length far beyond the file ends the reading instead of allocating it.
    bytes = whole;
    const std::size_t thirdRecord = whole.size() - (20 + 4 + 5);
    bytes[thirdRecord + 3] = 0x7f;
    test::WriteBytes(path, bytes);
    EXPECT_TRUE(cut.ReadRecords(path));
    EXPECT_EQ(cut.Records().size(), 2u);
    // So does a negative one.
    bytes[thirdRecord + 3] = 0xff;
    test::WriteBytes(path, bytes);
    EXPECT_TRUE(cut.ReadRecords(path));
    EXPECT_EQ(cut.Records().size(), 2u);
}

TEST_F(FilterSettingsTest, CaptureRecordsEachKindOfProperty) {
    Element convert("audioconvert");
    const ControlValueList converted = CaptureSettings(convert.get());
    EXPECT_NE(ExpectRecord(converted, "dithering", Record::kCombo), nullptr);

    Element volume("volume");
    g_object_set(volume.get(), "mute", TRUE, "volume", 0.25, nullptr);
    const ControlValueList captured = CaptureSettings(volume.get());
    EXPECT_EQ(FindCaption(captured, "name"), nullptr);
    EXPECT_EQ(FindCaption(captured, "parent"), nullptr);
    const Record* mute = ExpectRecord(captured, "mute", Record::kCheck);
    const Record* level = ExpectRecord(captured, "volume", Record::kEdit);
    ASSERT_TRUE(mute && level);
    EXPECT_EQ(mute->value, 1);
    EXPECT_EQ(level->value, -1);
    EXPECT_EQ(level->editText, "0.25");

    // Identifiers are places in the class's property list.
    guint count = 0;
    GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(volume.get()), &count);
    ASSERT_LT(static_cast<guint>(mute->controlId), count);
    EXPECT_STREQ(specs[mute->controlId]->name, "mute");
    g_free(specs);

    // A file's name belongs to one element, not to the kind.
    Element source("filesrc");
    EXPECT_EQ(FindCaption(CaptureSettings(source.get()), "location"), nullptr);
}

TEST_F(FilterSettingsTest, IntegersWiderThanARecordAreKeptAsText) {
    Element queue("queue");
    g_object_set(queue.get(), "max-size-time", G_GUINT64_CONSTANT(5000000000), "max-size-buffers",
                 123u, nullptr);
    const ControlValueList captured = CaptureSettings(queue.get());
    const Record* buffers = ExpectRecord(captured, "max-size-buffers", Record::kTrackbar);
    ASSERT_NE(buffers, nullptr);
    EXPECT_EQ(buffers->value, 123);
    EXPECT_NE(ExpectRecord(captured, "max-size-time", Record::kEdit), nullptr);

    Element fresh("queue");
    EXPECT_TRUE(ApplySettings(fresh.get(), captured));
    guint64 restored = 0;
    guint restoredBuffers = 0;
    g_object_get(fresh.get(), "max-size-time", &restored, "max-size-buffers", &restoredBuffers,
                 nullptr);
    EXPECT_EQ(restored, G_GUINT64_CONSTANT(5000000000));
    EXPECT_EQ(restoredBuffers, 123u);
}

TEST_F(FilterSettingsTest, SavedSettingsComeBackOnAFreshElement) {
    Element convert("audioconvert");
    g_object_set(convert.get(), "dithering", 0, nullptr);  // none; the default is triangular
    Element volume("volume");
    g_object_set(volume.get(), "mute", TRUE, "volume", 0.125, nullptr);
    const std::string convertPath = SettingsFilePath(folder.Path().string(), "Audio converter");
    const std::string volumePath = SettingsFilePath(folder.Path().string(), "Volume");
    ASSERT_TRUE(SaveFilterSettings(convert.get(), convertPath));
    ASSERT_TRUE(SaveFilterSettings(volume.get(), volumePath));

    Element freshConvert("audioconvert");
    Element freshVolume("volume");
    EXPECT_TRUE(LoadFilterSettings(freshConvert.get(), convertPath));
    EXPECT_TRUE(LoadFilterSettings(freshVolume.get(), volumePath));
    int dithering = -1;
    g_object_get(freshConvert.get(), "dithering", &dithering, nullptr);
    EXPECT_EQ(dithering, 0);
    gboolean mute = FALSE;
    double level = 0;
    g_object_get(freshVolume.get(), "mute", &mute, "volume", &level, nullptr);
    EXPECT_TRUE(mute);
    EXPECT_DOUBLE_EQ(level, 0.125);
}

TEST_F(FilterSettingsTest, RecordsThatNoLongerFitAreSkipped) {
    Element volume("volume");
    const ControlValueList captured = CaptureSettings(volume.get());
    const Record* mute = FindCaption(captured, "mute");
    ASSERT_NE(mute, nullptr);
    const int32_t muteId = mute->controlId;
    const Record* level = FindCaption(captured, "volume");
    ASSERT_NE(level, nullptr);
    const int32_t levelId = level->controlId;

    const std::vector<Record> misfits = {
        MakeRecord("mute", Record::kCheck, 1, 9999),               // no such place
        MakeRecord("mute", Record::kCheck, 1, -1),                 // negative place
        MakeRecord("other", Record::kCheck, 1, muteId),            // another property there
        MakeRecord("mute", Record::kCombo, 1, muteId),             // another kind
        MakeRecord("volume", Record::kEdit, -1, levelId, "loud"),  // text that does not parse
        MakeRecord("volume", Record::kEdit, -1, levelId),          // no text at all
        MakeRecord("volume", Record::kEdit, -1, levelId, "1000"),  // beyond the range
    };
    for (const Record& misfit : misfits) {
        ControlValueList list;
        list.Add(misfit);
        EXPECT_FALSE(ApplySettings(volume.get(), list))
            << misfit.caption << " " << misfit.controlId;
    }
    gboolean muted = TRUE;
    double value = 0;
    g_object_get(volume.get(), "mute", &muted, "volume", &value, nullptr);
    EXPECT_FALSE(muted);
    EXPECT_DOUBLE_EQ(value, 1.0);

    Element convert("audioconvert");
    const ControlValueList convertSettings = CaptureSettings(convert.get());
    const Record* dithering = FindCaption(convertSettings, "dithering");
    ASSERT_NE(dithering, nullptr);
    ControlValueList unknownChoice;
    unknownChoice.Add(MakeRecord("dithering", Record::kCombo, 77, dithering->controlId));
    EXPECT_FALSE(ApplySettings(convert.get(), unknownChoice));
}

TEST_F(FilterSettingsTest, SettingsFileNamesAreSafeAndDistinct) {
    const std::string base = folder.Path().string();
    const std::string ac3 = SettingsFilePath(base, "libav ATSC A/52A (AC-3) decoder");
    EXPECT_EQ(std::filesystem::path(ac3).parent_path(), folder.Path());
    EXPECT_EQ(std::filesystem::path(ac3).extension(), ".dat");
    EXPECT_EQ(SettingsFilePath(base, "Volume"), base + "/Volume.dat");
    EXPECT_NE(SettingsFilePath(base, "A/B"), SettingsFilePath(base, "A_B"));
    EXPECT_NE(SettingsFilePath(base, "A/B"), SettingsFilePath(base, "A%2FB"));
    EXPECT_EQ(std::filesystem::path(SettingsFilePath(base, "..")).parent_path(), folder.Path());

    Element volume("volume");
    EXPECT_TRUE(SaveFilterSettings(volume.get(), ac3));
    EXPECT_TRUE(std::filesystem::exists(ac3));
    const std::string longName = SettingsFilePath(base, std::string(400, 'x') + "/é");
    EXPECT_LE(std::filesystem::path(longName).filename().string().size(), 255u);
    EXPECT_TRUE(SaveFilterSettings(volume.get(), longName));
    // The temporary file of each save is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              2);
}

}  // namespace
}  // namespace tavrisk

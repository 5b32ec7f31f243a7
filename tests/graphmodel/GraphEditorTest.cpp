// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "GraphModelSupport.h"
#include "graph/FilterSettings.h"
#include "graph/GraphEditor.h"
#include "graph/WrapperSink.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

struct ShownMessage {
    std::string text, title;
    MessageIcon icon = MessageIcon::Information;
};

// The window's side of the editor: answers the dialogs as the test says, keeps the messages.
class FakeHost : public EditorHost {
  public:
    MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageButtons,
                             MessageIcon icon) override {
        messages.push_back({std::string(text), std::string(title), icon});
        return MessageAnswer::Ok;
    }
    const CatalogueEntry* ChooseFilter(const FilterCatalogue&) override { return chosenEntry; }
    std::optional<std::string> ChooseFile(bool mustExist) override {
        fileMustExist = mustExist;
        return chosenFile;
    }
    bool EditSettings(GstElement* element, const std::string& caption) override {
        settingsCaption = caption;
        if (editSettings) editSettings(element);
        return settingsConfirmed;
    }
    void SetInputFile(const std::string& name) override { inputFiles.push_back(name); }

    std::vector<ShownMessage> messages;
    const CatalogueEntry* chosenEntry = nullptr;
    std::optional<std::string> chosenFile;
    bool fileMustExist = false;
    std::function<void(GstElement*)> editSettings;
    bool settingsConfirmed = true;
    std::string settingsCaption;
    std::vector<std::string> inputFiles;
};

class GraphEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        catalogue = &test::BuiltCatalogue().catalogue;
        ASSERT_TRUE(graph.CreateGraph());
    }
    void TearDown() override { editor.Clear(); }

    // Inserts a new element of a factory as the last row, as "Insert..." does.
    FilterItem& Insert(const std::string& factory) {
        host.chosenEntry = catalogue->FindByClassId(factory);
        EXPECT_NE(host.chosenEntry, nullptr) << factory;
        const int before = editor.RowCount();
        editor.RunCommand(GraphEditor::kInsert);
        EXPECT_EQ(editor.RowCount(), before + 1) << factory;
        return editor.Row(editor.RowCount() - 1);
    }

    // A six-channel file made by ffmpeg in the test's folder.
    std::string MakeInput(const std::string& name, const std::string& options) {
        const std::string path = folder.File(name);
        const auto result = test::RunCommand(
            "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=0.5:sample_rate=48000 "
            "-af pan=5.1\\|c0=c0\\|c1=c0\\|c2=c0\\|c3=c0\\|c4=c0\\|c5=c0 " +
            options + " " + test::Quote(path));
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return path;
    }

    test::TempDir folder;
    FilterCatalogue* catalogue = nullptr;
    FilterGraphControl graph;
    FakeHost host;
    GraphEditor editor{graph, test::BuiltCatalogue().catalogue, host, folder.Path().string()};
};

std::vector<std::string> Texts(const std::vector<MenuEntry>& menu) {
    std::vector<std::string> texts;
    for (const MenuEntry& entry : menu) texts.push_back(entry.IsSeparator() ? "-" : entry.text);
    return texts;
}

const MenuEntry* FindEntry(const std::vector<MenuEntry>& menu, const std::string& text) {
    for (const MenuEntry& entry : menu) {
        if (entry.text == text) return &entry;
        if (const MenuEntry* inner = FindEntry(entry.submenu, text)) return inner;
    }
    return nullptr;
}

void CollectIds(const std::vector<MenuEntry>& menu, std::vector<int>& ids) {
    for (const MenuEntry& entry : menu) {
        if (entry.id) ids.push_back(entry.id);
        CollectIds(entry.submenu, ids);
    }
}

TEST_F(GraphEditorTest, RenderedFileEndsInTheWrapperFedByTheRowBeforeIt) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed";
    for (const std::string& input :
         {MakeInput("tone.wav", "-c:a pcm_s16le"), MakeInput("tone.ac3", "-c:a ac3 -b:a 384k")}) {
        SCOPED_TRACE(input);
        host.messages.clear();
        ASSERT_TRUE(editor.RenderInputFile(input));
        EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
        const int count = editor.RowCount();
        ASSERT_GE(count, 3);
        EXPECT_EQ(editor.Cell(0, 0), "File Source");
        EXPECT_EQ(editor.Cell(0, 1), "");  // a source has no input
        FilterItem& wrapper = editor.Row(count - 1);
        EXPECT_EQ(editor.WrapperRow(), &wrapper);
        EXPECT_EQ(editor.Cell(count - 1, 0), kWrapperLongName);
        EXPECT_EQ(editor.Cell(count - 1, 2), "");
        ASSERT_EQ(wrapper.inputPins.size(), 1u);
        // The stream's format reached the converters (before the queue that feeds the wrapper)
        // while the graph prerolled.
        EXPECT_EQ(editor.Cell(count - 2, 0), "Queue");
        EXPECT_EQ(editor.Cell(count - 3, 1).rfind("Audio PCM", 0), 0u) << editor.Cell(count - 3, 1);
        const FilterItem& feeding = editor.Row(count - 2);
        ASSERT_FALSE(feeding.outputPins.empty());
        EXPECT_EQ(gst_pad_get_peer(wrapper.inputPins[0].pin), feeding.outputPins[0].pin);
        gst_object_unref(feeding.outputPins[0].pin);  // the peer's reference
        EXPECT_EQ(wrapper.inputPins[0].name,
                  wrapper.name + " " + GST_OBJECT_NAME(wrapper.inputPins[0].pin));
        gchar* location = nullptr;
        g_object_get(wrapper.element, "location", &location, nullptr);
        EXPECT_STREQ(location, "output.pcm");
        g_free(location);
        // The old renderer is gone from the pipeline.
        EXPECT_EQ(graph.CountFilters(), count);
    }
}

TEST_F(GraphEditorTest, RowsOfARenderedGraphCanBeEdited) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed";
    ASSERT_TRUE(editor.RenderInputFile(MakeInput("tone.wav", "-c:a pcm_s16le")));
    const int count = editor.RowCount();

    // The source's file is open: its name changes all the same.
    host.chosenFile = folder.File("other.wav");
    editor.ContextMenu(0);
    editor.RunCommand(GraphEditor::kSetInputFile);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.inputFiles, std::vector<std::string>{*host.chosenFile});

    // A row between the source and the prerolled wrapper.
    ASSERT_TRUE(editor.RenderInputFile(MakeInput("tone.wav", "-c:a pcm_s16le")));
    editor.ContextMenu(1);
    editor.RunCommand(GraphEditor::kRemove);
    EXPECT_EQ(editor.RowCount(), count - 1);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(GraphEditorTest, FileThatCannotBeRenderedIsReported) {
    const std::string path = folder.File("notes.txt");
    test::WriteBytes(path, {'n', 'o', ' ', 's', 'o', 'u', 'n', 'd'});
    EXPECT_FALSE(editor.RenderInputFile(path));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Cannot transcode '" + path + "': it is not a media file GStreamer recognises.");
    EXPECT_EQ(host.messages[0].title, "Auto Connect Error");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(editor.WrapperRow(), nullptr);
}

TEST_F(GraphEditorTest, ContextMenuOfRenderedRows) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed";
    ASSERT_TRUE(editor.RenderInputFile(MakeInput("tone.wav", "-c:a pcm_s16le")));
    const int last = editor.RowCount() - 1;

    EXPECT_EQ(Texts(editor.ContextMenu(-1)), std::vector<std::string>{"Insert..."});
    EXPECT_EQ(Texts(editor.ContextMenu(last + 1)), std::vector<std::string>{"Insert..."});

    // The wrapper: no output pins, so no separator; no output file though it has a location.
    const FilterItem& wrapper = editor.Row(last);
    const auto wrapperMenu = editor.ContextMenu(last);
    EXPECT_EQ(Texts(wrapperMenu),
              (std::vector<std::string>{"Disconnect " + wrapper.inputPins[0].name, "Settings...",
                                        "Remove", "Insert..."}));
    EXPECT_EQ(wrapperMenu[0].id, GraphEditor::kDisconnectInput);

    // The row feeding it: its connected output and input, a separator, settings.
    const FilterItem& feeding = editor.Row(last - 1);
    const auto feedingMenu = editor.ContextMenu(last - 1);
    EXPECT_EQ(feedingMenu[0].text, "Disconnect " + feeding.outputPins[0].name);
    EXPECT_EQ(feedingMenu[0].id, GraphEditor::kDisconnectOutput);
    EXPECT_EQ(feedingMenu[1].id, GraphEditor::kDisconnectInput);
    EXPECT_TRUE(feedingMenu[2].IsSeparator());

    // The file source offers its input file.
    EXPECT_NE(FindEntry(editor.ContextMenu(0), "Set Input File..."), nullptr);

    // An element inserted unconnected offers every other row's inputs; connected ones greyed.
    FilterItem& convert = Insert("audioconvert");
    const auto convertMenu = editor.ContextMenu(editor.RowCount() - 1);
    const MenuEntry* connect =
        FindEntry(convertMenu, "Connect " + convert.outputPins[0].name + " to ...");
    ASSERT_NE(connect, nullptr);
    const MenuEntry* toWrapper = FindEntry(
        connect->submenu, std::string(kWrapperLongName) + " " + wrapper.inputPins[0].name);
    ASSERT_NE(toWrapper, nullptr);
    EXPECT_TRUE(toWrapper->greyed);
    EXPECT_GE(toWrapper->id, GraphEditor::kConnectFirst);
    host.messages.clear();
    editor.RunCommand(toWrapper->id);  // cannot be chosen
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(gst_pad_is_linked(editor.Row(editor.RowCount() - 1).outputPins[0].pin));
}

TEST_F(GraphEditorTest, InsertConnectDisconnectAndRemove) {
    FilterItem& convert = Insert("audioconvert");
    FilterItem& volume = Insert("volume");
    EXPECT_EQ(editor.Cell(1, 0), "Volume");
    EXPECT_EQ(editor.Cell(1, 1), "Not set");

    auto menu = editor.ContextMenu(0);
    const MenuEntry* connect = FindEntry(menu, "Volume " + volume.inputPins[0].name);
    ASSERT_NE(connect, nullptr);
    EXPECT_FALSE(connect->greyed);
    editor.RunCommand(connect->id);
    EXPECT_TRUE(gst_pad_is_linked(convert.outputPins[0].pin));

    // Disconnecting from the other end unlinks both.
    menu = editor.ContextMenu(1);
    const MenuEntry* disconnect = FindEntry(menu, "Disconnect " + volume.inputPins[0].name);
    ASSERT_NE(disconnect, nullptr);
    EXPECT_EQ(disconnect->id, GraphEditor::kDisconnectInput);
    editor.RunCommand(GraphEditor::kDisconnectInput);
    EXPECT_FALSE(gst_pad_is_linked(convert.outputPins[0].pin));
    EXPECT_FALSE(gst_pad_is_linked(volume.inputPins[0].pin));
    EXPECT_TRUE(host.messages.empty());

    // A failed connection: incompatible pads.
    FilterItem& video = Insert("videoconvert");
    menu = editor.ContextMenu(2);
    connect = FindEntry(menu, "Volume " + volume.inputPins[0].name);
    ASSERT_NE(connect, nullptr);
    editor.RunCommand(connect->id);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Connection failed");
    EXPECT_EQ(host.messages[0].title, "");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::None);
    EXPECT_FALSE(gst_pad_is_linked(video.outputPins[0].pin));

    editor.ContextMenu(0);
    editor.RunCommand(GraphEditor::kRemove);
    EXPECT_EQ(editor.RowCount(), 2);
    EXPECT_EQ(editor.Cell(0, 0), "Volume");
    editor.DeleteKey(0);
    EXPECT_EQ(editor.RowCount(), 1);
    EXPECT_EQ(graph.CountFilters(), 1);
    // The menu's row is gone: its commands do nothing.
    editor.RunCommand(GraphEditor::kRemove);
    EXPECT_EQ(editor.RowCount(), 1);
}

TEST_F(GraphEditorTest, FailuresToInsertAndRemoveAreReported) {
    const CatalogueEntry* missing = catalogue->Add({"Missing Element", "nosuchfactory", ""});
    host.chosenEntry = missing;
    editor.RunCommand(GraphEditor::kInsert);
    EXPECT_EQ(editor.RowCount(), 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Missing Element");
    EXPECT_EQ(host.messages[0].title, "Unable to insert filter");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::None);

    host.chosenEntry = nullptr;  // nothing chosen
    editor.RunCommand(GraphEditor::kInsert);
    EXPECT_EQ(editor.RowCount(), 0);

    // An element that left the pipeline behind the editor's back cannot be removed.
    FilterItem& volume = Insert("volume");
    gst_bin_remove(GST_BIN(graph.Pipeline()), volume.element);
    host.messages.clear();
    editor.ContextMenu(0);
    editor.RunCommand(GraphEditor::kRemove);
    EXPECT_EQ(editor.RowCount(), 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Unable to remove filter");
    EXPECT_EQ(host.messages[0].title, volume.name);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::None);
}

TEST_F(GraphEditorTest, SettingsMadeInTheDialogComeBackWithTheNextElement) {
    FilterItem& first = Insert("volume");
    host.settingsConfirmed = false;
    editor.ContextMenu(0);
    editor.RunCommand(GraphEditor::kSettings);
    EXPECT_FALSE(first.settingsChanged);
    EXPECT_EQ(host.settingsCaption, first.name + " Volume");

    host.settingsConfirmed = true;
    host.editSettings = [](GstElement* element) {
        g_object_set(element, "volume", 0.375, "mute", TRUE, nullptr);
    };
    editor.RunCommand(GraphEditor::kSettings);
    EXPECT_TRUE(first.settingsChanged);
    editor.SaveAllFilterSettings();
    EXPECT_FALSE(first.settingsChanged);
    EXPECT_TRUE(std::filesystem::exists(SettingsFilePath(folder.Path().string(), "Volume")));

    FilterItem& second = Insert("volume");
    double level = 0;
    gboolean mute = FALSE;
    g_object_get(second.element, "volume", &level, "mute", &mute, nullptr);
    EXPECT_DOUBLE_EQ(level, 0.375);
    EXPECT_TRUE(mute);
}

TEST_F(GraphEditorTest, FileNamesOfSourcesAndSinks) {
    FilterItem& source = Insert("filesrc");
    FilterItem& sink = Insert("filesink");
    auto menu = editor.ContextMenu(0);
    EXPECT_NE(FindEntry(menu, "Set Input File..."), nullptr);
    EXPECT_EQ(FindEntry(menu, "Set Output File..."), nullptr);
    host.chosenFile = folder.File("input.ac3");
    editor.RunCommand(GraphEditor::kSetInputFile);
    EXPECT_TRUE(host.fileMustExist);
    EXPECT_EQ(host.inputFiles, std::vector<std::string>{*host.chosenFile});
    gchar* location = nullptr;
    g_object_get(source.element, "location", &location, nullptr);
    EXPECT_EQ(location, *host.chosenFile);
    g_free(location);

    menu = editor.ContextMenu(1);
    EXPECT_NE(FindEntry(menu, "Set Output File..."), nullptr);
    EXPECT_EQ(FindEntry(menu, "Set Input File..."), nullptr);
    EXPECT_FALSE(menu[0].IsSeparator());  // a sink has no output pins
    host.chosenFile = folder.File("out.pcm");
    editor.RunCommand(GraphEditor::kSetOutputFile);
    EXPECT_FALSE(host.fileMustExist);
    g_object_get(sink.element, "location", &location, nullptr);
    EXPECT_EQ(location, *host.chosenFile);
    g_free(location);
    EXPECT_TRUE(host.messages.empty());

    // The wrapper's name is not for the user to choose.
    Insert(kWrapperFactoryName);
    EXPECT_EQ(FindEntry(editor.ContextMenu(2), "Set Output File..."), nullptr);
}

TEST_F(GraphEditorTest, ElementWithManyOutputsGetsOneNumberPerEntry) {
    constexpr int kOutputs = 12;
    FilterItem& tee = Insert("tee");
    std::vector<GstPad*> requested;
    for (int i = 0; i < kOutputs; ++i) {
        GstPad* pad = gst_element_request_pad_simple(tee.element, "src_%u");
        ASSERT_NE(pad, nullptr);
        requested.push_back(pad);
        const FilterItem& queue = Insert("queue");
        ASSERT_TRUE(graph.ConnectPins(pad, queue.inputPins[0].pin));
    }
    editor.Refresh();
    const auto menu = editor.ContextMenu(0);
    std::vector<int> ids;
    CollectIds(menu, ids);
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), ids.size());
    ASSERT_EQ(tee.outputPins.size(), static_cast<std::size_t>(kOutputs));
    EXPECT_EQ(menu[9].id, GraphEditor::kDisconnectOutput + 9);

    // The last output's entry disconnects that output and nothing else.
    const MenuEntry* last = FindEntry(menu, "Disconnect " + tee.outputPins[kOutputs - 1].name);
    ASSERT_NE(last, nullptr);
    editor.RunCommand(last->id);
    EXPECT_FALSE(gst_pad_is_linked(requested[kOutputs - 1]));
    for (int i = 0; i < kOutputs - 1; ++i) EXPECT_TRUE(gst_pad_is_linked(requested[i])) << i;
    for (GstPad* pad : requested) gst_object_unref(pad);
}

}  // namespace
}  // namespace tavrisk

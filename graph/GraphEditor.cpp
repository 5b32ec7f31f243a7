// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/GraphEditor.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <map>

#include "graph/FilterSettings.h"
#include "graph/MediaTypeNames.h"
#include "graph/WrapperSink.h"

namespace tavrisk {

namespace {

constexpr const char* kLocationProperty = "location";
constexpr const char* kRendererOutput = "output.pcm";
constexpr int kOutputDisconnectSlots =
    GraphEditor::kDisconnectInput - GraphEditor::kDisconnectOutput;
constexpr int kInputDisconnectSlots = GraphEditor::kConnectFirst - GraphEditor::kDisconnectInput;

std::string ObjectName(GstObject* object) {
    gchar* name = gst_object_get_name(object);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

bool HasWritableString(GstElement* element, const char* property) {
    GParamSpec* pspec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), property);
    return pspec && G_PARAM_SPEC_VALUE_TYPE(pspec) == G_TYPE_STRING &&
           (pspec->flags & G_PARAM_WRITABLE) && !(pspec->flags & G_PARAM_CONSTRUCT_ONLY);
}

// Sets the file name of a source or sink; false when the element did not take it (an open
// file's name cannot change).
bool SetLocation(GstElement* element, const std::string& name) {
    g_object_set(element, kLocationProperty, name.c_str(), nullptr);
    gchar* now = nullptr;
    g_object_get(element, kLocationProperty, &now, nullptr);
    const bool taken = now && name == now;
    g_free(now);
    return taken;
}

std::string DescribePad(GstPad* pad) {
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) return PinItem().mediaDescription;
    std::string text = DescribeCaps(caps);
    gst_caps_unref(caps);
    return text;
}

void ReleasePins(std::vector<PinItem>& pins) {
    for (PinItem& pin : pins) gst_object_unref(pin.pin);
    pins.clear();
}

// The element's pads of one direction, in the element's order, named "%s %s".
void ReadPins(GstElement* element, const std::string& elementName, GstPadDirection direction,
              std::vector<PinItem>& pins) {
    ReleasePins(pins);
    GST_OBJECT_LOCK(element);
    for (GList* node = direction == GST_PAD_SRC ? element->srcpads : element->sinkpads; node;
         node = node->next) {
        auto* pad = GST_PAD(node->data);
        PinItem pin;
        pin.name = elementName + " " + GST_OBJECT_NAME(pad);
        pin.pin = GST_PAD(gst_object_ref(pad));
        pins.push_back(std::move(pin));
    }
    GST_OBJECT_UNLOCK(element);
    // Outside the element's lock: reading caps takes the pads' locks.
    for (PinItem& pin : pins) pin.mediaDescription = DescribePad(pin.pin);
}

void RefreshItem(FilterItem& item) {
    item.name = ObjectName(GST_OBJECT(item.element));
    ReadPins(item.element, item.name, GST_PAD_SINK, item.inputPins);
    ReadPins(item.element, item.name, GST_PAD_SRC, item.outputPins);
}

// What a file whose graph could not be built is, where that is known; else the reason
// GStreamer gave.
std::string RenderFailureText(const std::string& name, const GraphOutcome& outcome) {
    switch (outcome.Problem()) {
        case BuildProblem::kNoSuchTrack:
            return "Cannot transcode '" + name + "': " + outcome.Reason() + ".";
        case BuildProblem::kNotMedia:
            return "Cannot transcode '" + name + "': it is not a media file GStreamer recognises.";
        case BuildProblem::kNoAudioStream:
            return "Cannot transcode '" + name + "': it has no audio stream.";
        case BuildProblem::kNone:
        case BuildProblem::kOther:
            break;
    }
    std::string reason = outcome.Reason();
    if (reason.empty())
        return "Unable to render file:\n" + name + "\n\nPerhaps, some filters missing...";
    reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
    return "Unable to render file:\n" + name + "\n\n" + reason + ".";
}

}  // namespace

FilterItem::~FilterItem() {
    ReleasePins(outputPins);
    ReleasePins(inputPins);
    if (element) gst_object_unref(element);
}

bool FilterItem::IsFileSource() const {
    return element && GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SOURCE) &&
           HasWritableString(element, kLocationProperty);
}

bool FilterItem::IsFileSink() const {
    return element && GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SINK) &&
           HasWritableString(element, kLocationProperty);
}

bool FilterItem::HasSettings() const {
    if (!element) return false;
    guint count = 0;
    GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
    bool any = false;
    for (guint i = 0; i < count && !any; ++i) {
        const GParamSpec* pspec = specs[i];
        any = (pspec->flags & G_PARAM_WRITABLE) && std::strcmp(pspec->name, "name") != 0 &&
              std::strcmp(pspec->name, "parent") != 0;
    }
    g_free(specs);
    return any;
}

struct GraphEditor::Impl {
    // One counted reference to a pad.
    class PadRef {
      public:
        explicit PadRef(GstPad* pad) : pad(GST_PAD(gst_object_ref(pad))) {}
        ~PadRef() { gst_object_unref(pad); }
        PadRef(const PadRef& other) : PadRef(other.pad) {}
        PadRef& operator=(const PadRef&) = delete;
        GstPad* get() const { return pad; }

      private:
        GstPad* pad;
    };

    // What one entry of the last menu does.
    struct Action {
        enum Kind { kDisconnect, kConnect } kind;
        PadRef pad;
        std::optional<PadRef> input;  // the input pad of a connect entry
        bool greyed = false;          // an input that is connected already
    };

    FilterGraphControl& graph;
    FilterCatalogue& catalogue;
    EditorHost& host;
    std::string filtersFolder;
    std::vector<std::unique_ptr<FilterItem>> rows;
    const FilterItem* menuItem = nullptr;  // the row the last menu was built for
    std::map<int, Action> menuActions;

    Impl(FilterGraphControl& graph, FilterCatalogue& catalogue, EditorHost& host,
         std::string filtersFolder)
        : graph(graph), catalogue(catalogue), host(host), filtersFolder(std::move(filtersFolder)) {}

    // A row's item for an element; takes a reference of its own and applies the kind's saved
    // settings.
    std::unique_ptr<FilterItem> MakeItem(const CatalogueEntry& entry, GstElement* element) {
        auto item = std::make_unique<FilterItem>();
        item->entry = &entry;
        item->element = GST_ELEMENT(gst_object_ref_sink(element));
        RefreshItem(*item);
        LoadFilterSettings(item->element, SettingsFilePath(filtersFolder, entry.name));
        return item;
    }

    // A stopped graph waits paused with its files open and its sinks prerolled, their
    // streaming threads held: a file's name cannot change then, and taking an element out
    // upstream of such a sink would wait for them forever. The graph goes back to ready first
    // (the next run starts it from there).
    void LeavePreroll() { graph.LeavePreroll(); }

    int IndexOf(const FilterItem* item) const {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].get() == item) return static_cast<int>(i);
        return -1;
    }

    void ForgetMenu() {
        menuItem = nullptr;
        menuActions.clear();
    }

    // Removes a row's element from the pipeline and then the row; false (after the message)
    // when the pipeline refuses.
    bool RemoveRow(int row) {
        FilterItem& item = *rows[row];
        if (!GST_OBJECT_FLAG_IS_SET(item.element, GST_ELEMENT_FLAG_SINK)) LeavePreroll();
        if (!graph.RemoveGraphFilter(item.element)) {
            host.MessageBox("Unable to remove filter", item.name, MessageButtons::Ok,
                            MessageIcon::None);
            return false;
        }
        if (menuItem == &item) ForgetMenu();
        rows.erase(rows.begin() + row);
        return true;
    }

    // Adds a new element of the entry to the pipeline as the last row; null after the
    // "Unable to insert filter" message.
    FilterItem* InsertEntry(const CatalogueEntry& entry,
                            const std::function<void(GstElement*)>& prepare = {}) {
        GstElement* element = catalogue.CreateInstance(entry);
        if (!element) {
            host.MessageBox(entry.name, "Unable to insert filter", MessageButtons::Ok,
                            MessageIcon::None);
            return nullptr;
        }
        std::unique_ptr<FilterItem> item = MakeItem(entry, element);
        if (prepare) prepare(item->element);
        if (!graph.AddGraphFilter(item->element)) {
            host.MessageBox(entry.name, "Unable to insert filter", MessageButtons::Ok,
                            MessageIcon::None);
            return nullptr;
        }
        RefreshItem(*item);
        rows.push_back(std::move(item));
        return rows.back().get();
    }

    // The row's pin item of a pad, searched row by row, inputs before outputs.
    const PinItem* FindPin(GstPad* pad) const {
        for (const auto& row : rows) {
            for (const auto* pins : {&row->inputPins, &row->outputPins})
                for (const PinItem& pin : *pins)
                    if (pin.pin == pad) return &pin;
        }
        return nullptr;
    }

    void Disconnect(GstPad* pad) {
        GstPad* peer = gst_pad_get_peer(pad);
        if (!peer) return;
        if (FindPin(peer)) graph.DisconnectPin(peer);
        gst_object_unref(peer);
        if (gst_pad_is_linked(pad)) graph.DisconnectPin(pad);
    }

    bool Connect(GstPad* output, GstPad* input) {
        if (graph.ConnectPins(output, input)) return true;
        host.MessageBox("Connection failed", "", MessageButtons::Ok, MessageIcon::None);
        return false;
    }

    // Numbers of the pad entries: disconnect entries within the fixed ranges; connect entries
    // from kConnectFirst; disconnect entries of pads beyond the fixed ranges after the last
    // connect entry, so that no two entries share a number.
    std::vector<MenuEntry> BuildMenu(FilterItem& item) {
        std::vector<MenuEntry> menu;
        int nextConnect = kConnectFirst;
        std::vector<MenuEntry> submenus;
        for (const PinItem& output : item.outputPins) {
            MenuEntry connect{0, "Connect " + output.name + " to ...", false, {}};
            for (const auto& other : rows) {
                if (other.get() == &item) continue;
                for (const PinItem& input : other->inputPins) {
                    const bool linked = gst_pad_is_linked(input.pin);
                    connect.submenu.push_back(
                        {nextConnect, other->entry->name + " " + input.name, linked, {}});
                    menuActions.emplace(nextConnect++, Action{Action::kConnect, PadRef(output.pin),
                                                              PadRef(input.pin), linked});
                }
            }
            submenus.push_back(std::move(connect));
        }
        int nextOverflow = nextConnect;
        auto disconnectId = [&](int first, int slots, std::size_t index) {
            return static_cast<int>(index) < slots ? first + static_cast<int>(index)
                                                   : nextOverflow++;
        };
        for (std::size_t i = 0; i < item.outputPins.size(); ++i) {
            const PinItem& output = item.outputPins[i];
            if (!gst_pad_is_linked(output.pin)) {
                menu.push_back(std::move(submenus[i]));
                continue;
            }
            const int id = disconnectId(kDisconnectOutput, kOutputDisconnectSlots, i);
            menu.push_back({id, "Disconnect " + output.name, false, {}});
            menuActions.emplace(id, Action{Action::kDisconnect, PadRef(output.pin), {}});
        }
        for (std::size_t b = 0; b < item.inputPins.size(); ++b) {
            const PinItem& input = item.inputPins[b];
            if (!gst_pad_is_linked(input.pin)) continue;
            const int id = disconnectId(kDisconnectInput, kInputDisconnectSlots, b);
            menu.push_back({id, "Disconnect " + input.name, false, {}});
            menuActions.emplace(id, Action{Action::kDisconnect, PadRef(input.pin), {}});
        }
        if (!item.outputPins.empty()) menu.push_back({});
        if (item.IsFileSink() && item.entry->name != kWrapperLongName)
            menu.push_back({kSetOutputFile, "Set Output File...", false, {}});
        if (item.IsFileSource()) menu.push_back({kSetInputFile, "Set Input File...", false, {}});
        if (item.HasSettings()) menu.push_back({kSettings, "Settings...", false, {}});
        menu.push_back({kRemove, "Remove", false, {}});
        return menu;
    }

    void RunRowCommand(int id, FilterItem& item) {
        switch (id) {
            case kSettings:
                if (host.EditSettings(item.element, item.name + " " + item.entry->name))
                    item.settingsChanged = true;
                break;
            case kSetOutputFile:
                if (!item.IsFileSink()) break;
                if (const auto name = host.ChooseFile(false)) {
                    LeavePreroll();  // an open file's name cannot change
                    SetLocation(item.element, *name);
                }
                return;  // no refresh
            case kSetInputFile:
                if (!item.IsFileSource()) break;
                if (const auto name = host.ChooseFile(true)) {
                    LeavePreroll();
                    if (!SetLocation(item.element, *name)) {
                        host.MessageBox("Load failed", "", MessageButtons::Ok, MessageIcon::None);
                    } else {
                        // Renders the file anew: the rows may all be replaced.
                        host.SetInputFile(*name);
                    }
                }
                break;
            case kRemove:
                RemoveRow(IndexOf(&item));
                break;
            default:
                break;
        }
    }
};

GraphEditor::GraphEditor(FilterGraphControl& graph, FilterCatalogue& catalogue, EditorHost& host,
                         std::string filtersFolder)
    : impl(std::make_unique<Impl>(graph, catalogue, host, std::move(filtersFolder))) {}

// The rows' references go with them; the pipeline is left to its owner.
GraphEditor::~GraphEditor() = default;

int GraphEditor::RowCount() const {
    return static_cast<int>(impl->rows.size());
}

FilterItem& GraphEditor::Row(int row) {
    return *impl->rows.at(row);
}

std::string GraphEditor::Cell(int row, int column) const {
    const FilterItem& item = *impl->rows.at(row);
    switch (column) {
        case 0:
            return item.entry->name;
        case 1:
            return item.inputPins.empty() ? "" : item.inputPins.front().mediaDescription;
        case 2:
            return item.outputPins.empty() ? "" : item.outputPins.front().mediaDescription;
        default:
            return "";
    }
}

void GraphEditor::Refresh() {
    for (auto& row : impl->rows) RefreshItem(*row);
}

void GraphEditor::LoadGraphFilters() {
    for (GstElement* element : impl->graph.Filters()) {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (!factory) continue;
        const CatalogueEntry* entry =
            impl->catalogue.FindByClassId(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)));
        if (!entry) continue;
        // The pipeline lists the newest element first; rows run from the oldest.
        impl->rows.insert(impl->rows.begin(), impl->MakeItem(*entry, element));
    }
}

void GraphEditor::Clear() {
    impl->ForgetMenu();
    // The pipeline stops and lets every element go at once: taking elements out one by one
    // from a paused pipeline can wait forever on a streaming thread held by a prerolled sink.
    // Elements without a row (no catalogue entry) leave too, so the next graph starts empty.
    if (impl->graph.HasGraph()) impl->graph.Clear();
    impl->rows.clear();
}

std::vector<MenuEntry> GraphEditor::ContextMenu(int selectedRow) {
    impl->ForgetMenu();
    std::vector<MenuEntry> menu;
    if (selectedRow >= 0 && selectedRow < RowCount()) {
        FilterItem& item = *impl->rows[selectedRow];
        impl->menuItem = &item;
        menu = impl->BuildMenu(item);
    }
    menu.push_back({kInsert, "Insert...", false, {}});
    return menu;
}

void GraphEditor::RunCommand(int id) {
    if (id == kInsert) {
        if (const CatalogueEntry* entry = impl->host.ChooseFilter(impl->catalogue))
            impl->InsertEntry(*entry);
        Refresh();
        return;
    }
    const int row = impl->IndexOf(impl->menuItem);
    if (row < 0) return;  // no menu, or its row is gone
    if (id < kDisconnectOutput) {
        if (id == kSetOutputFile || id == kSetInputFile || id == kSettings || id == kRemove) {
            impl->RunRowCommand(id, *impl->rows[row]);
            if (id != kSetOutputFile) Refresh();
        }
        return;
    }
    const auto found = impl->menuActions.find(id);
    if (found == impl->menuActions.end() || found->second.greyed) return;
    const Impl::Action& action = found->second;
    if (action.kind == Impl::Action::kConnect)
        impl->Connect(action.pad.get(), action.input->get());
    else
        impl->Disconnect(action.pad.get());
    Refresh();
}

void GraphEditor::DeleteKey(int selectedRow) {
    if (selectedRow < 0 || selectedRow >= RowCount()) return;
    impl->RemoveRow(selectedRow);
    Refresh();
}

bool GraphEditor::RenderInputFile(const std::string& name) {
    Clear();
    const GraphOutcome rendered = impl->graph.RenderFile(name);
    if (!rendered) {
        impl->host.MessageBox(RenderFailureText(name, rendered), "Auto Connect Error",
                              MessageButtons::Ok, MessageIcon::Stop);
        Refresh();
        return false;
    }
    LoadGraphFilters();
    const CatalogueEntry* wrapperEntry = impl->catalogue.FindByName(kWrapperLongName);
    auto& rows = impl->rows;
    if (wrapperEntry && rows.size() >= 2) {
        const std::string replaced = rows.back()->entry->name;
        if (impl->RemoveRow(RowCount() - 1)) {
            FilterItem* wrapper = impl->InsertEntry(*wrapperEntry, [](GstElement* element) {
                SetWrapperLocation(element, kRendererOutput);
            });
            if (wrapper) {
                const FilterItem& feeding = *rows[rows.size() - 2];
                const bool connected =
                    !feeding.outputPins.empty() && !wrapper->inputPins.empty() &&
                    impl->Connect(feeding.outputPins.front().pin, wrapper->inputPins.front().pin);
                if (!connected) {
                    impl->host.MessageBox(
                        "Unable to connect graph to Tavrisk.\nFilter " + replaced +
                            " have been replaced by Tavrisk Wrapper.\n\n"
                            "You have to terminate the graph yourself,\n"
                            "Connecting the right filter to Tavrisk Wrapper.",
                        "Auto Connect Error", MessageButtons::Ok, MessageIcon::Exclamation);
                }
            }
        }
    }
    Refresh();
    return true;
}

FilterItem* GraphEditor::WrapperRow() {
    for (auto it = impl->rows.rbegin(); it != impl->rows.rend(); ++it)
        if ((*it)->entry->name == kWrapperLongName) return it->get();
    return nullptr;
}

void GraphEditor::SaveAllFilterSettings() {
    for (auto& row : impl->rows) {
        if (!row->settingsChanged) continue;
        if (SaveFilterSettings(row->element,
                               SettingsFilePath(impl->filtersFolder, row->entry->name)))
            row->settingsChanged = false;
    }
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graph/FilterCatalogue.h"
#include "graph/FilterGraphControl.h"
#include "host/MessageHost.h"

namespace tavrisk {

// One pad of a row: "%s %s" of the element's name and the pad's name, and the media type of
// its connection ("Not set" until one is known).
struct PinItem {
    std::string name;
    GstPad* pin = nullptr;  // a reference of the item's own
    std::string mediaDescription = "Not set";
};

// One row of the editor: an element of the pipeline and its catalogue entry.
struct FilterItem {
    const CatalogueEntry* entry = nullptr;
    GstElement* element = nullptr;  // a reference of the item's own
    std::string name;               // the element's name in the pipeline
    std::vector<PinItem> outputPins, inputPins;
    bool settingsChanged = false;

    ~FilterItem();
    // Reads a file location ("location" property on a source element).
    bool IsFileSource() const;
    // Writes a file location ("location" property on a sink element).
    bool IsFileSink() const;
    bool HasSettings() const;  // any writable property besides "name" and "parent"
};

// What the editor needs from the window: message boxes and the three dialogs. The editor is
// the one part of the graph library that speaks to the user: it turns the failures the
// pipeline gives back into these messages.
// Its message boxes (MessageBox, always with the OK button): the stop icon for a file that
// cannot be rendered, the exclamation icon for a graph left unconnected, the plain box
// (information) for the rest.
class EditorHost : public MessageHost {
  public:
    // "Filter Selection"; null when nothing was chosen.
    virtual const CatalogueEntry* ChooseFilter(const FilterCatalogue& catalogue) = 0;
    // The open-file dialog; nothing when cancelled.
    virtual std::optional<std::string> ChooseFile(bool mustExist) = 0;
    // The element's settings dialog, captioned `caption`; true when closed with OK.
    virtual bool EditSettings(GstElement* element, const std::string& caption) = 0;
    // "Set Input File...": the window's SetInputFile (names the edits and renders anew).
    virtual void SetInputFile(const std::string& name) = 0;
};

// An entry of the context menu (a separator has id 0 and no text).
struct MenuEntry {
    int id = 0;
    std::string text;
    bool greyed = false;
    std::vector<MenuEntry> submenu;  // "Connect ... to ..." entries
    bool IsSeparator() const { return id == 0 && text.empty() && submenu.empty(); }
};

// The graph editor's model: the rows of list view 1061 (one per element of the pipeline),
// their columns, the context menu and its commands, and the renderer replacement that puts
// the wrapper at the end of a rendered file's graph.
class GraphEditor {
  public:
    enum Command {
        kSetOutputFile = 1025,
        kSetInputFile = 1026,
        kSettings = 1027,
        kRemove = 1028,
        kInsert = 1029,
        kDisconnectOutput = 1030,  // + output pin index (0..9)
        kDisconnectInput = 1040,   // + input pin index (0..15)
        kConnectFirst = 1056,      // + connect entry number
    };
    static constexpr const char* kColumns[3] = {"Filter Name", "Input MediaFormat",
                                                "Output MediaFormat"};

    GraphEditor(FilterGraphControl& graph, FilterCatalogue& catalogue, EditorHost& host,
                std::string filtersFolder);
    ~GraphEditor();

    int RowCount() const;
    FilterItem& Row(int row);
    // Column texts of a row: entry name, first input's description, first output's.
    std::string Cell(int row, int column) const;

    // Re-reads every row's pads, names and media descriptions.
    void Refresh();
    // Rows for the elements of the pipeline, in the order they were added. Elements without a
    // catalogue entry get no row.
    void LoadGraphFilters();
    // Every element leaves the pipeline and its row is deleted.
    void Clear();

    // The menu for a right click with `selectedRow` (-1: none) selected.
    std::vector<MenuEntry> ContextMenu(int selectedRow);
    // A command of the last menu on the row it was built for.
    void RunCommand(int id);
    // The Delete key: "Remove" on the selected row.
    void DeleteKey(int selectedRow);

    // Renders a file and puts the wrapper in place of its renderer (steps of the window's
    // RenderInputFile after its mode check). False after the "Unable to render file" message.
    bool RenderInputFile(const std::string& name);
    // The wrapper's row, or null.
    FilterItem* WrapperRow();

    // Saves the settings of every row whose settings changed; loads them for a new row.
    void SaveAllFilterSettings();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace tavrisk

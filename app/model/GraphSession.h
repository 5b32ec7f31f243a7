// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "graph/FilterCatalogue.h"
#include "graph/FilterGraphControl.h"
#include "graph/GraphEditor.h"

namespace tavrisk {

// The graph side of the main window: the pipeline, the catalogue of elements and the editor
// of list view 1061. A front end creates it with the dialogs of its editor (EditorHost),
// starts it, builds the catalogue (on a worker, with progress) and attaches it to the model.
class GraphSession {
  public:
    // `filtersFolder` holds the settings files; `filterListPath` is "FilterList.txt" of the
    // installation folder, written while the catalogue is built and removed with the session.
    GraphSession(EditorHost& host, std::string filtersFolder, std::string filterListPath);
    ~GraphSession();
    GraphSession(const GraphSession&) = delete;
    GraphSession& operator=(const GraphSession&) = delete;

    // Starts GStreamer and creates the pipeline; `notify` is called from any thread when the
    // pipeline has news (the owner then calls Graph().DrainEvents() on its own thread).
    // False with the reason when graph processing is not available.
    bool Start(std::function<void()> notify, std::string& error);
    // Reads the catalogue; may run on a worker thread; the last report is 100.
    void BuildCatalogue(const FilterCatalogue::Progress& report);

    FilterGraphControl& Graph() { return graph; }
    FilterCatalogue& Catalogue() { return catalogue; }
    GraphEditor& Editor() { return editor; }
    const std::string& FilterListPath() const { return filterListPath; }

  private:
    std::string filterListPath;
    FilterGraphControl graph;
    FilterCatalogue catalogue;
    GraphEditor editor;
};

}  // namespace tavrisk

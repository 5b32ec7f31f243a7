// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/GraphSession.h"

#include <cstdio>

#include "graph/GraphRuntime.h"

namespace tavrisk {

GraphSession::GraphSession(EditorHost& host, std::string filtersFolder, std::string filterListPath)
    : filterListPath(std::move(filterListPath)),
      editor(graph, catalogue, host, std::move(filtersFolder)) {}

GraphSession::~GraphSession() {
    editor.Clear();
    graph.ReleaseGraph();
    if (!filterListPath.empty()) std::remove(filterListPath.c_str());
}

bool GraphSession::Start(std::function<void()> notify, std::string& error) {
    if (const GraphOutcome started = InitGraphRuntime(); !started) {
        error = started.Reason();
        return false;
    }
    if (!graph.CreateGraph(std::move(notify))) {
        error = "The filter graph could not be created";
        return false;
    }
    return true;
}

void GraphSession::BuildCatalogue(const FilterCatalogue::Progress& report) {
    catalogue.BuildCatalogue(report, filterListPath);
}

}  // namespace tavrisk

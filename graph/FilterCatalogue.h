// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavrisk {

// One element the user can insert: the factory's long name (shown, and naming its settings
// file), the factory name as its class id, and for the seven element classes read apart
// (audio/video decoders, effects and encoders, audio capture effects) the class's name.
struct CatalogueEntry {
    std::string name;
    std::string classId;   // factory name, e.g. "a52dec"
    std::string category;  // empty for the general list and for entries found by class id
};

// The list of elements, read once from GStreamer's registry. New entries go to the head, as
// they were found last; lookups search from the head.
class FilterCatalogue {
  public:
    // Percent 0..100; the last report is exactly 100.
    using Progress = std::function<void(int percent)>;

    // The seven element classes, in reading order, as (category name, klass words).
    static constexpr int kCategories = 7;

    // Reads the registry: first every element outside the seven classes, each name appended
    // to `filterListPath` (one "%s\n" line, file opened in append mode and closed per line;
    // nothing written when the path is empty), then the elements of the seven classes that
    // can be created. May run on a worker thread.
    void BuildCatalogue(const Progress& report, const std::string& filterListPath);

    const CatalogueEntry* FindByName(const std::string& name) const;
    // An element factory by name: the catalogue's entry, else a new one at the head when the
    // registry knows the factory, else null.
    const CatalogueEntry* FindByClassId(const std::string& classId);
    // A new element of the entry's factory (a floating reference), or null.
    GstElement* CreateInstance(const CatalogueEntry& entry) const;
    // Every entry from the head.
    std::vector<const CatalogueEntry*> Entries() const;
    // Adds an entry at the head (for tests and FindByClassId).
    const CatalogueEntry* Add(CatalogueEntry entry);

  private:
    std::vector<std::unique_ptr<CatalogueEntry>> entries;  // head last
};

}  // namespace tavrisk

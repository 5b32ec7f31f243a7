// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/FilterCatalogue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace tavrisk {

namespace {

// One of the seven element classes: its name and the klass words an element must carry,
// all of them, or (for `anyOf`) at least one of them as well.
struct ElementClass {
    const char* name;
    std::array<const char*, 2> allOf;
    std::array<const char*, 2> anyOf;
};

// In reading order. Audio capture effects are the elements that capture audio: klass words
// "Audio" and "Source" (or "Capture").
constexpr std::array<ElementClass, FilterCatalogue::kCategories> kElementClasses{{
    {"Audio Decoder", {"Decoder", "Audio"}, {nullptr, nullptr}},
    {"Audio Effect", {"Effect", "Audio"}, {nullptr, nullptr}},
    {"Audio Encoder", {"Encoder", "Audio"}, {nullptr, nullptr}},
    {"Video Decoder", {"Decoder", "Video"}, {nullptr, nullptr}},
    {"Video Effect", {"Effect", "Video"}, {nullptr, nullptr}},
    {"Video Encoder", {"Encoder", "Video"}, {nullptr, nullptr}},
    {"Audio Capture Effect", {"Audio", nullptr}, {"Source", "Capture"}},
}};

constexpr int kGeneral = -1;
constexpr int kPercentDone = 100;

std::vector<std::string> KlassWords(GstElementFactory* factory) {
    const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    std::vector<std::string> words;
    std::istringstream stream(klass ? klass : "");
    for (std::string word; std::getline(stream, word, '/');) words.push_back(word);
    return words;
}

bool HasWord(const std::vector<std::string>& words, const char* word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

bool Matches(const ElementClass& elementClass, const std::vector<std::string>& words) {
    for (const char* word : elementClass.allOf)
        if (word && !HasWord(words, word)) return false;
    bool needsAny = false, anyFound = false;
    for (const char* word : elementClass.anyOf) {
        if (!word) continue;
        needsAny = true;
        anyFound = anyFound || HasWord(words, word);
    }
    return !needsAny || anyFound;
}

// The first of the seven classes the factory belongs to, or kGeneral.
int ClassOf(GstElementFactory* factory) {
    const std::vector<std::string> words = KlassWords(factory);
    for (int i = 0; i < FilterCatalogue::kCategories; ++i)
        if (Matches(kElementClasses[i], words)) return i;
    return kGeneral;
}

// The factory's long name, or "Unamed: " and its upper-cased factory name when it has none.
std::string DisplayName(GstElementFactory* factory) {
    const char* longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
    if (longName && *longName) return longName;
    std::string upper = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    char text[1024];
    std::snprintf(text, sizeof text, "Unamed: %s", upper.c_str());
    return text;
}

void AppendLine(const std::string& path, const std::string& line) {
    if (path.empty()) return;
    if (FILE* file = std::fopen(path.c_str(), "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

bool CanCreate(GstElementFactory* factory) {
    GstElement* element = gst_element_factory_create(factory, nullptr);
    if (!element) return false;
    gst_object_unref(gst_object_ref_sink(element));
    return true;
}

// Reports 100 * done / total, once per change of the percentage; never 100 itself.
class ProgressCounter {
  public:
    ProgressCounter(const FilterCatalogue::Progress& report, std::size_t total)
        : report(report), total(total) {}
    void At(std::size_t done) {
        const int percent = static_cast<int>(kPercentDone * done / total);
        if (percent == last || !report) return;
        last = percent;
        report(percent);
    }
    void Finish() {
        if (report) report(kPercentDone);
    }

  private:
    const FilterCatalogue::Progress& report;
    std::size_t total;
    int last = -1;
};

}  // namespace

void FilterCatalogue::BuildCatalogue(const Progress& report, const std::string& filterListPath) {
    GList* features = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
    std::vector<GstElementFactory*> general;
    std::array<std::vector<GstElementFactory*>, kCategories> classes;
    for (GList* node = features; node; node = node->next) {
        auto* factory = GST_ELEMENT_FACTORY(node->data);
        const int elementClass = ClassOf(factory);
        if (elementClass == kGeneral)
            general.push_back(factory);
        else
            classes[elementClass].push_back(factory);
    }
    std::size_t total = general.size();
    for (const auto& members : classes) total += members.size();

    ProgressCounter progress(report, std::max<std::size_t>(total, 1));
    std::size_t examined = 0;
    for (GstElementFactory* factory : general) {
        progress.At(examined++);
        CatalogueEntry entry{
            DisplayName(factory), gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), {}};
        AppendLine(filterListPath, entry.name);
        Add(std::move(entry));
    }
    for (int i = 0; i < kCategories; ++i) {
        for (GstElementFactory* factory : classes[i]) {
            progress.At(examined++);
            if (!CanCreate(factory)) continue;
            Add({DisplayName(factory), gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)),
                 kElementClasses[i].name});
        }
    }
    gst_plugin_feature_list_free(features);
    progress.Finish();
}

const CatalogueEntry* FilterCatalogue::FindByName(const std::string& name) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if ((*it)->name == name) return it->get();
    return nullptr;
}

const CatalogueEntry* FilterCatalogue::FindByClassId(const std::string& classId) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if ((*it)->classId == classId) return it->get();
    GstElementFactory* factory = gst_element_factory_find(classId.c_str());
    if (!factory) return nullptr;
    const CatalogueEntry* entry = Add({DisplayName(factory), classId, {}});
    gst_object_unref(factory);
    return entry;
}

GstElement* FilterCatalogue::CreateInstance(const CatalogueEntry& entry) const {
    return gst_element_factory_make(entry.classId.c_str(), nullptr);
}

std::vector<const CatalogueEntry*> FilterCatalogue::Entries() const {
    std::vector<const CatalogueEntry*> list;
    list.reserve(entries.size());
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) list.push_back(it->get());
    return list;
}

const CatalogueEntry* FilterCatalogue::Add(CatalogueEntry entry) {
    entries.push_back(std::make_unique<CatalogueEntry>(std::move(entry)));
    return entries.back().get();
}

}  // namespace tavrisk

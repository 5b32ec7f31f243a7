// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/DvdTitle.h"

#include <fcntl.h>
#include <gst/base/gstbasesrc.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

namespace tavrisk {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTitleSourceFactory = "tavrisktitlesrc";
constexpr const char* kVideoTsFolder = "VIDEO_TS";
constexpr std::uintmax_t kSectorBytes = 2048;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The title set and part of "VTS_nn_k.VOB" (any case); nothing for another name.
std::optional<std::pair<int, int>> TitlePart(const fs::path& file) {
    const std::string name = Upper(file.filename().string());
    if (name.size() != 12 || name.compare(0, 4, "VTS_") != 0 || name[6] != '_' ||
        name.compare(8, 4, ".VOB") != 0 || !std::isdigit(static_cast<unsigned char>(name[4])) ||
        !std::isdigit(static_cast<unsigned char>(name[5])) ||
        !std::isdigit(static_cast<unsigned char>(name[7])))
        return std::nullopt;
    return std::pair{std::stoi(name.substr(4, 2)), name[7] - '0'};
}

struct TitleSet {
    std::map<int, fs::path> parts;  // by part, from 1
    std::uintmax_t bytes = 0;
};

std::map<int, TitleSet> TitleSetsIn(const fs::path& folder) {
    std::map<int, TitleSet> sets;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const auto part = TitlePart(entry.path());
        if (!part || part->second == 0 || !entry.is_regular_file(error)) continue;
        TitleSet& set = sets[part->first];
        set.parts[part->second] = entry.path();
        set.bytes += entry.file_size(error);
    }
    return sets;
}

std::vector<std::string> FilesOf(const TitleSet& set) {
    std::vector<std::string> files;
    for (const auto& [part, path] : set.parts) files.push_back(path.string());
    return files;
}

// --- The source element ----------------------------------------------------------------

// The files of a title, open from start to stop.
struct TitleFiles {
    std::vector<std::string> names;
    std::vector<int> descriptors;
    std::vector<guint64> starts;  // of each file in the stream
    guint64 size = 0;

    bool Open() {
        Close();
        for (const std::string& name : names) {
            const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
            if (descriptor < 0) return false;
            descriptors.push_back(descriptor);
            starts.push_back(size);
            size += static_cast<guint64>(::lseek(descriptor, 0, SEEK_END));
        }
        return true;
    }
    void Close() {
        for (const int descriptor : descriptors) ::close(descriptor);
        descriptors.clear();
        starts.clear();
        size = 0;
    }
    ~TitleFiles() { Close(); }

    // Reads up to `length` bytes at `offset` of the stream; -1 on a failed read.
    gssize Read(guint64 offset, guint8* data, gsize length) const {
        gsize done = 0;
        while (done < length && offset + done < size) {
            const auto after = std::upper_bound(starts.begin(), starts.end(), offset + done);
            const auto file = static_cast<std::size_t>(after - starts.begin() - 1);
            const ssize_t got = ::pread(descriptors[file], data + done, length - done,
                                        static_cast<off_t>(offset + done - starts[file]));
            if (got < 0) return -1;
            if (got == 0) break;  // a file shorter than when it was opened
            done += static_cast<gsize>(got);
        }
        return static_cast<gssize>(done);
    }
};

struct TavriskTitleSrc {
    GstBaseSrc parent;
    TitleFiles* files;
};

struct TavriskTitleSrcClass {
    GstBaseSrcClass parentClass;
};

G_DEFINE_TYPE(TavriskTitleSrc, tavrisk_title_src, GST_TYPE_BASE_SRC)

TitleFiles& FilesOf(gpointer source) {
    return *reinterpret_cast<TavriskTitleSrc*>(source)->files;
}

gboolean Start(GstBaseSrc* source) {
    if (FilesOf(source).Open()) return TRUE;
    GST_ELEMENT_ERROR(source, RESOURCE, OPEN_READ, ("A file of the DVD title cannot be opened."),
                      (nullptr));
    FilesOf(source).Close();
    return FALSE;
}

gboolean Stop(GstBaseSrc* source) {
    FilesOf(source).Close();
    return TRUE;
}

gboolean GetSize(GstBaseSrc* source, guint64* size) {
    *size = FilesOf(source).size;
    return TRUE;
}

gboolean IsSeekable(GstBaseSrc*) {
    return TRUE;
}

GstFlowReturn Fill(GstBaseSrc* source, guint64 offset, guint length, GstBuffer* buffer) {
    const TitleFiles& files = FilesOf(source);
    if (offset >= files.size) return GST_FLOW_EOS;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) return GST_FLOW_ERROR;
    const gssize read = files.Read(offset, map.data, std::min<gsize>(length, map.size));
    gst_buffer_unmap(buffer, &map);
    if (read < 0) {
        GST_ELEMENT_ERROR(source, RESOURCE, READ, ("A file of the DVD title cannot be read."),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    if (read == 0) return GST_FLOW_EOS;
    gst_buffer_set_size(buffer, read);
    GST_BUFFER_OFFSET(buffer) = offset;
    GST_BUFFER_OFFSET_END(buffer) = offset + static_cast<guint64>(read);
    return GST_FLOW_OK;
}

void Finalize(GObject* object) {
    delete reinterpret_cast<TavriskTitleSrc*>(object)->files;
    G_OBJECT_CLASS(tavrisk_title_src_parent_class)->finalize(object);
}

void tavrisk_title_src_class_init(TavriskTitleSrcClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = Finalize;
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sourceTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
    gst_element_class_add_static_pad_template(elementClass, &sourceTemplate);
    gst_element_class_set_static_metadata(elementClass, "Tavrisk DVD Title", "Source/File",
                                          "Reads the VOB files of a DVD title as one stream",
                                          "Tavrisk");
    GstBaseSrcClass* sourceClass = GST_BASE_SRC_CLASS(klass);
    sourceClass->start = Start;
    sourceClass->stop = Stop;
    sourceClass->get_size = GetSize;
    sourceClass->is_seekable = IsSeekable;
    sourceClass->fill = Fill;
}

void tavrisk_title_src_init(TavriskTitleSrc* self) {
    self->files = new TitleFiles;
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_BYTES);
}

}  // namespace

std::vector<std::string> DvdTitleFiles(const std::string& input) {
    std::error_code error;
    const fs::path path(input);
    if (fs::is_directory(path, error)) {
        fs::path folder = path;
        if (Upper(path.filename().string()) != kVideoTsFolder) {
            for (const fs::directory_entry& entry : fs::directory_iterator(path, error))
                if (entry.is_directory(error) &&
                    Upper(entry.path().filename().string()) == kVideoTsFolder)
                    folder = entry.path();
        }
        const std::map<int, TitleSet> sets = TitleSetsIn(folder);
        const auto largest = std::max_element(sets.begin(), sets.end(), [](auto& a, auto& b) {
            return a.second.bytes < b.second.bytes;
        });
        return largest == sets.end() ? std::vector<std::string>{} : FilesOf(largest->second);
    }
    const auto part = TitlePart(path);
    if (!part || part->second == 0) return {};
    const std::map<int, TitleSet> sets =
        TitleSetsIn(path.parent_path().empty() ? "." : path.parent_path());
    const auto set = sets.find(part->first);
    return set == sets.end() ? std::vector<std::string>{} : FilesOf(set->second);
}

std::string TitleDamage(const std::vector<std::string>& files) {
    int expected = 1;
    for (const std::string& file : files) {
        const fs::path path(file);
        const auto part = TitlePart(path);
        if (part && part->second != expected) {
            char missing[32];
            std::snprintf(missing, sizeof missing, "VTS_%02d_%d.VOB", part->first, expected);
            return std::string(missing) + " is missing from the DVD title";
        }
        ++expected;
        std::error_code error;
        const std::uintmax_t size = fs::file_size(path, error);
        if (!error && size % kSectorBytes != 0)
            return path.filename().string() + " ends inside a 2048-byte sector: the DVD title " +
                   "was cut short there";
    }
    return "";
}

GstElement* MakeTitleSource(const std::vector<std::string>& files) {
    static const bool registered = gst_element_register(nullptr, kTitleSourceFactory, GST_RANK_NONE,
                                                        tavrisk_title_src_get_type());
    if (!registered) return nullptr;
    GstElement* source = gst_element_factory_make(kTitleSourceFactory, nullptr);
    if (source) FilesOf(source).names = files;
    return source;
}

}  // namespace tavrisk

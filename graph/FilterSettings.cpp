// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/FilterSettings.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace tavrisk {

namespace {

constexpr int32_t kNoValue = -1;
// Longest file name most file systems hold, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;
constexpr const char* kSettingsExtension = ".dat";
// A save writes this file first and renames it.
constexpr const char* kTemporarySuffix = ".new";
constexpr const char* kUnreadable = "the settings file cannot be read";
constexpr const char* kUnwritable = "the settings file cannot be written";

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct PropertyList {
    GParamSpec** specs = nullptr;
    guint count = 0;
    explicit PropertyList(GstElement* element) {
        specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
    }
    ~PropertyList() { g_free(specs); }
    PropertyList(const PropertyList&) = delete;
    PropertyList& operator=(const PropertyList&) = delete;
};

struct Value {
    GValue value = G_VALUE_INIT;
    Value() = default;
    explicit Value(GType type) { g_value_init(&value, type); }
    ~Value() {
        if (G_IS_VALUE(&value)) g_value_unset(&value);
    }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
};

// Properties that belong to one element rather than to its kind: its identity and the file
// it reads or writes, which "Set Input File..." and "Set Output File..." set.
bool IsPerInstance(const GParamSpec* pspec) {
    return std::strcmp(pspec->name, "name") == 0 || std::strcmp(pspec->name, "parent") == 0 ||
           std::strcmp(pspec->name, "location") == 0;
}

bool IsKept(const GParamSpec* pspec) {
    const GParamFlags needed = static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_WRITABLE);
    if ((pspec->flags & needed) != needed || (pspec->flags & G_PARAM_CONSTRUCT_ONLY)) return false;
    if (IsPerInstance(pspec)) return false;
    // Objects and raw pointers are links to other things, not settings.
    const GType type = G_PARAM_SPEC_VALUE_TYPE(pspec);
    return !g_type_is_a(type, G_TYPE_OBJECT) && type != G_TYPE_POINTER;
}

// The integer value of an integer property when it fits a record's 32-bit value.
std::optional<int32_t> AsInt32(const GValue* value) {
    Value wide(G_TYPE_INT64);
    const GType type = G_VALUE_TYPE(value);
    if (type == G_TYPE_UINT64) {
        const guint64 v = g_value_get_uint64(value);
        if (v > static_cast<guint64>(std::numeric_limits<int32_t>::max())) return std::nullopt;
        return static_cast<int32_t>(v);
    }
    if (!g_value_transform(value, &wide.value)) return std::nullopt;
    const gint64 v = g_value_get_int64(&wide.value);
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(v);
}

bool IsInteger(GType type) {
    return type == G_TYPE_INT || type == G_TYPE_UINT || type == G_TYPE_LONG ||
           type == G_TYPE_ULONG || type == G_TYPE_INT64 || type == G_TYPE_UINT64 ||
           type == G_TYPE_CHAR || type == G_TYPE_UCHAR;
}

// The record of one property's current value, or nothing when it cannot be kept.
std::optional<ControlValueRecord> Capture(GstElement* element, GParamSpec* pspec, int index) {
    const GType type = G_PARAM_SPEC_VALUE_TYPE(pspec);
    Value value(type);
    g_object_get_property(G_OBJECT(element), pspec->name, &value.value);
    ControlValueRecord record;
    record.caption = pspec->name;
    record.controlId = index;
    if (type == G_TYPE_BOOLEAN) {
        record.type = ControlValueRecord::kCheck;
        record.value = g_value_get_boolean(&value.value) ? 1 : 0;
        return record;
    }
    if (G_TYPE_IS_ENUM(type)) {
        record.type = ControlValueRecord::kCombo;
        record.value = g_value_get_enum(&value.value);
        return record;
    }
    if (IsInteger(type)) {
        if (const auto number = AsInt32(&value.value)) {
            record.type = ControlValueRecord::kTrackbar;
            record.value = *number;
            return record;
        }
        // Too wide for the record's value: kept as text below instead of being cut.
    }
    gchar* text = gst_value_serialize(&value.value);
    if (!text) return std::nullopt;
    record.type = ControlValueRecord::kEdit;
    record.value = kNoValue;
    record.editText = std::string(text);
    g_free(text);
    return record;
}

// Fills `value` (initialised to the property's type) from a record; false when it no longer
// fits the property.
bool ValueFromRecord(const ControlValueRecord& record, GParamSpec* pspec, GValue* value) {
    const GType type = G_PARAM_SPEC_VALUE_TYPE(pspec);
    switch (record.type) {
        case ControlValueRecord::kCheck:
            if (type != G_TYPE_BOOLEAN) return false;
            g_value_set_boolean(value, record.value == 1);
            return true;
        case ControlValueRecord::kCombo: {
            if (!G_TYPE_IS_ENUM(type)) return false;
            auto* enumClass = static_cast<GEnumClass*>(g_type_class_ref(type));
            const bool known = g_enum_get_value(enumClass, record.value) != nullptr;
            g_type_class_unref(enumClass);
            if (!known) return false;
            g_value_set_enum(value, record.value);
            return true;
        }
        case ControlValueRecord::kTrackbar: {
            if (!IsInteger(type)) return false;
            Value number(G_TYPE_INT);
            g_value_set_int(&number.value, record.value);
            if (record.value < 0 && (type == G_TYPE_UINT || type == G_TYPE_ULONG ||
                                     type == G_TYPE_UINT64 || type == G_TYPE_UCHAR))
                return false;
            return g_value_transform(&number.value, value) != FALSE;
        }
        case ControlValueRecord::kEdit:
            return record.editText && gst_value_deserialize(value, record.editText->c_str());
        default:
            return false;
    }
}

bool ReadExactly(FILE* file, void* buffer, std::size_t size) {
    return size == 0 || std::fread(buffer, 1, size, file) == size;
}

bool ReadInt(FILE* file, int32_t& value) {
    unsigned char bytes[4];
    if (!ReadExactly(file, bytes, sizeof bytes)) return false;
    const uint32_t v = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                       static_cast<uint32_t>(bytes[2]) << 16 |
                       static_cast<uint32_t>(bytes[3]) << 24;
    value = static_cast<int32_t>(v);
    return true;
}

// A text of `length` bytes; false when the file holds fewer (or the length is negative).
bool ReadText(FILE* file, int32_t length, long remaining, std::string& text) {
    if (length < 0 || length > remaining) return false;
    text.resize(static_cast<std::size_t>(length));
    return ReadExactly(file, text.data(), text.size());
}

long RemainingBytes(FILE* file, long size) {
    return size - std::ftell(file);
}

bool WriteInt(FILE* file, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

bool WriteText(FILE* file, const std::string& text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;
    return WriteInt(file, static_cast<int32_t>(text.size())) &&
           (text.empty() || std::fwrite(text.data(), 1, text.size(), file) == text.size());
}

bool IsSafeFileNameChar(unsigned char c) {
    return c >= 0x20 && c != 0x7f && !std::strchr("/\\:*?\"<>|%", c);
}

}  // namespace

void ControlValueList::Add(ControlValueRecord record) {
    if (record.type == ControlValueRecord::kCombo || records.empty())
        records.push_front(std::move(record));
    else
        records.push_back(std::move(record));
}

GraphOutcome ControlValueList::ReadRecords(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return GraphOutcome::Failure("the settings file cannot be opened");
    records.clear();
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return GraphOutcome::Failure(kUnreadable);
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return GraphOutcome::Failure(kUnreadable);
    for (;;) {
        // Lengths are checked against what is left, so a damaged length ends the reading
        // instead of asking for gigabytes.
        ControlValueRecord record;
        int32_t length = 0;
        if (!ReadInt(file.get(), length)) break;
        std::string editText;
        if (!ReadText(file.get(), length, RemainingBytes(file.get(), size), editText)) break;
        if (length > 0) record.editText = std::move(editText);
        if (!ReadInt(file.get(), length) ||
            !ReadText(file.get(), length, RemainingBytes(file.get(), size), record.caption) ||
            !ReadInt(file.get(), record.controlId) || !ReadInt(file.get(), record.value) ||
            !ReadInt(file.get(), record.type))
            break;
        Add(std::move(record));
    }
    if (std::ferror(file.get())) return GraphOutcome::Failure(kUnreadable);
    return {};
}

GraphOutcome ControlValueList::WriteRecords(const std::string& path) const {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) return GraphOutcome::Failure("the settings file cannot be created");
    for (const ControlValueRecord& record : records) {
        if (!WriteText(file.get(), record.editText.value_or(std::string())) ||
            !WriteText(file.get(), record.caption) || !WriteInt(file.get(), record.controlId) ||
            !WriteInt(file.get(), record.value) || !WriteInt(file.get(), record.type))
            return GraphOutcome::Failure(kUnwritable);
    }
    if (std::fclose(file.release()) != 0) return GraphOutcome::Failure(kUnwritable);
    return {};
}

std::string SettingsFilePath(const std::string& filtersFolder, const std::string& entryName) {
    // Unsafe characters are written as %XX, so that two names never share a file.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string safe;
    for (unsigned char c : entryName) {
        if (IsSafeFileNameChar(c)) {
            safe += static_cast<char>(c);
        } else {
            safe += '%';
            safe += kHex[c >> 4];
            safe += kHex[c & 0xf];
        }
    }
    if (safe.empty() || safe == "." || safe == "..") safe.insert(0, "%2E");
    const std::size_t maxStem =
        kMaxFileNameBytes - std::strlen(kSettingsExtension) - std::strlen(kTemporarySuffix);
    if (safe.size() > maxStem) {
        safe.resize(maxStem);
        // Do not end inside a multi-byte character or an escape.
        while (!safe.empty() && (static_cast<unsigned char>(safe.back()) & 0xc0) == 0x80)
            safe.pop_back();
        if (!safe.empty() && static_cast<unsigned char>(safe.back()) >= 0xc0) safe.pop_back();
        const std::size_t percent = safe.rfind('%');
        if (percent != std::string::npos && safe.size() - percent < 3) safe.resize(percent);
    }
    return filtersFolder + "/" + safe + kSettingsExtension;
}

ControlValueList CaptureSettings(GstElement* element) {
    ControlValueList list;
    if (!element) return list;
    PropertyList properties(element);
    for (guint i = 0; i < properties.count; ++i) {
        GParamSpec* pspec = properties.specs[i];
        if (!IsKept(pspec)) continue;
        if (auto record = Capture(element, pspec, static_cast<int>(i)))
            list.Add(std::move(*record));
    }
    return list;
}

bool ApplySettings(GstElement* element, const ControlValueList& records) {
    if (!element) return false;
    PropertyList properties(element);
    bool applied = false;
    for (const ControlValueRecord& record : records.Records()) {
        if (record.controlId < 0 || static_cast<guint>(record.controlId) >= properties.count)
            continue;
        GParamSpec* pspec = properties.specs[record.controlId];
        // The property at that place must still be the one recorded.
        if (!IsKept(pspec) || record.caption != pspec->name) continue;
        Value value(G_PARAM_SPEC_VALUE_TYPE(pspec));
        if (!ValueFromRecord(record, pspec, &value.value)) continue;
        if (g_param_value_validate(pspec, &value.value)) continue;  // out of the property's range
        g_object_set_property(G_OBJECT(element), pspec->name, &value.value);
        applied = true;
    }
    return applied;
}

GraphOutcome SaveFilterSettings(GstElement* element, const std::string& path) {
    // Written beside the old file and moved over it, so a failed write keeps the old settings.
    const std::string temporary = path + kTemporarySuffix;
    if (GraphOutcome written = CaptureSettings(element).WriteRecords(temporary); !written) {
        std::remove(temporary.c_str());
        return written;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        return GraphOutcome::Failure("the settings file could not replace the old one");
    return {};
}

GraphOutcome LoadFilterSettings(GstElement* element, const std::string& path) {
    ControlValueList list;
    if (GraphOutcome read = list.ReadRecords(path); !read) return read;
    if (list.Empty() || !ApplySettings(element, list))
        return GraphOutcome::Failure("no setting of the file fits the element");
    return {};
}

}  // namespace tavrisk

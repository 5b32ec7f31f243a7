// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <list>
#include <optional>
#include <string>

#include "graph/GraphOutcome.h"

namespace tavrisk {

// The settings of one element kind, kept in its file of the filters folder as control-value
// records. Each writable property of the element is one record (no dialog is scanned; the
// properties are read and set directly):
//   L1 (int32 LE), edit text (L1 bytes), L2 (int32 LE), caption = property name (L2 bytes),
//   identifier (int32 LE), value (int32 LE), type (int32 LE)
// Types: 2 check box (booleans, value 0/1), 3 trackbar (integer ranges, value), 4 combo box
// (enumerations, value), 5 edit (anything else: value -1, edit text = serialized value).
struct ControlValueRecord {
    enum Type : int32_t { kPushButton = 0, kRadio = 1, kCheck = 2, kTrackbar = 3, kCombo = 4, kEdit = 5, kOther = 255 };
    std::string caption;
    int32_t type = kOther;
    int32_t value = 0;
    int32_t controlId = 0;
    std::optional<std::string> editText;

    bool operator==(const ControlValueRecord&) const = default;
};

// Records in list order: a combo record, and the first record of an empty list, go to the
// head; every other record to the tail (so combo boxes are applied first).
class ControlValueList {
  public:
    void Add(ControlValueRecord record);
    const std::list<ControlValueRecord>& Records() const { return records; }
    bool Empty() const { return records.empty(); }
    void Clear() { records.clear(); }

    // Reads records until the first length cannot be read; a record cut short ends the
    // reading and is dropped. Fails when the file cannot be opened or a read fails.
    GraphOutcome ReadRecords(const std::string& path);
    // Writes every record in list order; fails unless every write was complete.
    GraphOutcome WriteRecords(const std::string& path) const;

  private:
    std::list<ControlValueRecord> records;
};

// The settings file of a catalogue entry: folder + "/" + the entry's name made safe for a
// file name ("/" and other characters a file name cannot hold replaced) + ".dat".
std::string SettingsFilePath(const std::string& filtersFolder, const std::string& entryName);

// The element's writable, non-construct-only properties as records (identifier = index of
// the property in the class's list; "name" and "parent" are left out).
ControlValueList CaptureSettings(GstElement* element);
// Sets the properties the records name; records that no longer fit are skipped. True when
// at least one was applied.
bool ApplySettings(GstElement* element, const ControlValueList& records);

// Save and load of an element's settings file. A load fails when the file cannot be read or
// none of its records fits the element.
GraphOutcome SaveFilterSettings(GstElement* element, const std::string& path);
GraphOutcome LoadFilterSettings(GstElement* element, const std::string& path);

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/MediaTypeNames.h"

#include <gst/audio/audio.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace tavrisk {
namespace {

constexpr const char* kUnknown = "Unknown";
constexpr const char* kNullType = "NULL";    // empty caps as a major type or subtype
constexpr const char* kNullFormat = "Null";  // and as a format type
constexpr const char* kWaveFormat = "WaveFormatEx";
constexpr const char* kVideoInfo = "VideoInfo";
constexpr const char* kNoField = nullptr;

// One row: a caps name, an optional integer or boolean field it must carry with the given
// value, and the three names. Rows are searched in order; the first that fits is taken.
struct TypeRow {
    const char* capsName;
    const char* field;
    int value;
    const char* major;
    const char* subtype;
    const char* format;
};

constexpr std::array kRows = {
    TypeRow{"audio/x-raw", kNoField, 0, "Audio", "PCM", kWaveFormat},
    TypeRow{"audio/x-ac3", kNoField, 0, "Audio", "DOLBY_AC3", kWaveFormat},
    TypeRow{"audio/ac3", kNoField, 0, "Audio", "DOLBY_AC3", kWaveFormat},
    TypeRow{"audio/mpeg", "layer", 3, "Audio", kUnknown, kWaveFormat},
    TypeRow{"audio/mpeg", "mpegaudioversion", 2, "Audio", "MPEG2_AUDIO", kWaveFormat},
    TypeRow{"audio/mpeg", "mpegversion", 1, "Audio", "MPEG1Audio", kWaveFormat},
    TypeRow{"audio/x-lpcm", kNoField, 0, "Audio", "DVD_LPCM_AUDIO", kWaveFormat},
    TypeRow{"audio/x-private1-lpcm", kNoField, 0, "Audio", "DVD_LPCM_AUDIO", kWaveFormat},
    TypeRow{"audio/x-wav", kNoField, 0, "Stream", "WAVE", kNullFormat},
    TypeRow{"audio/x-aiff", kNoField, 0, "Stream", "AIFF", kNullFormat},
    TypeRow{"audio/x-au", kNoField, 0, "Stream", "AU", kNullFormat},
    TypeRow{"video/mpeg", "systemstream", 1, "Stream", nullptr, kNullFormat},
    TypeRow{"video/mpegts", kNoField, 0, "Stream", "MPEG2_TRANSPORT", kNullFormat},
    TypeRow{"video/x-msvideo", kNoField, 0, "Stream", "Avi", kNullFormat},
    TypeRow{"video/quicktime", kNoField, 0, "Stream", "QTMovie", kNullFormat},
    TypeRow{"video/x-matroska", kNoField, 0, "Stream", kUnknown, kNullFormat},
    TypeRow{"video/webm", kNoField, 0, "Stream", kUnknown, kNullFormat},
    TypeRow{"application/ogg", kNoField, 0, "Stream", kUnknown, kNullFormat},
    TypeRow{"video/mpeg", "mpegversion", 1, "Video", "MPEG1Video", "MPEGVideo"},
    TypeRow{"video/mpeg", "mpegversion", 2, "Video", kUnknown, "MPEG2Video"},
    TypeRow{"video/x-raw", kNoField, 0, "Video", nullptr, kVideoInfo},
    TypeRow{"video/x-dv", kNoField, 0, "Video", "dvsd", "DvInfo"},
    TypeRow{"image/jpeg", kNoField, 0, "Video", "MJPG", kVideoInfo},
    TypeRow{"subpicture/x-dvd", kNoField, 0, kUnknown, "DVD_SUBPICTURE", kUnknown},
    TypeRow{"closedcaption/x-cea-608", kNoField, 0, "AUXLine21Data", "Line21_BytePair", kUnknown},
    TypeRow{"audio/x-midi-event", kNoField, 0, "Midi", kUnknown, kUnknown},
    TypeRow{"text/x-raw", kNoField, 0, "Text", kUnknown, kUnknown},
};

// Raw video formats with a subtype of their own, as (GStreamer format, subtype).
constexpr std::array<std::array<const char*, 2>, 13> kVideoFormats = {{
    {"YUY2", "YUY2"},
    {"UYVY", "UYVY"},
    {"YVYU", "YVYU"},
    {"Y41B", "Y411"},
    {"YVU9", "YVU9"},
    {"IYU1", "Y411"},
    {"BGR", "RGB24"},
    {"RGB", "RGB24"},
    {"BGRx", "RGB32"},
    {"BGRA", "RGB32"},
    {"RGB16", "RGB565"},
    {"RGB15", "RGB555"},
    {"RGB8P", "RGB8"},
}};

// What no row fits, by the first part of the caps name: (prefix, major, format).
enum FallbackColumn { kFallbackMajor = 1, kFallbackFormat = 2 };
constexpr std::array<std::array<const char*, 3>, 3> kFallbacks = {{
    {"audio/", "Audio", kWaveFormat},
    {"video/", "Video", kVideoInfo},
    {"image/", "Video", kVideoInfo},
}};

const GstStructure* FirstStructure(const GstCaps* caps) {
    if (!caps || gst_caps_is_any(caps) || gst_caps_is_empty(caps)) return nullptr;
    return gst_caps_get_structure(caps, 0);
}

bool FieldEquals(const GstStructure* structure, const char* field, int value) {
    int number = 0;
    if (gst_structure_get_int(structure, field, &number)) return number == value;
    gboolean flag = FALSE;
    if (gst_structure_get_boolean(structure, field, &flag)) return (flag ? 1 : 0) == value;
    return false;
}

const TypeRow* FindRow(const GstStructure* structure) {
    const char* name = gst_structure_get_name(structure);
    for (const TypeRow& row : kRows) {
        if (std::strcmp(row.capsName, name) != 0) continue;
        if (row.field && !FieldEquals(structure, row.field, row.value)) continue;
        return &row;
    }
    return nullptr;
}

const char* Fallback(const GstStructure* structure, FallbackColumn column) {
    const char* name = gst_structure_get_name(structure);
    for (const auto& fallback : kFallbacks) {
        if (g_str_has_prefix(name, fallback[0])) return fallback[column];
    }
    return kUnknown;
}

const char* VideoSubtype(const GstStructure* structure) {
    const char* format = gst_structure_get_string(structure, "format");
    if (!format) return kUnknown;
    for (const auto& row : kVideoFormats) {
        if (std::strcmp(row[0], format) == 0) return row[1];
    }
    return kUnknown;
}

const char* SystemStreamSubtype(const GstStructure* structure) {
    return FieldEquals(structure, "mpegversion", 1) ? "MPEG1System" : "MPEG2_PROGRAM";
}

// Bits per sample: the raw format's width, or the LPCM width; 0 for compressed audio.
int BitsOf(const GstStructure* structure) {
    if (gst_structure_has_name(structure, "audio/x-raw")) {
        const char* format = gst_structure_get_string(structure, "format");
        if (!format) return 0;
        const GstAudioFormatInfo* info =
            gst_audio_format_get_info(gst_audio_format_from_string(format));
        return info ? GST_AUDIO_FORMAT_INFO_WIDTH(info) : 0;
    }
    int width = 0;
    return gst_structure_get_int(structure, "width", &width) ? width : 0;
}

int IntField(const GstStructure* structure, const char* field) {
    int value = 0;
    return gst_structure_get_int(structure, field, &value) ? value : 0;
}

}  // namespace

std::string MajorTypeName(const GstCaps* caps) {
    const GstStructure* structure = FirstStructure(caps);
    if (!structure) return kNullType;
    const TypeRow* row = FindRow(structure);
    return row ? row->major : Fallback(structure, kFallbackMajor);
}

std::string SubtypeName(const GstCaps* caps) {
    const GstStructure* structure = FirstStructure(caps);
    if (!structure) return kNullType;
    const TypeRow* row = FindRow(structure);
    if (!row) return kUnknown;
    if (row->subtype) return row->subtype;
    if (gst_structure_has_name(structure, "video/x-raw")) return VideoSubtype(structure);
    return SystemStreamSubtype(structure);
}

std::string FormatTypeName(const GstCaps* caps) {
    const GstStructure* structure = FirstStructure(caps);
    if (!structure) return kNullFormat;
    const TypeRow* row = FindRow(structure);
    return row ? row->format : Fallback(structure, kFallbackFormat);
}

std::string DescribeCaps(const GstCaps* caps) {
    const std::string major = MajorTypeName(caps);
    const std::string subtype = SubtypeName(caps);
    const std::string format = FormatTypeName(caps);
    std::array<char, 256> text{};
    const GstStructure* structure = FirstStructure(caps);
    if (structure && format == kWaveFormat) {
        std::snprintf(text.data(), text.size(), "%s %s %s %d ch %ld hz %d bits", major.c_str(),
                      subtype.c_str(), format.c_str(), IntField(structure, "channels"),
                      static_cast<long>(IntField(structure, "rate")), BitsOf(structure));
    } else {
        std::snprintf(text.data(), text.size(), "%s %s %s", major.c_str(), subtype.c_str(),
                      format.c_str());
    }
    return text.data();
}

}  // namespace tavrisk

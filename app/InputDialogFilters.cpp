// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InputDialogFilters.h"

#include "app/InputKinds.h"

namespace tavrisk {

namespace {

constexpr const char* kAllFiles = "All files (*)";

// What a filter graph decodes (through the installed GStreamer plugins), films first.
constexpr const char* kGraphFilters[] = {
    "VOB Files (*.vob)",
    "Matroska Files (*.mkv *.mka)",
    "MP4 Files (*.mp4 *.m4v *.m4a *.mov)",
    "MPEG-TS Files (*.m2ts *.mts *.ts)",
    "MPEG Files (*.mpg *.mpeg)",
    "AC3 Files (*.ac3)",
    "E-AC-3 Files (*.eac3 *.ec3)",
    "DTS Files (*.dts)",
    "AAC Files (*.aac)",
    "FLAC Files (*.flac)",
    "WAV Files (*.wav)",
    "AVI Files (*.avi)",
    "MP3 Files (*.mp3)",
    "Ogg Files (*.ogg *.oga *.opus)",
};

}  // namespace

std::string InputDialogFilter(bool graphProcessing) {
    if (!graphProcessing) return NativeInputDialogFilter() + ";;" + kAllFiles;
    std::string filter;
    for (const char* entry : kGraphFilters) filter += std::string(entry) + ";;";
    return filter + kAllFiles;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tavrisk {

class JobHost;
struct JobSettings;
class SampleSource;

// Which names a native input kind reads.
enum class InputNames {
    kExtensionAnywhere,  // any name with ".EXT" in it, in any case (also in a folder's name)
    kEveryOtherName,     // every name no kExtensionAnywhere kind takes
    kThroughOtherKind,   // shown in the file dialog; its files go to the kEveryOtherName kind
};

// A file the native readers take: how the file dialog and the help show it, the names it
// reads, the sample rate its file declares, and its source.
struct InputKind {
    const char* dialogLabel;  // the file dialog's filter, before " (*.EXT)"
    const char* helpName;     // in the command line's help
    const char* extension;    // without the dot
    InputNames names;
    // The rate the file declares, or nothing when it cannot be read.
    std::optional<int> (*probeRate)(const std::string& path);
    std::unique_ptr<SampleSource> (*make)(JobHost& host, const JobSettings& settings);
};

// The native inputs, in the order of the file dialog's filters.
std::span<const InputKind> NativeInputKinds();
// The kind whose source reads `name`.
const InputKind& NativeInputKindOf(const std::string& name);
// The sample rate a native input file declares; nothing for anything but a regular file.
std::optional<int> ProbeNativeInputRate(const std::string& path);
// The file dialog's filters of the native inputs ("Label (*.ext);;...").
std::string NativeInputDialogFilter();
// The native inputs for the help (".ac3, .avi, six-channel .wav").
std::string NativeInputHelpList();

}  // namespace tavrisk

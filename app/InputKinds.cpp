// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InputKinds.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "sources/InputProbe.h"
#include "sources/WavFileSource.h"
#include "sources/ac3/Ac3FileSource.h"
#include "sources/ac3/Ac3RateProbe.h"

namespace tavrisk {

namespace {

template <typename Source>
std::unique_ptr<SampleSource> Make(JobHost& host, const JobSettings& settings) {
    return std::make_unique<Source>(host, settings);
}

constexpr InputKind kInputs[] = {
    {"AC3 Files", ".ac3", "ac3", InputNames::kEveryOtherName, ProbeAc3Rate, Make<Ac3FileSource>},
    {"AVI Files", ".avi", "avi", InputNames::kThroughOtherKind, ProbeAc3Rate, Make<Ac3FileSource>},
    {"6 Channels WAV Files with AC3", "six-channel .wav", "wav", InputNames::kExtensionAnywhere,
     ProbeWavRate, Make<WavFileSource>},
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

std::span<const InputKind> NativeInputKinds() {
    return kInputs;
}

const InputKind& NativeInputKindOf(const std::string& name) {
    const std::string upper = Upper(name);
    const InputKind* other = &kInputs[0];
    for (const InputKind& kind : kInputs) {
        if (kind.names == InputNames::kExtensionAnywhere &&
            upper.find(Upper(std::string(".") + kind.extension)) != std::string::npos)
            return kind;
        if (kind.names == InputNames::kEveryOtherName) other = &kind;
    }
    return *other;
}

std::optional<int> ProbeNativeInputRate(const std::string& path) {
    // Only regular files: opening a pipe would wait for a writer, a device never ends.
    std::error_code status;
    if (!std::filesystem::is_regular_file(path, status)) return std::nullopt;
    return NativeInputKindOf(path).probeRate(path);
}

std::string NativeInputDialogFilter() {
    std::string filter;
    for (const InputKind& kind : kInputs) {
        if (!filter.empty()) filter += ";;";
        filter += std::string(kind.dialogLabel) + " (*." + kind.extension + ")";
    }
    return filter;
}

std::string NativeInputHelpList() {
    std::string list;
    for (const InputKind& kind : kInputs)
        list += (list.empty() ? "" : ", ") + std::string(kind.helpName);
    return list;
}

}  // namespace tavrisk

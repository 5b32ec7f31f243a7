// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/WindowSettings.h"

#include <charconv>
#include <cstdio>
#include <iterator>
#include <optional>
#include <vector>

#include "app/model/LoudnessSetting.h"
#include "app/model/TranscoderDialog.h"
#include "platform/IniFile.h"

namespace tavrisk {

namespace {

constexpr int kColumns = TranscoderDialog::kColumns;
constexpr const char* kPriorityNames[] = {"normal", "idle", "high"};
constexpr int kPriorityCount = static_cast<int>(std::size(kPriorityNames));

std::optional<int> ReadInt(const IniFile& file, const std::string& key) {
    const std::string text = file.Get(WindowSettings::kSection, key);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// An integer in [low, high], else nothing.
std::optional<int> ReadInRange(const IniFile& file, const std::string& key, int low, int high) {
    const std::optional<int> value = ReadInt(file, key);
    return value && *value >= low && *value <= high ? value : std::nullopt;
}

std::optional<bool> ReadSwitch(const IniFile& file, const std::string& key) {
    const std::optional<int> value = ReadInRange(file, key, 0, 1);
    return value ? std::optional<bool>(*value == 1) : std::nullopt;
}

std::string Column(const char* key, int column) {
    return key + std::to_string(column + 1);
}

// A curve's points as "in:out" pairs in dB, separated by blanks.
std::string CurveText(const DrpCurve& curve) {
    const int count = curve.GetPointCount();
    std::vector<float> in(count), out(count);
    curve.GetPointsDb(in.data(), out.data());
    std::string text;
    for (int i = 0; i < count; ++i) {
        char pair[48];
        std::snprintf(pair, sizeof pair, "%s%g:%g", i ? " " : "", static_cast<double>(in[i]),
                      static_cast<double>(out[i]));
        text += pair;
    }
    return text;
}

// The points of a CurveText; false for a text that is not one.
bool ReadCurve(const std::string& text, std::vector<float>& in, std::vector<float>& out) {
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    while (at < end) {
        float input = 0.0f, output = 0.0f;
        auto read = std::from_chars(at, end, input);
        if (read.ec != std::errc() || read.ptr == end || *read.ptr != ':') return false;
        read = std::from_chars(read.ptr + 1, end, output);
        if (read.ec != std::errc()) return false;
        in.push_back(input);
        out.push_back(output);
        at = read.ptr;
        if (at < end && *at++ != ' ') return false;
    }
    return !in.empty();
}

void RestoreChannels(const IniFile& file, TranscoderDialog& model) {
    // Each column as stored: links are set once the columns are.
    const int normalizeLink = model.NormalizeLinkMode(), drpLink = model.DrpLinkMode();
    model.SelectNormalizeLink(0);
    model.SelectDrpLink(0);
    for (int k = 0; k < kColumns; ++k) {
        if (const auto gain = ReadInRange(file, Column("Gain", k), 0, 100))
            model.OnSliderScroll(k, *gain);
        std::vector<float> in, out;
        if (ReadCurve(file.Get(WindowSettings::kSection, Column("Curve", k)), in, out))
            model.SetCurvePoints(k, in, out);
        if (const auto release = ReadInRange(file, Column("Release", k), 0, 1000000))
            model.SetReleaseTime(k, *release);
    }
    const int lastLink = static_cast<int>(model.Controls().normalizeLink.items.size()) - 1;
    model.SelectNormalizeLink(
        ReadInRange(file, "NormalizeLink", 0, lastLink).value_or(normalizeLink));
    model.SelectDrpLink(ReadInRange(file, "DrpLink", 0, lastLink).value_or(drpLink));
    if (const auto on = ReadSwitch(file, "Normalize")) model.SetNormalize(*on);
    if (const auto on = ReadSwitch(file, "Drp")) model.SetDrp(*on);
}

}  // namespace

WindowSettings::Size WindowSettings::Restore(TranscoderDialog& model) const {
    IniFile file(path);
    if (path.empty() || !file.Load()) return {};
    const auto text = [&file](const char* key) { return file.Get(kSection, key); };
    if (const auto graph = ReadSwitch(file, "GraphProcessing"))
        model.SelectProcessingType(*graph ? TranscoderDialog::kProcessingGraph
                                          : TranscoderDialog::kProcessingNative);
    if (const int engine = OutputEngineItemNamed(text("Engine")); engine >= 0)
        model.SelectOutputEngine(engine);
    if (const auto rate = ReadInt(file, "OutputRate"); rate == 44100 || rate == 48000)
        model.SelectOutputFrequency(*rate == 44100 ? TranscoderDialog::kFreq44100
                                                   : TranscoderDialog::kFreq48000);
    if (const auto kbps = ReadInt(file, "Bitrate")) {
        const int item = TranscoderDialog::BitrateItemOf(*kbps);
        if (item >= 0 && TranscoderDialog::BitrateRefusal(*kbps).empty()) model.SelectBitrate(item);
    }
    if (const auto on = ReadSwitch(file, "HighQuality")) model.SetHighQuality(*on);
    if (const auto insert = ReadSwitch(file, "ResyncInsert"))
        model.SelectResyncDirection(*insert ? TranscoderDialog::kResyncInsert
                                            : TranscoderDialog::kResyncSkip);
    for (int item = 0; item < kPriorityCount; ++item)
        if (text("Priority") == kPriorityNames[item]) model.SelectPriority(item);
    RestoreChannels(file, model);
    // A file without them (saved before they were kept here) leaves them as they are; what
    // cannot be read keeps its default, and the program names it when it starts.
    if (!file.Keys(LoudnessSetting::kSection).empty()) {
        std::string unreadable;
        model.SetLoudnessNormalization(LoudnessSetting::ReadFrom(file, unreadable));
    }
    model.SetLastFolders(text("InputFolder"), text("OutputFolder"));
    return {ReadInRange(file, "Width", 0, 1 << 15).value_or(0),
            ReadInRange(file, "Height", 0, 1 << 15).value_or(0)};
}

bool WindowSettings::Save(const TranscoderDialog& model, Size size) const {
    IniFile file(path);
    if (path.empty() || !file.Load()) return false;
    const auto set = [&file](const std::string& key, const std::string& value) {
        file.Set(kSection, key, value);
    };
    const auto setInt = [&set](const std::string& key, int value) {
        set(key, std::to_string(value));
    };
    const ControlStates& c = model.Controls();
    setInt("GraphProcessing", model.GraphProcessing() ? 1 : 0);
    const OutputEngineKind* engine = model.SelectedEngine();
    set("Engine", engine ? engine->cliName : "");
    setInt("OutputRate", model.GetOutputRate());
    setInt("Bitrate", model.GetBitrate());
    setInt("HighQuality", c.highQuality.checked ? 1 : 0);
    setInt("ResyncInsert", c.resyncDirection.selected == TranscoderDialog::kResyncInsert ? 1 : 0);
    const int priority = c.priority.selected;
    set("Priority", priority >= 0 && priority < kPriorityCount ? kPriorityNames[priority] : "");
    setInt("Normalize", model.IsNormalizeOn() ? 1 : 0);
    setInt("NormalizeLink", model.NormalizeLinkMode());
    setInt("Drp", model.IsDrpOn() ? 1 : 0);
    setInt("DrpLink", model.DrpLinkMode());
    for (int k = 0; k < kColumns; ++k) {
        setInt(Column("Gain", k), model.SliderPosition(k));
        set(Column("Curve", k), CurveText(model.Curve(k)));
        setInt(Column("Release", k), model.Curve(k).GetReleaseMs());
    }
    LoudnessSetting::WriteTo(file, model.GetLoudnessNormalization());
    set("InputFolder", model.LastInputFolder());
    set("OutputFolder", model.LastOutputFolder());
    setInt("Width", size.width);
    setInt("Height", size.height);
    return file.Save();
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/LoudnessSetting.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/IniFile.h"

namespace tavrisk {

namespace {

constexpr const char* kPeakName = "peak";
constexpr const char* kLoudnessName = "loudness";

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

bool LoudnessSetting::ParseLevel(const std::string& text, double lowest, double highest,
                                 double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(parsed) || parsed < lowest || parsed > highest) return false;
    value = parsed;
    return true;
}

LoudnessNormalization LoudnessSetting::Read(const std::string& iniPath, std::string& problem) {
    problem.clear();
    IniFile file(iniPath);
    if (iniPath.empty() || !file.Load()) return {};
    return ReadFrom(file, problem);
}

LoudnessNormalization LoudnessSetting::ReadFrom(const IniFile& file, std::string& problem) {
    problem.clear();
    LoudnessNormalization values;
    auto refuse = [&](const char* key, const std::string& value, const std::string& wanted) {
        problem += (problem.empty() ? "" : "; ") + file.Path() + ": [" + kSection + "] " + key +
                   "=" + value + " is not " + wanted;
    };
    const std::string kind = file.Get(kSection, kKindKey);
    if (kind == kLoudnessName)
        values.kind = NormalizeKind::kLoudness;
    else if (!kind.empty() && kind != kPeakName)
        refuse(kKindKey, kind, "peak or loudness");
    const std::string target = file.Get(kSection, kTargetKey);
    if (!target.empty() &&
        !ParseLevel(target, LoudnessNormalization::kLowestTargetLufs,
                    LoudnessNormalization::kHighestTargetLufs, values.targetLufs))
        refuse(kTargetKey, target, "a loudness from -70 to -5 LUFS");
    const std::string ceiling = file.Get(kSection, kCeilingKey);
    if (!ceiling.empty() &&
        !ParseLevel(ceiling, LoudnessNormalization::kLowestCeilingDbtp,
                    LoudnessNormalization::kHighestCeilingDbtp, values.ceilingDbtp))
        refuse(kCeilingKey, ceiling, "a true peak from -20 to 0 dBTP");
    return values;
}

bool LoudnessSetting::Write(const std::string& iniPath, const LoudnessNormalization& values) {
    IniFile file(iniPath);
    if (iniPath.empty() || !file.Load()) return false;
    WriteTo(file, values);
    return file.Save();
}

void LoudnessSetting::WriteTo(IniFile& file, const LoudnessNormalization& values) {
    file.Set(kSection, kKindKey,
             values.kind == NormalizeKind::kLoudness ? kLoudnessName : kPeakName);
    file.Set(kSection, kTargetKey, Decimal(values.targetLufs));
    file.Set(kSection, kCeilingKey, Decimal(values.ceilingDbtp));
}

}  // namespace tavrisk

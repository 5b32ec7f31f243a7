// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "dsp/LoudnessTarget.h"

namespace tavrisk {

class IniFile;

// The normalisation kind, loudness target and true-peak ceiling kept in the settings file:
// "KIND=peak|loudness", "TARGET=-23.0" and "TRUE_PEAK=-1.0" in the section "[LOUDNESS]".
class LoudnessSetting {
  public:
    static constexpr const char* kSection = "LOUDNESS";
    static constexpr const char* kKindKey = "KIND";
    static constexpr const char* kTargetKey = "TARGET";
    static constexpr const char* kCeilingKey = "TRUE_PEAK";

    // What the file at `iniPath` sets, the defaults for what it does not; a value that cannot
    // be read keeps its default, with `problem` saying what is wrong.
    static LoudnessNormalization Read(const std::string& iniPath, std::string& problem);
    // Keeps `values` in the file (its other lines untouched); false when it cannot be written.
    static bool Write(const std::string& iniPath, const LoudnessNormalization& values);
    // The same on a file loaded by the caller (which saves it).
    static LoudnessNormalization ReadFrom(const IniFile& file, std::string& problem);
    static void WriteTo(IniFile& file, const LoudnessNormalization& values);
    // A target or ceiling from text: a number in its range.
    static bool ParseLevel(const std::string& text, double lowest, double highest, double& value);
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/WavOrderSetting.h"

#include "platform/IniFile.h"

namespace tavrisk {

WavChannelOrder WavOrderSetting::Read(const std::string& iniPath, std::string& problem) {
    problem.clear();
    IniFile file(iniPath);
    if (iniPath.empty() || !file.Load()) return WavChannelOrder::kStandard;
    const std::string value = file.Get(kSection, kKey);
    if (value.empty()) return WavChannelOrder::kStandard;
    if (const auto order = WavChannelOrderNamed(value)) return *order;
    problem = iniPath + ": [" + kSection + "] " + kKey + "=" + value + " is not one of " +
              kWavOrderNames + "; six-channel WAV files are written in the standard order";
    return WavChannelOrder::kStandard;
}

}  // namespace tavrisk

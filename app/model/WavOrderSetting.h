// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/WavChannelOrder.h"

namespace tavrisk {

// The six-channel WAV order kept in the settings file: "WAV_ORDER=standard" or
// "WAV_ORDER=film" in the section "[OUTPUT]". The command line's --wav-order overrides it.
class WavOrderSetting {
  public:
    static constexpr const char* kSection = "OUTPUT";
    static constexpr const char* kKey = "WAV_ORDER";

    // The order the file at `iniPath` sets; the standard one when it sets none. A value that
    // cannot be read gives the standard order too, with `problem` saying what is wrong.
    static WavChannelOrder Read(const std::string& iniPath, std::string& problem);
};

}  // namespace tavrisk

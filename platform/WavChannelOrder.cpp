// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WavChannelOrder.h"

namespace tavrisk {

std::optional<WavChannelOrder> WavChannelOrderNamed(std::string_view name) {
    if (name == "standard") return WavChannelOrder::kStandard;
    if (name == "film") return WavChannelOrder::kFilm;
    return std::nullopt;
}

}  // namespace tavrisk

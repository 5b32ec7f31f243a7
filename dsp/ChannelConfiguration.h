// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrisk {

// Front and surround channels of an encoded stream, and whether it carries the LFE channel:
// 3/2 with LFE ("3/2.1") is the full 5.1.
struct ChannelConfiguration {
    int front = 3;
    int surround = 2;
    bool lfe = true;

    bool operator==(const ChannelConfiguration&) const = default;
};

// "F/S" or "F/S.1" (with LFE); nothing for other text. Whether the stream can carry the
// configuration is the encoder's to say.
std::optional<ChannelConfiguration> ParseChannelConfiguration(std::string_view text);
// The same notation: "3/2.1", "2/0".
std::string ChannelConfigurationName(const ChannelConfiguration& channels);
// Why a Layer II stream cannot carry the configuration (3/2, 3/1, 3/0, 2/2 and 2/1, each
// with or without LFE, 2/0 and 1/0); empty when it can.
std::string ChannelConfigurationProblem(const ChannelConfiguration& channels);

}  // namespace tavrisk

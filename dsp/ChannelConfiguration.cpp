// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/ChannelConfiguration.h"

namespace tavrisk {
namespace {

constexpr std::string_view kLfeSuffix = ".1";

std::optional<int> Digit(char c) {
    if (c < '0' || c > '9') return std::nullopt;
    return c - '0';
}

}  // namespace

std::optional<ChannelConfiguration> ParseChannelConfiguration(std::string_view text) {
    ChannelConfiguration channels;
    channels.lfe = text.ends_with(kLfeSuffix);
    if (channels.lfe) text.remove_suffix(kLfeSuffix.size());
    if (text.size() != 3 || text[1] != '/') return std::nullopt;
    const auto front = Digit(text[0]);
    const auto surround = Digit(text[2]);
    if (!front || !surround) return std::nullopt;
    channels.front = *front;
    channels.surround = *surround;
    return channels;
}

std::string ChannelConfigurationName(const ChannelConfiguration& channels) {
    return std::to_string(channels.front) + "/" + std::to_string(channels.surround) +
           (channels.lfe ? std::string(kLfeSuffix) : std::string());
}

std::string ChannelConfigurationProblem(const ChannelConfiguration& c) {
    const bool known = (c.front == 2 || c.front == 3) ? c.surround >= 0 && c.surround <= 2
                                                      : c.front == 1 && c.surround == 0;
    const std::string name = std::to_string(c.front) + "/" + std::to_string(c.surround);
    if (!known)
        return "there is no " + name +
               " channel configuration: use 3/2, 3/1, 3/0, 2/2, 2/1, 2/0 or 1/0";
    if (c.lfe && c.front + c.surround <= 2)
        return "the " + name + " configuration carries no LFE channel";
    return {};
}

}  // namespace tavrisk

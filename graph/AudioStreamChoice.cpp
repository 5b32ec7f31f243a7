// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/AudioStreamChoice.h"

#include <algorithm>
#include <cstdio>

namespace tavrisk {
namespace {

constexpr int kMostChannelsCounted = 6;  // 5.1: a 7.1 stream ranks with it
constexpr uint64_t kNsPerMs = 1000000;

int ChannelRank(const AudioStreamDescription& stream) {
    return std::min(stream.channels, kMostChannelsCounted);
}

bool RanksAbove(const AudioStreamDescription& a, const AudioStreamDescription& b) {
    if (ChannelRank(a) != ChannelRank(b)) return ChannelRank(a) > ChannelRank(b);
    return static_cast<int>(a.flag) > static_cast<int>(b.flag);
}

std::string ClockText(uint64_t ns) {
    const uint64_t ms = ns / kNsPerMs;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu",
                  static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60),
                  static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

}  // namespace

std::optional<AudioStreamChoice> ChooseAudioStream(
    const std::vector<AudioStreamDescription>& streams, std::optional<std::size_t> wanted) {
    if (streams.empty()) return std::nullopt;
    if (wanted) {
        if (*wanted >= streams.size()) return std::nullopt;
        return AudioStreamChoice{*wanted, "the track asked for"};
    }
    if (streams.size() == 1) return AudioStreamChoice{0, "the only audio track"};
    std::size_t chosen = 0;
    for (std::size_t i = 1; i < streams.size(); ++i) {
        if (RanksAbove(streams[i], streams[chosen])) chosen = i;
    }
    const bool tied = std::any_of(streams.begin(), streams.end(), [&](const auto& other) {
        return &other != &streams[chosen] && ChannelRank(other) == ChannelRank(streams[chosen]);
    });
    std::string reason = "the first with the most channels, up to 5.1";
    if (tied && streams[chosen].flag == DefaultFlag::kDefault)
        reason = "the default of those with the most channels, up to 5.1";
    return AudioStreamChoice{chosen, reason};
}

std::string DescribeAudioStream(std::size_t index, const AudioStreamDescription& stream) {
    std::string text =
        std::to_string(index + 1) + ": " + (stream.codec.empty() ? "?" : stream.codec);
    const std::string count = std::to_string(stream.channels) + " channels";
    text += ", " + (stream.layout == count || stream.layout.empty()
                        ? count
                        : stream.layout + " (" + count + ")");
    if (stream.rate > 0) text += ", " + std::to_string(stream.rate) + " Hz";
    if (!stream.samples.empty()) text += ", " + stream.samples;
    if (!stream.language.empty()) text += ", " + stream.language;
    if (!stream.title.empty()) text += ", \"" + stream.title + "\"";
    if (stream.flag == DefaultFlag::kDefault) text += ", default";
    if (stream.durationNs) text += ", " + ClockText(*stream.durationNs);
    return text;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/AudioLayout.h"

#include <vector>

namespace tavrisk {
namespace {

constexpr int kMissing = FilmChannelMap::kSilentSlot;
constexpr int kSlotLs = 3;
constexpr int kSlotRs = 4;
constexpr float kMinus3Db = 0.70710678f;
constexpr std::array<const char*, kFilmChannels> kSlotNames = {"L", "C", "R", "LS", "RS", "LFE"};

// "A", "A and B", "A, B and C".
std::string ListOf(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

int FindPosition(const GstAudioInfo& info, GstAudioChannelPosition wanted,
                 GstAudioChannelPosition alternative) {
    for (int i = 0; i < GST_AUDIO_INFO_CHANNELS(&info); ++i) {
        const GstAudioChannelPosition position = GST_AUDIO_INFO_POSITION(&info, i);
        if (position == wanted || position == alternative) return i;
    }
    return kMissing;
}

// Channels without positions: six of them are taken in the usual order of six-channel files
// (WAV, and decoders that do not name their channels): L, R, C, LFE, LS, RS.
bool Unpositioned(const GstAudioInfo& info) {
    if (GST_AUDIO_INFO_IS_UNPOSITIONED(&info)) return true;
    for (int i = 0; i < GST_AUDIO_INFO_CHANNELS(&info); ++i)
        if (GST_AUDIO_INFO_POSITION(&info, i) != GST_AUDIO_CHANNEL_POSITION_NONE) return false;
    return true;
}

constexpr std::array<int, kFilmChannels> kUnpositionedOrder = {0, 2, 1, 4, 5, 3};

bool HasLfe(const GstAudioInfo& info) {
    return FindPosition(info, GST_AUDIO_CHANNEL_POSITION_LFE1, GST_AUDIO_CHANNEL_POSITION_LFE1) !=
           kMissing;
}

}  // namespace

std::string LayoutName(const GstAudioInfo& info) {
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    if (channels == kFilmChannels && (HasLfe(info) || Unpositioned(info))) return "5.1";
    if (channels == 8 && HasLfe(info)) return "7.1";
    return std::to_string(channels) + " channels";
}

bool FilmChannelMap::Reorders(int channels) const {
    if (channels != kFilmChannels) return false;
    for (int slot = 0; slot < kFilmChannels; ++slot) {
        if (source[slot] == kSilentSlot || added[slot] != kSilentSlot || gain[slot] != 1.0f)
            return false;
    }
    return true;
}

std::optional<FilmChannelMap> MapIntoFilmChannels(const GstAudioInfo& info) {
    FilmChannelMap map;
    map.gain.fill(1.0f);
    map.added.fill(kMissing);
    if (Unpositioned(info)) {
        if (GST_AUDIO_INFO_CHANNELS(&info) != kFilmChannels) return std::nullopt;
        map.source = kUnpositionedOrder;
        return map;
    }
    using P = GstAudioChannelPosition;
    constexpr std::array<std::array<P, 2>, kFilmChannels> kWanted = {{
        {GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT},
        {GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_MONO},
        {GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT},
        {GST_AUDIO_CHANNEL_POSITION_REAR_LEFT, GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT},
        {GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT, GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT},
        {GST_AUDIO_CHANNEL_POSITION_LFE1, GST_AUDIO_CHANNEL_POSITION_LFE1},
    }};
    bool any = false;
    for (int slot = 0; slot < kFilmChannels; ++slot) {
        map.source[slot] = FindPosition(info, kWanted[slot][0], kWanted[slot][1]);
        any = any || map.source[slot] != kMissing;
    }
    // Rear and side pairs both (7.1): each into the surrounds at -3 dB.
    for (int slot : {kSlotLs, kSlotRs}) {
        const int side = FindPosition(info, kWanted[slot][1], kWanted[slot][1]);
        if (map.source[slot] != kMissing && side != kMissing && side != map.source[slot]) {
            map.added[slot] = side;
            map.gain[slot] = kMinus3Db;
        }
    }
    const int rearCentre = FindPosition(info, GST_AUDIO_CHANNEL_POSITION_REAR_CENTER,
                                        GST_AUDIO_CHANNEL_POSITION_REAR_CENTER);
    for (int slot : {kSlotLs, kSlotRs}) {
        if (map.source[slot] == kMissing && rearCentre != kMissing) {
            map.source[slot] = rearCentre;
            map.gain[slot] = kMinus3Db;
            any = true;
        }
    }
    if (!any) return std::nullopt;
    return map;
}

std::string DescribeMapping(const GstAudioInfo& info, const FilmChannelMap& map) {
    const std::string layout = LayoutName(info);
    if (map.Reorders(GST_AUDIO_INFO_CHANNELS(&info))) return "";
    if (map.added[kSlotLs] != kMissing || map.added[kSlotRs] != kMissing)
        return layout +
               " folded to 5.1: back channels into the surrounds at \u2212"
               "3 dB";
    std::vector<std::string> placed, silent;
    for (int slot = 0; slot < kFilmChannels; ++slot)
        (map.source[slot] == kMissing ? silent : placed).push_back(kSlotNames[slot]);
    std::string text = layout + " placed in " + ListOf(placed);
    if (!silent.empty())
        text += "; " + ListOf(silent) + (silent.size() == 1 ? " is" : " are") + " silent";
    if (map.gain[kSlotLs] != 1.0f && map.added[kSlotLs] == kMissing)
        text +=
            "; the rear centre feeds both surrounds at \u2212"
            "3 dB";
    return text;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/AudioLayout.h"

#include <algorithm>
#include <vector>

namespace tavrisk {
namespace {

constexpr int kMissing = FilmChannelMap::kSilentSlot;
constexpr int kSlotLs = 3;
constexpr int kSlotRs = 4;
constexpr float kMinus3Db = 0.70710678f;
constexpr std::array<const char*, kFilmChannels> kSlotNames = {"L",  "C",  "R",
                                                               "LS", "RS", "the LFE"};

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

bool Has(const GstAudioInfo& info, GstAudioChannelPosition position) {
    return FindPosition(info, position, position) != kMissing;
}

bool HasLfe(const GstAudioInfo& info) {
    return Has(info, GST_AUDIO_CHANNEL_POSITION_LFE1);
}

// The usual names of the layouts of films and music, by the channels they hold: fronts,
// centre, LFE, surround pairs (rear or side) and rear centre.
struct NamedLayout {
    bool centre;
    bool lfe;
    int surroundPairs;
    bool rearCentre;
    const char* name;
};
constexpr NamedLayout kNamedLayouts[] = {
    {false, true, 0, false, "2.1"}, {true, false, 0, false, "3.0"},
    {true, true, 0, false, "3.1"},  {true, false, 0, true, "4.0"},
    {true, true, 0, true, "4.1"},   {false, false, 1, false, "quad"},
    {true, false, 1, false, "5.0"}, {true, true, 1, false, "5.1"},
    {true, false, 1, true, "6.0"},  {true, true, 1, true, "6.1"},
    {true, false, 2, false, "7.0"}, {true, true, 2, false, "7.1"},
};

// The name of a layout with both front channels and nothing beyond those of kNamedLayouts;
// null for any other.
const char* NameOfPositions(const GstAudioInfo& info) {
    using P = GstAudioChannelPosition;
    if (!Has(info, GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT) ||
        !Has(info, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT))
        return nullptr;
    const auto pair = [&](P left, P right) { return Has(info, left) && Has(info, right) ? 1 : 0; };
    const NamedLayout wanted{
        Has(info, GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER), HasLfe(info),
        pair(GST_AUDIO_CHANNEL_POSITION_REAR_LEFT, GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT) +
            pair(GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT, GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT),
        Has(info, GST_AUDIO_CHANNEL_POSITION_REAR_CENTER), nullptr};
    const int counted = 2 + (wanted.centre ? 1 : 0) + (wanted.lfe ? 1 : 0) +
                        2 * wanted.surroundPairs + (wanted.rearCentre ? 1 : 0);
    if (counted != GST_AUDIO_INFO_CHANNELS(&info)) return nullptr;
    for (const NamedLayout& layout : kNamedLayouts) {
        if (layout.centre == wanted.centre && layout.lfe == wanted.lfe &&
            layout.surroundPairs == wanted.surroundPairs && layout.rearCentre == wanted.rearCentre)
            return layout.name;
    }
    return nullptr;
}

}  // namespace

std::string LayoutName(const GstAudioInfo& info) {
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    if (Unpositioned(info))
        return channels == kFilmChannels ? "5.1" : std::to_string(channels) + " channels";
    if (const char* name = NameOfPositions(info)) return name;
    if (channels == kFilmChannels && HasLfe(info)) return "5.1";
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
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    if (map.Reorders(channels)) return "";
    if (map.added[kSlotLs] != kMissing || map.added[kSlotRs] != kMissing)
        return layout +
               " folded to 5.1: back channels into the surrounds at \u2212"
               "3 dB";
    std::vector<std::string> placed, silent;
    std::vector<bool> used(static_cast<std::size_t>(channels), false);
    for (int slot = 0; slot < kFilmChannels; ++slot) {
        const int from = map.source[slot];
        (from == kMissing ? silent : placed).push_back(kSlotNames[slot]);
        if (from != kMissing) used[static_cast<std::size_t>(from)] = true;
    }
    std::string text = layout + " mapped to 5.1";
    // Where a lone channel, or a layout without a usual name, goes is said.
    if (layout == "mono" || layout.find(" channels") != std::string::npos)
        text += " as " + ListOf(placed);
    if (!silent.empty())
        text += ": " + ListOf(silent) + (silent.size() == 1 ? " stays" : " stay") + " silent";
    if (map.gain[kSlotLs] != 1.0f && map.added[kSlotLs] == kMissing)
        text += std::string(silent.empty() ? ": " : "; ") +
                "the rear centre feeds both surrounds at \u2212"
                "3 dB";
    const auto left = std::count(used.begin(), used.end(), false);
    if (left > 0)
        text += "; " + std::to_string(left) + (left == 1 ? " channel" : " channels") +
                " of other positions left out";
    return text;
}

}  // namespace tavrisk

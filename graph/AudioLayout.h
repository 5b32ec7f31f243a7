// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/audio/audio.h>

#include <array>
#include <optional>
#include <string>

namespace tavrisk {

inline constexpr int kFilmChannels = 6;

// The layout's usual name: "mono", "stereo", "2.1", "3.0", "3.1", "4.0" (with a rear centre),
// "4.1", "quad", "5.0", "5.1" (also six channels without positions), "6.0", "6.1", "7.0",
// "7.1", or "N channels" for any other count or arrangement.
std::string LayoutName(const GstAudioInfo& info);

// How the channels of a stream fill the six of a film, L, C, R, LS, RS, LFE: for each, the
// index of the stream's channel that carries it (kSilentSlot where the stream has none), a
// second channel added to it (kSilentSlot: none) and the gain of both. Channels are placed
// by position (rear or side positions both serve as surrounds; with both, as in 7.1, each
// pair goes into the surrounds at -3 dB; mono is the centre; a single rear centre feeds both
// surrounds at -3 dB); channels of other positions are left out. Six channels without
// positions are taken in the usual file order L, R, C, LFE, LS, RS.
struct FilmChannelMap {
    static constexpr int kSilentSlot = -1;
    std::array<int, kFilmChannels> source{};
    std::array<int, kFilmChannels> added{};
    std::array<float, kFilmChannels> gain{};
    // True when each slot is the stream's channel of that position at full level, and the
    // stream has the six: a plain reordering.
    bool Reorders(int channels) const;
};

// Nothing when the stream's channels cannot be placed: without positions (other than six of
// them), or none of the six positions among them.
std::optional<FilmChannelMap> MapIntoFilmChannels(const GstAudioInfo& info);

// What the map does to a stream that is not plain 5.1, in words for the job's report ("7.1
// folded to 5.1: back channels into the surrounds at -3 dB", "5.0 mapped to 5.1: the LFE
// stays silent", "mono mapped to 5.1 as C: L, R, LS, RS and the LFE stay silent"); "" for 5.1.
std::string DescribeMapping(const GstAudioInfo& info, const FilmChannelMap& map);

}  // namespace tavrisk

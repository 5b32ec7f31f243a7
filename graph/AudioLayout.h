#pragma once

#include <gst/audio/audio.h>

#include <array>
#include <optional>
#include <string>

namespace tavrisk {

inline constexpr int kFilmChannels = 6;

// "mono", "stereo", "5.1" (also six channels without positions), "7.1", or "N channels" for
// any other count or arrangement.
std::string LayoutName(const GstAudioInfo& info);

// How the channels of a stream fill the six of a film, L, C, R, LS, RS, LFE: for each, the
// index of the stream's channel that carries it (kSilentSlot where the stream has none) and
// its gain. Channels are placed by position (rear or side positions both serve as
// surrounds; mono is the centre; a single rear centre feeds both surrounds at -3 dB);
// channels of other positions are left out. Six channels without positions are taken in
// the usual file order L, R, C, LFE, LS, RS.
struct FilmChannelMap {
    static constexpr int kSilentSlot = -1;
    std::array<int, kFilmChannels> source{};
    std::array<float, kFilmChannels> gain{};
    // True when each slot is the stream's channel of that position at full level, and the
    // stream has the six: a plain reordering.
    bool Reorders(int channels) const;
};

// Nothing when the stream's channels cannot be placed: without positions (other than six of
// them), or none of the six positions among them.
std::optional<FilmChannelMap> MapIntoFilmChannels(const GstAudioInfo& info);

}  // namespace tavrisk

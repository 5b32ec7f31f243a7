#pragma once

#include <gst/audio/audio.h>

#include <array>
#include <optional>
#include <string>

namespace tavrisk {

inline constexpr int kFilmChannels = 6;

// "mono", "stereo", "5.1", "7.1", or "N channels" for any other count or arrangement.
std::string LayoutName(const GstAudioInfo& info);

// For a six-channel stream: the index, in the negotiated channel order, of each channel in the
// order L, C, R, LS, RS, LFE (rear or side positions both serve as surrounds). Nothing when a
// position is missing or the channels carry no positions.
std::optional<std::array<int, kFilmChannels>> FilmChannelOrder(const GstAudioInfo& info);

}  // namespace tavrisk

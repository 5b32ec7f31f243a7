#include "graph/AudioLayout.h"

namespace tavrisk {
namespace {

constexpr int kMissing = -1;

int FindPosition(const GstAudioInfo& info, GstAudioChannelPosition wanted,
                 GstAudioChannelPosition alternative) {
    for (int i = 0; i < GST_AUDIO_INFO_CHANNELS(&info); ++i) {
        const GstAudioChannelPosition position = GST_AUDIO_INFO_POSITION(&info, i);
        if (position == wanted || position == alternative) return i;
    }
    return kMissing;
}

bool HasLfe(const GstAudioInfo& info) {
    return FindPosition(info, GST_AUDIO_CHANNEL_POSITION_LFE1, GST_AUDIO_CHANNEL_POSITION_LFE1) !=
           kMissing;
}

}  // namespace

std::string LayoutName(const GstAudioInfo& info) {
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    if (channels == kFilmChannels && HasLfe(info)) return "5.1";
    if (channels == 8 && HasLfe(info)) return "7.1";
    return std::to_string(channels) + " channels";
}

std::optional<std::array<int, kFilmChannels>> FilmChannelOrder(const GstAudioInfo& info) {
    if (GST_AUDIO_INFO_CHANNELS(&info) != kFilmChannels) return std::nullopt;
    using P = GstAudioChannelPosition;
    constexpr std::array<std::array<P, 2>, kFilmChannels> kWanted = {{
        {GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT},
        {GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER},
        {GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT},
        {GST_AUDIO_CHANNEL_POSITION_REAR_LEFT, GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT},
        {GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT, GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT},
        {GST_AUDIO_CHANNEL_POSITION_LFE1, GST_AUDIO_CHANNEL_POSITION_LFE1},
    }};
    std::array<int, kFilmChannels> order{};
    for (int slot = 0; slot < kFilmChannels; ++slot) {
        order[slot] = FindPosition(info, kWanted[slot][0], kWanted[slot][1]);
        if (order[slot] == kMissing) return std::nullopt;
    }
    return order;
}

}  // namespace tavrisk

#include "graph/AudioStreamChoice.h"

namespace tavrisk {
namespace {

int Rank(const AudioStreamDescription& stream) {
    return static_cast<int>(stream.flag);
}

}  // namespace

std::size_t ChooseAudioStream(const std::vector<AudioStreamDescription>& streams) {
    std::size_t chosen = 0;
    for (std::size_t i = 1; i < streams.size(); ++i) {
        if (Rank(streams[i]) > Rank(streams[chosen])) chosen = i;
    }
    return chosen;
}

}  // namespace tavrisk

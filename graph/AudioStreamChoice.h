#pragma once

#include <cstddef>
#include <vector>

namespace tavrisk {

// What a container says of one of its audio streams being played by default.
enum class DefaultFlag { kNotDefault, kUnflagged, kDefault };

// One decodable audio stream of a file, as the choice of the stream to read sees it.
struct AudioStreamDescription {
    DefaultFlag flag = DefaultFlag::kUnflagged;
};

// The index of the stream a job reads, of streams in the file's order (at least one): the
// best ranked, the first of equals. A stream flagged default ranks above one without a
// flag, which ranks above one flagged not to be played.
std::size_t ChooseAudioStream(const std::vector<AudioStreamDescription>& streams);

}  // namespace tavrisk

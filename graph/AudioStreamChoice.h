// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrisk {

// What a container says of one of its audio streams being played by default.
enum class DefaultFlag { kNotDefault, kUnflagged, kDefault };

// One decodable audio stream of a file, as the listing and the choice of the stream see it.
struct AudioStreamDescription {
    DefaultFlag flag = DefaultFlag::kUnflagged;
    int channels = 0;
    std::string layout;   // "5.1", "stereo", ... (LayoutName)
    int rate = 0;         // Hz
    std::string samples;  // what the decoder gives: "16-bit", "24-bit", "32-bit", "float"
    std::string codec;    // "E-AC-3", "FLAC", ... or "PCM"
    std::string language;
    std::string title;
    std::optional<uint64_t> durationNs;
};

// The stream a job reads, of streams in the file's order, and why it was taken.
struct AudioStreamChoice {
    std::size_t index = 0;
    std::string reason;
};

// The stream a user asked for (0-based; nothing when it is not there), or else the first with
// the most channels up to 5.1 (a 5.1 film mix over a stereo commentary before it, a 7.1 mix
// no better than 5.1), among equals the one flagged default, then the first. At least one
// stream.
std::optional<AudioStreamChoice> ChooseAudioStream(
    const std::vector<AudioStreamDescription>& streams, std::optional<std::size_t> wanted = {});

// "2: E-AC-3, 5.1 (6 channels), 48000 Hz, float, eng, \"Film\", default, 0:01:30.000": the
// stream's number (from 1) and what is known of it; the parts not known are left out.
std::string DescribeAudioStream(std::size_t index, const AudioStreamDescription& stream);

}  // namespace tavrisk

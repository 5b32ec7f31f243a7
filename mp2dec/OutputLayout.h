// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "mp2dec/Dematrixer.h"
#include "mp2dec/FrameContent.h"
#include "mp2dec/FrameHeader.h"

namespace tavrisk::mp2dec {

// Where a decoded channel is heard. The order is that of the speaker bits of a WAV channel
// mask, which is also the order GStreamer gives its positions.
enum class Speaker {
    kFrontLeft,
    kFrontRight,
    kFrontCentre,
    kLfe,
    kBackLeft,
    kBackRight,
    kBackCentre,
    kMono
};

// The channels of a decoded stream: the decoded channels (L, C, R, LS, RS, LFE) it carries,
// in that order, and the speaker of each.
struct OutputLayout {
    int count = 0;
    std::array<int, kOutputChannels> decoded{};
    std::array<Speaker, kOutputChannels> speaker{};

    // Adds a decoded channel (in decoded order).
    void Add(int channel, Speaker where);
    bool operator==(const OutputLayout&) const = default;
    // How many of the decoded channels of `frame` this layout does not carry.
    int Missing(const OutputLayout& frame) const;
};

// The channels a stream carries, from a frame of it: its configuration with the LFE when it
// has the extension, else its stereo pair or mono channel. `pairOnly` asks for the
// compatible pair whatever the stream carries.
OutputLayout LayoutOfStream(const FrameHeader& header, const ExtensionInfo& extension,
                            bool pairOnly);
// The second stereo programme a stream may carry, as a stereo pair.
OutputLayout SecondProgrammeLayout();

}  // namespace tavrisk::mp2dec

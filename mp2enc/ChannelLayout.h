// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "dsp/SampleBlock.h"
#include "mp2enc/EncoderSettings.h"

namespace tavrisk::mp2 {

// Channel configuration codes: front x 100 + surround x 10 (+ 2 for a second programme).
constexpr int kConfig10 = 100;
constexpr int kConfig20 = 200;
constexpr int kConfig21 = 210;
constexpr int kConfig22 = 220;
constexpr int kConfig30 = 300;
constexpr int kConfig31 = 310;

// What a channel configuration makes of the stream.
struct ChannelLayout {
    int config = 320;
    int center = 1;             // the extension's `center` field: 0 none, 1 present
    int surround = 2;           // the extension's `surround` field: 0 none, 1 mono, 2 stereo
    int compatible = 2;         // channels of the base frame: 2, or 1 for mono
    int extensionChannels = 3;  // transmission channels of the extension
    bool multichannel = true;   // the frame carries the multichannel extension
};

// The layout of a configuration; the configuration must be valid (ConfigurationProblem).
ChannelLayout LayoutOf(const ChannelConfiguration& channels);

// Why the configuration cannot be written, or an empty text.
std::string ConfigurationProblem(const ChannelConfiguration& channels);

// Folds six channels (rows L, R, C, LFE, LS, RS) into what a configuration carries, as a
// downmix would: a missing centre goes to both fronts at -3 dB, missing surrounds to their
// front at -3 dB (to both when there is neither, as in the stereo downmix), one surround is
// the two at -3 dB each, and mono is 0.707 (L + R) + C + 0.5 (LS + RS). A mono surround
// stands in both surround rows, which is how the matrix of the extension sees it; rows of
// absent channels are silent, and without LFE that row is too. Values beyond the 16-bit
// range are clipped; returns how many were.
std::size_t FoldChannels(const ChannelConfiguration& channels, const SampleBlock& in,
                         SampleBlock& out);

// Whether a configuration takes the six rows as they are (3/2, with or without LFE).
bool FoldsNothing(const ChannelConfiguration& channels);

}  // namespace tavrisk::mp2

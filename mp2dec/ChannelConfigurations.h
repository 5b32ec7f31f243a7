// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "mp2dec/Dematrixer.h"
#include "mp2dec/FrameContent.h"

namespace tavrisk::mp2dec {

// The channel configurations of the multichannel extension besides 3/2: 3/1, 3/0, 2/2, 2/1
// and 2/0 (an extension for the LFE alone). A mono surround is decoded as the LS channel.
// A centre of limited bandwidth is carried below kLimitedCentreFirstSubband only; above it
// the centre was mixed into L and R, and the decoded centre is silent there. A second stereo
// programme takes the place of the surrounds: the main programme (2/0 or 3/0) is matrixed
// alone, and the second programme's two channels, carried as they are, are decoded into the
// LS and RS channels.

inline constexpr int kLimitedCentreFirstSubband = 12;

// True for 3/2 with a centre, which the Dematrixer solves.
bool IsThreeTwo(const ExtensionInfo& info);
bool HasCentre(const ExtensionInfo& info);
bool IsLimitedCentre(const ExtensionInfo& info);
bool CarriesSecondProgramme(const ExtensionInfo& info);
// Whether the transmission channel next to the compatible pair carries the centre under
// tc_allocation `tcAlloc`: it must, above the limit of a limited centre, where the frame
// carries nothing in that channel.
bool CentrePositionCarriesCentre(const ExtensionInfo& info, int tcAlloc);
// Transmission channels the extension carries besides the compatible pair.
int ExtensionChannels(const ExtensionInfo& info);
// Width of one tc_allocation field.
int TcAllocationBits(const ExtensionInfo& info);
// Why the configuration is not decoded, or an empty text.
std::string UnsupportedConfiguration(const ExtensionInfo& info);
// For configurations other than 3/2: whether tc_allocation `tcAlloc` is defined and lets
// every channel be recovered under the frame's dematrix procedure.
bool TcAllocationUsable(const ExtensionInfo& info, int tcAlloc);
// Recovers the channels of a configuration other than 3/2 from the compatible pair and the
// transmitted channels, and undoes the matrix weights; absent channels are silent.
void DematrixOtherConfiguration(const FrameContent& content,
                                std::array<SubbandBlock, kMainChannels>& out);
// Recovers the channels of a frame with a valid extension, whatever its configuration.
void DematrixFrame(const FrameContent& content, std::array<SubbandBlock, kMainChannels>& out);

}  // namespace tavrisk::mp2dec

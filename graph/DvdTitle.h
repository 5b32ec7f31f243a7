// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrisk {

// The files of the DVD title an input names, in order: for a VIDEO_TS folder (or a folder
// holding one), the title set with the most bytes; for a title's VTS_nn_k.VOB (k from 1), the
// VTS_nn_1.VOB onwards of its set. The menus (VTS_nn_0.VOB) are left out. Empty for any
// other input. Names are matched without regard to case.
std::vector<std::string> DvdTitleFiles(const std::string& input);

// A source element ("tavrisktitlesrc", rank none) that reads files one after another as one
// seekable byte stream, as a DVD player reads a title split into VOB files. Null when it
// cannot be made.
GstElement* MakeTitleSource(const std::vector<std::string>& files);

}  // namespace tavrisk

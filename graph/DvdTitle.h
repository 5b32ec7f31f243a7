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

// What is wrong with a title's files (DvdTitleFiles), for the job's report, or "" when
// nothing is: a part missing from its numbering ("VTS_01_2.VOB is missing from the DVD title"),
// or a file that ends inside a 2048-byte sector, as no file of a disc does ("VTS_01_3.VOB ends
// inside a 2048-byte sector: the DVD title was cut short there").
std::string TitleDamage(const std::vector<std::string>& files);

// A source element ("tavrisktitlesrc", rank none) that reads files one after another as one
// seekable byte stream, as a DVD player reads a title split into VOB files. Null when it
// cannot be made.
GstElement* MakeTitleSource(const std::vector<std::string>& files);

}  // namespace tavrisk

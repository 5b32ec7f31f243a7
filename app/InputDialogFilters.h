// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The input file dialog's filters ("Label (*.ext *.ext2);;..."): every kind of file the
// processing reads (a filter graph decodes films and soundtracks of many kinds, the native
// readers their own three), then "All files (*)".
std::string InputDialogFilter(bool graphProcessing);

}  // namespace tavrisk

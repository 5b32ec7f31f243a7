// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The manual pages, in troff's man macros, made from the option table the help prints.
// `date` is the release date shown in the page's footer (YYYY-MM-DD).
std::string CliManPage(const std::string& date);
// The page of the window, `tavrisk`.
std::string WindowManPage(const std::string& date);

}  // namespace tavrisk

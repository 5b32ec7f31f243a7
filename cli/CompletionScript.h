// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// The bash completion of tavrisk-cli, made from its option table: the options, their values
// (engines, rates, bitrates, channels, ...) and files by the extensions each place takes.
std::string CliCompletionScript();

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProgressLine.h"

namespace tavrisk {

void ProgressLine::Update(uint64_t done, uint64_t total) {
    if (!enabled || total == 0) return;
    const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
    if (percent == shown) return;
    shown = percent;
    out << '\r' << label << ' ' << percent << " %" << std::flush;
}

void ProgressLine::Finish() {
    if (enabled && shown >= 0) out << '\n' << std::flush;
    shown = -1;
}

}  // namespace tavrisk

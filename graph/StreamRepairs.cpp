// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/StreamRepairs.h"

namespace tavrisk {

void StreamRepairs::Clear() {
    std::lock_guard guard(lock);
    summary = {};
    firstLayout.clear();
    currentLayout.clear();
    currentRate = 0;
}

void StreamRepairs::NoteFormat(const std::string& layout, int rate, uint64_t at) {
    std::lock_guard guard(lock);
    if (summary.firstRate == 0) {
        summary.firstRate = currentRate = rate;
        firstLayout = currentLayout = layout;
        return;
    }
    // Each new format is noted once, at its first stretch; a return to the first is not.
    Stretch stretch{layout != currentLayout && layout != firstLayout ? layout : "",
                    rate != currentRate && rate != summary.firstRate ? rate : 0, at};
    currentLayout = layout;
    currentRate = rate;
    if ((stretch.layout.empty() && stretch.rate == 0) ||
        summary.stretches.size() >= kMaxStretches) {
        return;
    }
    for (const Stretch& known : summary.stretches) {
        if (known.layout == stretch.layout && known.rate == stretch.rate && known.at == at) return;
    }
    summary.stretches.push_back(stretch);
}

void StreamRepairs::NoteInputDamage(const std::string& text) {
    std::lock_guard guard(lock);
    summary.inputDamage = text;
}

StreamRepairs::Summary StreamRepairs::Snapshot() const {
    std::lock_guard guard(lock);
    return summary;
}

}  // namespace tavrisk

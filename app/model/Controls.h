// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace tavrisk {

// Plain state of the main window's controls; the view shows them, the model's handlers
// keep them consistent.
struct ComboControl {
    std::vector<std::string> items;
    int selected = -1;
    bool enabled = true;
    // Per item, why it cannot be chosen ("" or no entry: it can); a view shows such items
    // disabled, with the reason as their tooltip.
    std::vector<std::string> refusals;

    // Text of the selected item, or empty with no selection.
    std::string SelectedText() const {
        return selected >= 0 && selected < static_cast<int>(items.size()) ? items[selected] : "";
    }
};

struct EditControl {
    std::string text;
};

struct CheckControl {
    bool checked = false;
};

struct SliderControl {
    static constexpr int kMin = 0;
    static constexpr int kMax = 100;
    int position = 0;
};

struct ProgressControl {
    static constexpr int kMin = 0;
    static constexpr int kMax = 100;
    int position = 0;
};

struct ButtonControl {
    bool enabled = true;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace tavrisk {

// An edit that takes a whole number within a range, as dialog data exchange reads it: the
// number, or the message that refuses the text and names the field.
struct IntegerField {
    const char* name;
    int low;
    int high;

    // The number typed (blanks around it allowed); none when the text is no integer, or one
    // outside the range.
    std::optional<int> Read(const std::string& text) const;
    // "<name>: please enter an integer between <low> and <high>."
    std::string Refusal() const;
};

}  // namespace tavrisk

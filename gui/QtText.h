// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

namespace tavrisk {

// Text of the core (UTF-8) as Qt shows it.
inline QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace tavrisk

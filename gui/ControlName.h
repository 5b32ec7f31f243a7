// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tavrisk {

// The object name of a control's widget, "ctl" followed by its control id: tests and tools
// find the widgets by it.
inline QString ControlName(int controlId) {
    return QStringLiteral("ctl%1").arg(controlId);
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace tavrisk {

// The program's icon, a transfer curve on its grid (as packaging/tavrisk.svg draws it), drawn
// here so that no image plugin is needed.
QIcon AppIcon();

}  // namespace tavrisk

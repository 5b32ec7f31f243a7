// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk {

// The processor cores the process may run on (its affinity mask), at least 1.
int UsableCores();

}  // namespace tavrisk

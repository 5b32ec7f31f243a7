// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "graph/GraphOutcome.h"

namespace tavrisk {

// Starts GStreamer once per process and registers our own elements (the wrapper sink) with
// it, so that the catalogue and the pipelines find them. Safe to call from any thread and
// any number of times; fails (with the reason) when GStreamer cannot start.
GraphOutcome InitGraphRuntime();

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

namespace tavrisk {

// Registers every element of the program's plugin (the wrapper, the AC-3 decoder and the
// multichannel Layer II encoder and decoder): used by
// InitGraphRuntime for the static plugin and by the loadable plugin.
gboolean RegisterPluginElements(GstPlugin* plugin);

}  // namespace tavrisk

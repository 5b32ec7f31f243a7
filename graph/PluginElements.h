#pragma once

#include <gst/gst.h>

namespace tavrisk {

// Registers every element of the program's plugin (the wrapper and the AC-3 decoder): used by
// InitGraphRuntime for the static plugin and by the loadable plugin.
gboolean RegisterPluginElements(GstPlugin* plugin);

}  // namespace tavrisk

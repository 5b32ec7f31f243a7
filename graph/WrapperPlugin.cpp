// The wrapper as a loadable plugin, so that gst-inspect-1.0 and gst-launch-1.0 find it.
#include <gst/gst.h>

#include "graph/WrapperSink.h"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    return tavrisk::RegisterWrapperElement(plugin);
}

}  // namespace

#define PACKAGE "tavrisk"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tavrisk, "The transcoder's own elements",
                  PluginInit, "0.1", "LGPL", "tavrisk", "https://tavrisk.invalid")

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

namespace tavrisk {

// The loadable module that carries the multichannel Layer II encoder and decoder alone, so
// that a pipeline using them loads GStreamer's libraries and nothing more (the AC-3 decoder
// of the other module brings libavcodec and its many libraries with it).
inline constexpr const char* kCodecPluginDescription =
    "The transcoder's multichannel Layer II codec";

// Registers every element of the program's plugin (the wrapper, the AC-3 decoder and the
// multichannel Layer II encoder and decoder): used by InitGraphRuntime for the static
// plugin.
gboolean RegisterPluginElements(GstPlugin* plugin);
// The loadable modules' shares of it: the wrapper and the AC-3 decoder (`gsttavrisk`), and
// the Layer II encoder and decoder (`gsttavriskmp2`).
gboolean RegisterWrapperPluginElements(GstPlugin* plugin);
gboolean RegisterCodecPluginElements(GstPlugin* plugin);

}  // namespace tavrisk

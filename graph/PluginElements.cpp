// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/PluginElements.h"

#include "graph/Ac3DecoderElement.h"
#include "graph/WrapperSink.h"

namespace tavrisk {

gboolean RegisterWrapperPluginElements(GstPlugin* plugin) {
    return RegisterWrapperElement(plugin) && RegisterAc3DecoderElement(plugin);
}

}  // namespace tavrisk

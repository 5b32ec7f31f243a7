// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/PluginElements.h"

namespace tavrisk {

// The program's own static plugin carries both loadable modules' elements.
gboolean RegisterPluginElements(GstPlugin* plugin) {
    return RegisterWrapperPluginElements(plugin) && RegisterCodecPluginElements(plugin);
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/Mp2DecoderElement.h"
#include "graph/Mp2EncoderElement.h"
#include "graph/PluginElements.h"

namespace tavrisk {

gboolean RegisterCodecPluginElements(GstPlugin* plugin) {
    return RegisterMp2EncoderElement(plugin) && RegisterMp2DecoderElement(plugin);
}

}  // namespace tavrisk

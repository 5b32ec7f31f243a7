// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/PluginElements.h"

#include "graph/Ac3DecoderElement.h"
#include "graph/Mp2DecoderElement.h"
#include "graph/Mp2EncoderElement.h"
#include "graph/WrapperSink.h"

namespace tavrisk {

gboolean RegisterPluginElements(GstPlugin* plugin) {
    return RegisterWrapperElement(plugin) && RegisterAc3DecoderElement(plugin) &&
           RegisterMp2EncoderElement(plugin) && RegisterMp2DecoderElement(plugin);
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
// The multichannel Layer II encoder and decoder as a loadable plugin of their own: the module
// libgsttavriskmp2.so, whose entry point GStreamer builds from the name token below.
#include <gst/gst.h>

#include "graph/PluginElements.h"
#include "graph/WrapperSink.h"

#define PACKAGE TAVRISK_PACKAGE
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tavriskmp2,
                  tavrisk::kCodecPluginDescription, tavrisk::RegisterCodecPluginElements,
                  tavrisk::kPluginVersion, tavrisk::kPluginLicense, tavrisk::kPluginPackage,
                  tavrisk::kPluginOrigin)

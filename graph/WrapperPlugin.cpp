// SPDX-License-Identifier: GPL-3.0-or-later
// The program's elements as a loadable plugin, so that gst-inspect-1.0 and gst-launch-1.0 find it.
#include <gst/gst.h>

#include "graph/PluginElements.h"
#include "graph/WrapperSink.h"

using tavrisk::kPluginDescription;
using tavrisk::kPluginLicense;
using tavrisk::kPluginOrigin;
using tavrisk::kPluginPackage;
using tavrisk::kPluginVersion;

// The name below is the token GStreamer builds the entry point from: it must equal
// kPluginName. PACKAGE names the source module.
#define PACKAGE TAVRISK_PACKAGE
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tavrisk, kPluginDescription,
                  tavrisk::RegisterWrapperPluginElements, kPluginVersion, kPluginLicense,
                  kPluginPackage, kPluginOrigin)

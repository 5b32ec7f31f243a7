// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/GraphRuntime.h"

#include <gst/gst.h>

#include <mutex>
#include <string>

#include "graph/PluginElements.h"
#include "graph/WrapperSink.h"
#include "platform/LibraryLog.h"

namespace tavrisk {
namespace {

// GLib's and GStreamer's warnings and messages go to the library log, not to standard error.
void NoteGlibLine(const gchar* domain, GLogLevelFlags level, const gchar* text, gpointer) {
    constexpr int kShown =
        G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE;
    if ((level & kShown) == 0) return;
    LibraryLog::Note(domain ? domain : "GLib", text);
}

GraphOutcome StartRuntime() {
    // libav's lines are caught by each of our decoders when it opens: FFmpeg is loaded then.
    g_log_set_default_handler(NoteGlibLine, nullptr);
    GError* failure = nullptr;
    if (!gst_init_check(nullptr, nullptr, &failure)) {
        const std::string reason =
            failure ? failure->message : "GStreamer could not be initialised";
        g_clear_error(&failure);
        return GraphOutcome::Failure(reason);
    }
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, kPluginName,
                                    kPluginDescription, RegisterPluginElements, kPluginVersion,
                                    kPluginLicense, kPluginPackage, kPluginPackage,
                                    kPluginOrigin)) {
        return GraphOutcome::Failure("The program's own elements could not be registered");
    }
    return {};
}

}  // namespace

GraphOutcome InitGraphRuntime() {
    static std::once_flag once;
    static GraphOutcome start;
    std::call_once(once, [] { start = StartRuntime(); });
    return start;
}

}  // namespace tavrisk

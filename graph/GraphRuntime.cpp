#include "graph/GraphRuntime.h"

#include <gst/gst.h>

#include <mutex>

#include "graph/PluginElements.h"
#include "graph/WrapperSink.h"
#include "platform/LibraryLog.h"

namespace tavrisk {
namespace {

struct RuntimeStart {
    bool started = false;
    std::string error;
};

// GLib's and GStreamer's warnings and messages go to the library log, not to standard error.
void NoteGlibLine(const gchar* domain, GLogLevelFlags level, const gchar* text, gpointer) {
    constexpr int kShown =
        G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE;
    if ((level & kShown) == 0) return;
    LibraryLog::Note(domain ? domain : "GLib", text);
}

RuntimeStart StartRuntime() {
    RuntimeStart result;
    g_log_set_default_handler(NoteGlibLine, nullptr);
    LibraryLog::CaptureLibav();
    GError* failure = nullptr;
    if (!gst_init_check(nullptr, nullptr, &failure)) {
        result.error = failure ? failure->message : "GStreamer could not be initialised";
        g_clear_error(&failure);
        return result;
    }
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, kPluginName,
                                    kPluginDescription, RegisterPluginElements, kPluginVersion,
                                    kPluginLicense, kPluginPackage, kPluginPackage,
                                    kPluginOrigin)) {
        result.error = "The program's own elements could not be registered";
        return result;
    }
    result.started = true;
    return result;
}

}  // namespace

bool InitGraphRuntime(std::string& error) {
    static std::once_flag once;
    static RuntimeStart start;
    std::call_once(once, [] { start = StartRuntime(); });
    if (!start.started) error = start.error;
    return start.started;
}

}  // namespace tavrisk

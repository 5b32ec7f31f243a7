#include "graph/GraphRuntime.h"

#include <gst/gst.h>

#include <mutex>

#include "graph/PluginElements.h"
#include "graph/WrapperSink.h"

namespace tavrisk {
namespace {

struct RuntimeStart {
    bool started = false;
    std::string error;
};

RuntimeStart StartRuntime() {
    RuntimeStart result;
    GError* failure = nullptr;
    if (!gst_init_check(nullptr, nullptr, &failure)) {
        result.error = failure ? failure->message : "GStreamer could not be initialised";
        g_clear_error(&failure);
        return result;
    }
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, kPluginName,
                                    kPluginDescription, RegisterPluginElements, "0.1", "LGPL",
                                    "tavrisk", "tavrisk", "https://tavrisk.invalid")) {
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

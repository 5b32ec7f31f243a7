#pragma once

#include <string>

namespace tavrisk {

// Starts GStreamer once per process and registers our own elements (the wrapper sink) with
// it, so that the catalogue and the pipelines find them. Safe to call from any thread and
// any number of times; false (with the reason) when GStreamer cannot start.
bool InitGraphRuntime(std::string& error);

}  // namespace tavrisk

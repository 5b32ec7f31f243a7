// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "graph/FilterCatalogue.h"

namespace tavrisk::test {

// Starts GStreamer with the program's elements.
void StartGraphRuntime();

// A catalogue built once per test program (the build instantiates every coded element).
struct SharedCatalogue {
    FilterCatalogue catalogue;
    std::vector<int> progress;
    std::string filterList;  // contents of the list file written by the build
    double seconds = 0;
};
SharedCatalogue& BuiltCatalogue();

}  // namespace tavrisk::test

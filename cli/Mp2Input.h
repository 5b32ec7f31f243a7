// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/ContainerAudio.h"

namespace tavrisk {

// The MPEG audio stream the check, decode and info commands read: a file of frames as it is,
// or one stream of a container: the one asked for, else the first whose frames carry a
// multichannel extension, else the first.
class Mp2Input {
  public:
    // False after a line on `err` naming the file and what is wrong.
    bool Open(const std::string& path, std::optional<int> streamIndex, std::ostream& err);

    std::istream& Stream() { return container ? container->Stream() : file; }
    // The input's bytes read so far, given those the scanner consumed, and in all.
    uint64_t Done(uint64_t scanned) const { return container ? container->BytesRead() : scanned; }
    uint64_t Total() const { return total; }
    // The stream's start on the container's timeline (0 for a file of frames).
    double StartSeconds() const { return startSeconds; }
    // The container's stream number; empty for a file of frames.
    std::optional<int> StreamIndex() const { return index; }

    // The MPEG audio streams of a container, in its order; empty for a file of frames (or a
    // file that cannot be read, which Open tells).
    static std::vector<ContainerAudio::Track> TracksOf(const std::string& path);

  private:
    std::unique_ptr<ContainerAudio> container;
    std::ifstream file;
    uint64_t total = 0;
    double startSeconds = 0.0;
    std::optional<int> index;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Mp2Input.h"

#include <filesystem>
#include <sstream>

#include "mp2dec/StreamChecker.h"

namespace tavrisk {

namespace {

// Bytes of a stream read to see whether its frames carry a multichannel extension.
constexpr std::size_t kProbeBytes = 1 << 16;

bool CarriesExtension(const std::string& path, int index) {
    std::string error;
    auto audio = ContainerAudio::Open(path, error);
    if (!audio || !audio->Select(index)) return false;
    std::string head(kProbeBytes, '\0');
    audio->Stream().read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(audio->Stream().gcount()));
    std::istringstream in(head);
    mp2dec::ProblemLog log;
    return mp2dec::StreamChecker().Check(in, log).withExtension > 0;
}

}  // namespace

std::vector<ContainerAudio::Track> Mp2Input::TracksOf(const std::string& path) {
    std::string error;
    auto audio = ContainerAudio::Open(path, error);
    return audio ? audio->Tracks() : std::vector<ContainerAudio::Track>{};
}

bool Mp2Input::Open(const std::string& path, std::optional<int> streamIndex, std::ostream& err) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    total = ec ? 0 : size;
    file.open(path, std::ios::binary);
    if (!file) {
        err << "cannot open " << path << '\n';
        return false;
    }
    std::string error;
    container = ContainerAudio::Open(path, error);
    if (!error.empty()) {
        err << error << '\n';
        return false;
    }
    if (!container) {
        if (streamIndex) {
            err << path << " is not a container: --stream does not apply\n";
            return false;
        }
        return true;
    }
    file.close();
    int chosen = container->Tracks().front().index;
    if (streamIndex) {
        chosen = *streamIndex;
    } else {
        for (const ContainerAudio::Track& track : container->Tracks()) {
            if (CarriesExtension(path, track.index)) {
                chosen = track.index;
                break;
            }
        }
    }
    if (!container->Select(chosen)) {
        err << path << " has no MPEG audio stream " << chosen << '\n';
        return false;
    }
    for (const ContainerAudio::Track& track : container->Tracks()) {
        if (track.index == chosen) startSeconds = track.startSeconds;
    }
    index = chosen;
    return true;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Credits.h"

#include <gst/gst.h>
#include <soxr.h>

#include <QtGlobal>

#include "platform/Libav.h"

namespace tavrisk {

namespace {

constexpr const char* kLineEnd = "\r\n";

// "60.31.102" from a libav version number.
std::string LibavVersion(unsigned version) {
    return std::to_string(AV_VERSION_MAJOR(version)) + "." +
           std::to_string(AV_VERSION_MINOR(version)) + "." +
           std::to_string(AV_VERSION_MICRO(version));
}

}  // namespace

std::string RunTimeCredits() {
    gchar* gstreamer = gst_version_string();
    const LibavCalls* libav = LoadLibav(LibavUse::kContainers);
    const std::string ffmpeg = libav != nullptr
                                   ? "FFmpeg libavcodec " + LibavVersion(libav->avcodec_version()) +
                                         ", libavformat " + LibavVersion(libav->avformat_version())
                                   : LibavLoadProblem(LibavUse::kContainers);
    std::string text = ffmpeg + kLineEnd + gstreamer + kLineEnd + "Qt " + qVersion() + kLineEnd +
                       soxr_version() + kLineEnd + kLineEnd +
                       "Tavrisk's MPEG-2 multichannel Layer II encoder, derived from" + kLineEnd +
                       "MPEG-2 Audio Simulation Software" + kLineEnd + "Distribution 10" +
                       kLineEnd + "1997" + kLineEnd;
    g_free(gstreamer);
    return text;
}

}  // namespace tavrisk

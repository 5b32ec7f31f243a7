// SPDX-License-Identifier: GPL-3.0-or-later
// Our Layer II decoder element against GStreamer's own (avdec_mp2float, then mpg123audiodec)
// on 300 s of ffmpeg-made stereo Layer II at 256 kbit/s, each in its own gst-launch-1.0 run
// through the same parser to a fakesink, with the loadable plugin: the wall-clock ratio, and
// the ratio of the best processor times of five back-to-back runs (user and system), which
// the load of a shared machine changes less. The element ranks above GStreamer's decoders
// only at a ratio of 1.2 or less against both (and within 1 LSB of them, which the graph
// tests check).
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int kSeconds = 300;
constexpr double kRankRatio = 1.2;
constexpr int kCpuRounds = 5;

std::string Pipeline(const std::string& mp2, const char* decoder) {
    return std::string("GST_PLUGIN_PATH=") + TAVRISK_GST_PLUGIN_DIR +
           " gst-launch-1.0 -q filesrc location=" + tavrisk::test::Quote(mp2) +
           " ! mpegaudioparse ! " + decoder + " ! fakesink";
}

}  // namespace

int main() {
    using tavrisk::bench::RunQuiet;
    tavrisk::test::TempDir dir;
    const std::string mp2 = dir.File("stereo.mp2");
    if (!RunQuiet("ffmpeg -v error -y -f lavfi -i anoisesrc=c=pink:a=0.3:d=" +
                  std::to_string(kSeconds) + " -ac 2 -c:a mp2 -b:a 256k " +
                  tavrisk::test::Quote(mp2))) {
        std::printf("Mp2DecoderElement ratio: unavailable (ffmpeg could not make the input)\n");
        return 1;
    }
    int status = 0;
    for (const char* peer : {"avdec_mp2float", "mpg123audiodec"}) {
        const double ratio = tavrisk::bench::RunRatioBenchmark(
            std::string("Mp2DecoderElement vs ") + peer,
            [&] { return RunQuiet(Pipeline(mp2, "tavriskmp2dec")); },
            [&] { return RunQuiet(Pipeline(mp2, peer)); }, 3, kSeconds);
        if (ratio <= 0.0) status = 1;
        const double load = tavrisk::bench::LoadAverage();
        const tavrisk::bench::BestTimes best = tavrisk::bench::BestOfBackToBack(
            [&] { return RunQuiet(Pipeline(mp2, "tavriskmp2dec")); },
            [&] { return RunQuiet(Pipeline(mp2, peer)); }, kCpuRounds);
        if (!best.Valid()) {
            status = 1;
            continue;
        }
        std::printf(
            "Mp2DecoderElement vs %s processor time ratio: %.2f (ours %.3f s, peer %.3f s, "
            "load %.1f)\n",
            peer, best.oursCpu / best.peerCpu, best.oursCpu, best.peerCpu, load);
    }
    std::printf("Mp2DecoderElement goal: ratio at most %.1f for a rank above GStreamer's\n",
                kRankRatio);
    return status;
}

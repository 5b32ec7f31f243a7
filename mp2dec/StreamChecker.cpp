// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/StreamChecker.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "mp2dec/FrameParser.h"
#include "mp2dec/FrameScanner.h"

namespace tavrisk::mp2dec {

namespace {

// Padding slots keep the stream at its nominal bitrate: the bytes sent never drift a whole
// byte from the frames' exact share (144000 x kbit/s / rate each). Streams without padding
// are common and play, so a drift is a warning, given once.
class PaddingCheck {
  public:
    void Add(const FrameHeader& header, long frameNumber, ProblemLog& log) {
        if (header.BitrateKbps() != kbps || header.SampleRate() != rate) {
            kbps = header.BitrateKbps();
            rate = header.SampleRate();
            drift = 0.0;
        }
        drift += header.FrameBytes() - 144000.0 * kbps / rate;
        if (!reported && std::abs(drift) >= 1.0) {
            log.Warning(frameNumber, "padding does not keep the nominal bitrate (" +
                                         std::to_string(std::lround(drift)) +
                                         " byte(s) off from here on)");
            reported = true;
        }
    }

  private:
    int kbps = 0;
    int rate = 0;
    double drift = 0.0;
    bool reported = false;
};

}  // namespace

StreamChecker::Summary StreamChecker::Check(std::istream& in, ProblemLog& log,
                                            const Progress& progress) {
    Summary summary;
    FrameScanner scanner(in);
    FrameParser parser;
    auto content = std::make_unique<FrameContent>();
    bool reportedChange = false;
    FrameHeader first;
    PaddingCheck padding;
    while (scanner.Next(log)) {
        const long number = scanner.FrameNumber();
        const FrameHeader& header = scanner.Header();
        if (summary.frames == 0) first = summary.firstHeader = header;
        if (!reportedChange && !header.SameStream(first)) {
            log.Error(number, "sampling rate or channel mode changes within the stream");
            reportedChange = true;
        }
        const std::size_t errorsBefore = log.ErrorCount();
        padding.Add(header, number, log);
        parser.Parse(scanner.Data(), header, true, *content, number, log, scanner.ExtensionData());
        ++summary.frames;
        summary.samplesPerChannel += kFrameSamples;
        if (content->extension.present) {
            if (summary.withExtension == 0) summary.firstExtension = content->extension;
            ++summary.withExtension;
            summary.procedures |= 1u << content->extension.dematrixProcedure;
            summary.extensionBytes += content->extension.extensionFrameBytes;
            summary.multiLingualChannels =
                std::max(summary.multiLingualChannels, content->extension.multiLingualChannels);
        }
        if (log.ErrorCount() != errorsBefore) ++summary.damaged;
        if (progress) progress(scanner.BytesDone());
    }
    if (summary.frames == 0) log.Error(0, "no frames found");
    return summary;
}

}  // namespace tavrisk::mp2dec

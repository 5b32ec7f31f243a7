#include "mp2dec/StreamChecker.h"

#include <memory>

#include "mp2dec/FrameParser.h"
#include "mp2dec/FrameScanner.h"

namespace tavrisk::mp2dec {

StreamChecker::Summary StreamChecker::Check(std::istream& in, ProblemLog& log,
                                            const Progress& progress) {
    Summary summary;
    FrameScanner scanner(in);
    FrameParser parser;
    auto content = std::make_unique<FrameContent>();
    bool reportedChange = false;
    FrameHeader first;
    while (scanner.Next(log)) {
        const long number = scanner.FrameNumber();
        const FrameHeader& header = scanner.Header();
        if (summary.frames == 0) first = header;
        if (!reportedChange && !header.SameStream(first)) {
            log.Error(number, "sampling rate or channel mode changes within the stream");
            reportedChange = true;
        }
        const std::size_t errorsBefore = log.ErrorCount();
        parser.Parse(scanner.Data(), header, true, *content, number, log);
        ++summary.frames;
        if (content->extension.present) ++summary.withExtension;
        if (log.ErrorCount() != errorsBefore) ++summary.damaged;
        if (progress) progress(scanner.BytesDone());
    }
    if (summary.frames == 0) log.Error(0, "no frames found");
    return summary;
}

}  // namespace tavrisk::mp2dec

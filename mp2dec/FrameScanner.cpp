// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/FrameScanner.h"

#include <cstring>
#include <string>

#include "mp2dec/ExtensionFrame.h"

namespace tavrisk::mp2dec {

FrameScanner::FrameScanner(std::istream& in) : in(in), buffer(2 * kChunk) {}

bool FrameScanner::Ensure(std::size_t count) {
    while (end - start < count) {
        if (eof) return false;
        if (start > 0 && buffer.size() - end < kChunk) {
            std::memmove(buffer.data(), buffer.data() + start, end - start);
            consumedBefore += start;
            end -= start;
            frameStart = frameStart >= start ? frameStart - start : 0;
            start = 0;
        }
        if (buffer.size() - end < kChunk) buffer.resize(end + kChunk);
        in.read(reinterpret_cast<char*>(buffer.data() + end), static_cast<std::streamsize>(kChunk));
        const std::streamsize got = in.gcount();
        end += static_cast<std::size_t>(got);
        if (got == 0) eof = true;
    }
    return true;
}

std::size_t FrameScanner::ExtensionSizeAt(std::size_t offset, const FrameHeader& frame) {
    if (!Ensure(offset + ExtensionFrame::kHeaderBytes)) return 0;
    const auto length = ExtensionFrame::Length(buffer.data() + start + offset);
    if (!length || !Ensure(offset + *length)) return 0;
    // Bytes that merely look like an extension header must not swallow the frames after it:
    // its check word, the next frame or the end of the stream confirms it.
    if (ExtensionFrame::CheckWordMatches({buffer.data() + start + offset, *length})) return *length;
    const std::size_t next = offset + *length;
    if (!Ensure(next + FrameHeader::kBytes)) return end - start == next ? *length : 0;
    const auto header = FrameHeader::Parse(buffer.data() + start + next);
    return header && header->SameStream(frame) ? *length : 0;
}

bool FrameScanner::Confirmed(const FrameHeader& candidate) {
    const auto frameBytes = static_cast<std::size_t>(candidate.FrameBytes());
    const std::size_t length = frameBytes + ExtensionSizeAt(frameBytes, candidate);
    if (!Ensure(length + FrameHeader::kBytes)) return true;  // the stream ends after it
    const auto next = FrameHeader::Parse(buffer.data() + start + length);
    return next && next->SameStream(candidate);
}

void FrameScanner::ReportSkipped(ProblemLog& log, bool atEnd) {
    if (skipped == 0) return;
    const std::string bytes = std::to_string(skipped) + " bytes without frame sync";
    if (atEnd)
        log.Error(frameNumber,
                  bytes + (frameNumber > 0 ? " after the last frame" : " (no frame found)"));
    else
        log.Error(frameNumber + 1, bytes + " skipped before the frame");
    skipped = 0;
}

bool FrameScanner::Next(ProblemLog& log) {
    if (haveFrame) start = frameStart + Size() + extensionSize;
    haveFrame = false;
    extensionSize = 0;
    while (true) {
        if (!Ensure(FrameHeader::kBytes)) {
            skipped += end - start;
            start = end;
            ReportSkipped(log, true);
            return false;
        }
        const auto candidate = FrameHeader::Parse(buffer.data() + start);
        if (candidate) {
            const std::size_t length = static_cast<std::size_t>(candidate->FrameBytes());
            if (!Ensure(length)) {
                ReportSkipped(log, false);
                log.Error(frameNumber + 1, "truncated frame: " + std::to_string(end - start) +
                                               " of " + std::to_string(length) + " bytes");
                start = end;
                return false;
            }
            if ((inSync && skipped == 0) || Confirmed(*candidate)) {
                ReportSkipped(log, false);
                header = *candidate;
                frameStart = start;
                extensionSize = ExtensionSizeAt(length, header);
                ++frameNumber;
                inSync = true;
                haveFrame = true;
                return true;
            }
        }
        inSync = false;
        ++skipped;
        ++start;
    }
}

}  // namespace tavrisk::mp2dec

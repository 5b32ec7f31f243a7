// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the frame scanner, the checker and the six-channel frame decoder,
// and, so that random input reaches the frame parser at once, the same bytes again as the
// body of frames behind a valid 48 kHz, 384 kbit/s header, after a good five-channel frame
// (so that extensions are also read as they are once one passed its check word). Every run
// starts from fresh objects, so a run depends on its input alone.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mp2dec/FrameDecoder.h"
#include "mp2dec/FrameScanner.h"
#include "mp2dec/StreamChecker.h"
#include "tests/mp2dec/TestFrameWriter.h"

namespace {

using namespace tavrisk::mp2dec;

void ScanAndDecode(const std::string& bytes) {
    {
        std::istringstream in(bytes);
        ProblemLog log;
        StreamChecker().Check(in, log);
    }
    std::istringstream in(bytes);
    FrameScanner scanner(in);
    ProblemLog log;
    FrameDecoder decoder(false);
    std::vector<int16_t> pcm(kFrameSamples * kOutputChannels);
    while (scanner.Next(log))
        decoder.Decode(scanner.Data(), scanner.Header(), scanner.FrameNumber(), log, pcm.data());
}

void ParseBehindAHeader(const uint8_t* data, std::size_t size) {
    static const std::vector<uint8_t> good = [] {
        test::TestFrame frame;
        frame.codes = {{{40, 10, -1}, {31, -1, 2}, {5, 50, 62}, {-1, 33, 0}, {12, 13, 14}}};
        return test::WriteTestFrame(frame);
    }();
    const auto header = FrameHeader::Parse(good.data());
    FrameParser parser;
    auto content = std::make_unique<FrameContent>();
    ProblemLog log;
    parser.Parse(good.data(), *header, true, *content, 1, log);
    std::vector<uint8_t> frame(good.size(), 0);
    const std::size_t body = frame.size() - FrameHeader::kBytes;
    for (std::size_t offset = 0; offset < size || offset == 0; offset += body) {
        std::fill(frame.begin(), frame.end(), 0);
        std::copy(good.begin(), good.begin() + FrameHeader::kBytes, frame.begin());
        const std::size_t count = std::min(size - offset, body);
        std::copy(data + offset, data + offset + count, frame.begin() + FrameHeader::kBytes);
        parser.Parse(frame.data(), *header, true, *content, 2, log);
        if (size == 0) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ScanAndDecode(std::string(reinterpret_cast<const char*>(data), size));
    ParseBehindAHeader(data, size);
    return 0;
}

// Feeds arbitrary bytes to the frame scanner, the checker and the six-channel frame decoder,
// and, so that random input reaches the frame parser at once, the same bytes again as the
// body of frames behind a valid 48 kHz, 384 kbit/s header.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "mp2dec/FrameDecoder.h"
#include "mp2dec/FrameScanner.h"
#include "mp2dec/StreamChecker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace tavrisk::mp2dec;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::istringstream in(bytes);
        ProblemLog log;
        StreamChecker().Check(in, log);
    }
    std::istringstream in(bytes);
    FrameScanner scanner(in);
    ProblemLog log;
    static FrameDecoder decoder(false);
    static std::vector<int16_t> pcm(kFrameSamples * kOutputChannels);
    while (scanner.Next(log))
        decoder.Decode(scanner.Data(), scanner.Header(), scanner.FrameNumber(), log, pcm.data());

    static const uint8_t kHeader[] = {0xFF, 0xFD, 0xE4, 0x04};
    const auto header = FrameHeader::Parse(kHeader);
    std::vector<uint8_t> frame(static_cast<std::size_t>(header->FrameBytes()), 0);
    for (std::size_t offset = 0; offset < size || offset == 0; offset += frame.size() - 4) {
        std::fill(frame.begin() + 4, frame.end(), 0);
        std::copy(kHeader, kHeader + 4, frame.begin());
        const std::size_t count = std::min(size - offset, frame.size() - 4);
        std::copy(data + offset, data + offset + count, frame.begin() + 4);
        decoder.Decode(frame.data(), *header, 1, log, pcm.data());
        if (size == 0) break;
    }
    return 0;
}

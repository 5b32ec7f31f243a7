// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the frame scanner, the checker and the six-channel frame decoder,
// and, so that random input reaches the frame parser at once, the same bytes again as the
// body of frames behind a valid 48 kHz, 384 kbit/s header, after a good five-channel frame
// (so that extensions are also read as they are once one passed its check word). Then hand-made
// frames whose features the input chooses (channel configuration, a limited centre or a
// second stereo programme among them, matrix procedure, LFE, allocations, multilingual
// channels, prediction, data continued in extension frames) are damaged as the input says
// and parsed. Every run starts from fresh objects, so a run depends on its input alone.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mp2dec/ChannelConfigurations.h"
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
        decoder.Decode(scanner.Data(), scanner.Header(), scanner.FrameNumber(), log, pcm.data(),
                       scanner.ExtensionData());
}

// Every frame parsed and the first good one dematrixed (the filterbanks and further
// dematrixing, which take most of the time and do not depend on the stream's structure, are
// left out).
void ScanAndDematrix(const std::string& bytes) {
    std::istringstream in(bytes);
    FrameScanner scanner(in);
    ProblemLog log;
    FrameParser parser;
    auto content = std::make_unique<FrameContent>();
    auto mains = std::make_unique<std::array<SubbandBlock, kMainChannels>>();
    bool dematrixed = false;
    while (scanner.Next(log)) {
        parser.Parse(scanner.Data(), scanner.Header(), true, *content, scanner.FrameNumber(), log,
                     scanner.ExtensionData());
        if (content->extensionValid && !dematrixed) {
            DematrixFrame(*content, *mains);
            dematrixed = true;
        }
    }
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

// Takes the input's bytes one by one, zeros once they run out.
class Choices {
  public:
    Choices(const uint8_t* data, std::size_t size) : data(data), size(size) {}
    unsigned Next() { return used < size ? data[used++] : 0; }
    std::size_t Used() const { return used; }

  private:
    const uint8_t* data;
    std::size_t size;
    std::size_t used = 0;
};

test::TestFrame ChosenFrame(Choices& choose) {
    test::TestFrame f;
    f.codes = {{{40, 10, -1}, {31, -1, 2}, {5, 50, 62}, {-1, 33, 0}, {12, 13, 14}}};
    const unsigned flags = choose.Next();
    const unsigned configuration = choose.Next();
    f.center = static_cast<int>(configuration & 3);
    f.surround = static_cast<int>(configuration >> 2 & 3);
    f.dematrixProcedure = static_cast<int>(flags & 3);
    f.lfe = (flags & 4) != 0;
    f.groupwiseTc = (flags & 8) != 0;
    f.prediction = (flags & 16) != 0;
    f.predictedGroup = f.prediction ? static_cast<int>(choose.Next() % 9) - 1 : -1;
    f.multiLingual = (flags & 32) != 0 ? static_cast<int>(choose.Next() % 8) : 0;
    for (int& tc : f.tcAlloc)
        tc = f.dematrixProcedure == 3 ? 0 : static_cast<int>(choose.Next() % 8);
    if ((flags & 64) != 0) {  // data continued in extension frames
        f.bitrateIndex = 7 + static_cast<int>(choose.Next() % 8);
        f.ancillaryBytes = static_cast<int>(choose.Next() % 16);
        f.extensionFrameBytes = 600 + static_cast<int>(choose.Next() % 8) * 100;
        f.breakExtensionFrameCrc = (choose.Next() & 1) != 0;
    }
    f.breakMcCrc = (flags & 128) != 0 && (choose.Next() & 1) != 0;
    return f;
}

// Two chosen frames; the rest of the input flips bits (two bytes of position, one mask,
// each) and finally cuts the stream.
void ParseDamagedChosenFrames(const uint8_t* data, std::size_t size) {
    Choices choose(data, size);
    std::string stream;
    for (int i = 0; i < 2; ++i) {
        const auto bytes = test::WriteTestFrame(ChosenFrame(choose));
        stream.append(bytes.begin(), bytes.end());
    }
    while (size - choose.Used() >= 3) {
        const std::size_t at = (choose.Next() << 8 | choose.Next()) % stream.size();
        stream[at] = static_cast<char>(stream[at] ^ choose.Next());
    }
    if (choose.Used() < size) stream.resize(stream.size() - choose.Next() * 7 % stream.size());
    ScanAndDematrix(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ScanAndDecode(std::string(reinterpret_cast<const char*>(data), size));
    ParseBehindAHeader(data, size);
    ParseDamagedChosenFrames(data, size);
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the encoder with settings and samples taken from arbitrary bytes: the first bytes
// choose the sample rate, bitrate, dematrix procedure, transmission-channel allocation and
// ancillary bytes, the rest are 16-bit samples of the six channels, pushed in pieces whose
// sizes come from the input too. Settings the encoder refuses must be refused with a message;
// a stream it writes must pass the decoder's checker without an error, every frame whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "mp2dec/StreamChecker.h"
#include "mp2enc/Mp2Encoder.h"

namespace {

using namespace tavrisk;
using namespace tavrisk::mp2;

// The bitrates a stereo base frame may have (the standard leaves 32, 48, 56 and 80 kbit/s to
// single-channel frames, and the checker refuses them in a stereo stream).
constexpr int kBitrates[] = {64, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr int kRates[] = {32000, 44100, 48000};
constexpr std::size_t kSettingBytes = 6;
constexpr std::size_t kMaxFrames = 8;

class Reader {
  public:
    Reader(const uint8_t* data, std::size_t size) : data(data), size(size) {}
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    bool Empty() const { return at + 1 >= size; }
    double Sample() {
        const auto low = Byte();
        return static_cast<int16_t>(static_cast<uint16_t>(low | Byte() << 8));
    }

  private:
    const uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

EncoderSettings SettingsFrom(Reader& in) {
    EncoderSettings settings;
    settings.sampleRate = kRates[in.Byte() % std::size(kRates)];
    settings.bitrateKbps = settings.totalBitrateKbps = kBitrates[in.Byte() % std::size(kBitrates)];
    settings.dematrixChoice = in.Byte() % 6 - 1;  // -1 .. 4: 4 is refused
    settings.tcAllocChoice = in.Byte() % 11 - 2;  // -2 .. 8: 8 is refused
    settings.ancillaryBytes = in.Byte() % 8;
    settings.crc = in.Byte() % 2 == 1;
    settings.verbosity = 0;
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < kSettingBytes) return 0;
    Reader in(data, size);
    const EncoderSettings settings = SettingsFrom(in);
    Mp2Encoder encoder;
    MemoryFrameSink sink;
    if (!encoder.Configure(settings, sink)) {
        if (encoder.Log().Take().empty()) std::abort();  // refused without saying why
        return 0;
    }
    std::vector<std::vector<double>> planes(SampleBlock::kChannels);
    while (!in.Empty() && planes[0].size() < kMaxFrames * SampleBlock::kFrames) {
        for (auto& plane : planes) plane.push_back(in.Sample());
    }
    std::size_t done = 0;
    std::size_t piece = 1 + in.Byte();
    while (done < planes[0].size()) {
        const std::size_t count = std::min(piece, planes[0].size() - done);
        const double* at[SampleBlock::kChannels];
        for (std::size_t c = 0; c < planes.size(); ++c) at[c] = planes[c].data() + done;
        if (!encoder.Push(at, count)) std::abort();  // a memory sink never refuses
        done += count;
        piece = piece * 7 % 2000 + 1;
    }
    if (!encoder.Finish()) std::abort();
    std::istringstream stream(std::string(sink.bytes.begin(), sink.bytes.end()));
    mp2dec::ProblemLog log;
    const auto summary = mp2dec::StreamChecker().Check(stream, log);
    if (encoder.FrameCount() > 0 &&
        (log.ErrorCount() != 0 || summary.frames != encoder.FrameCount() ||
         summary.withExtension != summary.frames))
        std::abort();
    return 0;
}

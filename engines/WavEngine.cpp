#include "engines/WavEngine.h"

#include "engines/EngineMessages.h"

namespace tavrisk {

namespace {

// Block rows L, R, C, LFE, LS, RS in the file's frame order L, C, R, LS, RS, LFE.
constexpr std::array<std::size_t, WavEngine::kChannels> kRowOfFileChannel = {
    SampleBlock::kRowL,  SampleBlock::kRowC,  SampleBlock::kRowR,
    SampleBlock::kRowLs, SampleBlock::kRowRs, SampleBlock::kRowLfe};

}  // namespace

WavEngine::WavEngine(JobHost& host) : host(host) {}

bool WavEngine::Init(int argc, const char* const* argv) {
    if (!source || argc < 2 || !source->Open(argv[argc - 2])) {
        return false;
    }
    outputName = argv[argc - 1];
    if (!writer.Open(outputName, kChannels, GetRateOption(argc, argv), WavWriter::kBitsPerSample)) {
        ReportCreateError(host, outputName);
        return false;
    }
    return true;
}

bool WavEngine::FetchBlock() {
    if (failed || !source || !source->ReadBlock(block)) {
        return false;
    }
    // The whole block packed channel by channel, then written at once.
    constexpr std::size_t kFrameBytes = kChannels * WavWriter::kBytesPerSample;
    for (std::size_t c = 0; c < kChannels; ++c) {
        const double* values = block.Row(kRowOfFileChannel[c]);
        uint8_t* out = frames.data() + c * WavWriter::kBytesPerSample;
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i)
            WavWriter::PutSample(values[i], out + i * kFrameBytes);
    }
    if (!writer.Write(frames.data(), frames.size())) {
        ReportWriteError(host, outputName);
        failed = true;
        return false;
    }
    wroteBlock = true;
    return true;
}

bool WavEngine::Finish() {
    if (source) {
        source->Close();
    }
    if (!wroteBlock) {
        writer.Discard();
        return true;
    }
    const bool wasOpen = writer.IsOpen();
    if (!writer.Close() && wasOpen) {
        if (!failed) {
            ReportWriteError(host, outputName);
        }
        failed = true;
        return false;
    }
    return true;
}

}  // namespace tavrisk

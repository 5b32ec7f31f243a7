#include "sources/SampleSource.h"

#include <cmath>

#include "app/TranscoderDialog.h"

namespace tavrisk {

namespace {

// Column order L, R, C, LFE, LS, RS from the input order L, C, R, LS, RS, LFE.
constexpr int kInputOfColumn[SampleSource::kChannels] = {0, 2, 1, 5, 3, 4};

void ToColumnOrder(const float* frame, float* columns) {
    for (int c = 0; c < SampleSource::kChannels; ++c) columns[c] = frame[kInputOfColumn[c]];
}

}  // namespace

SampleSource::SampleSource(TranscoderDialog& window) : window(window), processor(window) {
    normalizeEnabled = processor.NormalizeEnabled();
}

SampleSource::~SampleSource() = default;

bool SampleSource::Open(const std::string& name) {
    ResetResampler();
    resamplingNeeded = window.ResamplingNeeded();
    fileName = name;
    return false;
}

bool SampleSource::ReadBlock(SampleBlock&) {
    return false;
}

void SampleSource::ResetResampler() {
    ratio = kResampleRatio;
    prevFrame.fill(0);
    curFrame.fill(0);
    phase = 1.0f;
}

void SampleSource::ProcessFrame(const float* frame, int* outL, int* outC, int* outR, int* outLS,
                                int* outRS, int* outLFE, bool analysisOnly) {
    float columns[kChannels];
    ToColumnOrder(frame, columns);
    std::array<int32_t, kChannels> results{};
    processor.Process(columns, results, analysisOnly);
    *outL = results[ChannelProcessor::kResL];
    *outC = results[ChannelProcessor::kResC];
    *outR = results[ChannelProcessor::kResR];
    *outLS = results[ChannelProcessor::kResLs];
    *outRS = results[ChannelProcessor::kResRs];
    *outLFE = results[ChannelProcessor::kResLfe];
}

void SampleSource::AnalyzeFrame(const float* frame) {
    float columns[kChannels];
    ToColumnOrder(frame, columns);
    processor.Analyze(columns);
}

void SampleSource::ProcessToRows(const float* frame, std::array<int32_t, kChannels>& rows) {
    // The reordering step and the chain of ProcessFrame, without its six result pointers.
    float columns[kChannels];
    ToColumnOrder(frame, columns);
    std::array<int32_t, kChannels> results{};
    processor.Process(columns, results, false);
    rows = {results[ChannelProcessor::kResL],  results[ChannelProcessor::kResR],
            results[ChannelProcessor::kResC],  results[ChannelProcessor::kResLfe],
            results[ChannelProcessor::kResLs], results[ChannelProcessor::kResRs]};
}

void SampleSource::StoreColumn(SampleBlock& block, std::size_t i,
                               const std::array<int32_t, kChannels>& rows) {
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row)
        block.Row(row)[i] = static_cast<double>(rows[row]);
}

void SampleSource::InterpolateColumn(SampleBlock& block, std::size_t i) const {
    const long double p = phase;
    for (std::size_t row = 0; row < SampleBlock::kChannels; ++row) {
        const long double value = (1.0L - p) * prevFrame[row] + p * curFrame[row];
        block.Row(row)[i] = static_cast<double>(static_cast<int32_t>(std::trunc(value)));
    }
}

}  // namespace tavrisk

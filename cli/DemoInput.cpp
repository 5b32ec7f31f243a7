// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DemoInput.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/WavWriter.h"

namespace tavrisk {

bool DemoInput::Write(const std::string& path, std::string& error) {
    constexpr int kChannels = 6;
    WavWriter writer;
    if (!writer.Open(path, kChannels, kRate, WavWriter::kBitsPerSample)) {
        error = "Unable to create file '" + path + "'";
        return false;
    }
    // Written a tenth of a second at a time: the writer does not buffer.
    constexpr int kFramesPerWrite = kRate / 10;
    constexpr std::size_t kFrameBytes = kChannels * WavWriter::kBytesPerSample;
    std::vector<uint8_t> frames(kFramesPerWrite * kFrameBytes);
    for (int start = 0; start < kRate * kSeconds; start += kFramesPerWrite) {
        for (int i = 0; i < kFramesPerWrite; ++i) {
            for (int c = 0; c < kChannels; ++c) {
                const double phase = 2.0 * std::numbers::pi * kFrequencies[c] * (start + i) / kRate;
                WavWriter::PutSample(
                    std::round(kAmplitude * std::sin(phase)),
                    frames.data() + i * kFrameBytes + c * WavWriter::kBytesPerSample);
            }
        }
        if (!writer.Write(frames.data(), frames.size())) {
            error = "Unable to write file '" + path + "'";
            return false;
        }
    }
    if (!writer.Close()) {
        error = "Unable to write file '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace tavrisk

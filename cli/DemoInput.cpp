#include "cli/DemoInput.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "platform/WavWriter.h"

namespace tavrisk {

bool DemoInput::Write(const std::string& path, std::string& error) {
    constexpr int kChannels = 6;
    WavWriter writer;
    if (!writer.Open(path, kChannels, kRate, WavWriter::kBitsPerSample)) {
        error = "Unable to create file '" + path + "'";
        return false;
    }
    std::array<uint8_t, kChannels * WavWriter::kBytesPerSample> frame{};
    for (int i = 0; i < kRate * kSeconds; ++i) {
        for (int c = 0; c < kChannels; ++c) {
            const double phase = 2.0 * std::numbers::pi * kFrequencies[c] * i / kRate;
            WavWriter::PutSample(std::round(kAmplitude * std::sin(phase)),
                                 frame.data() + c * WavWriter::kBytesPerSample);
        }
        if (!writer.Write(frame.data(), frame.size())) {
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

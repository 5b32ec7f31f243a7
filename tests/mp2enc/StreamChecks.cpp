// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/mp2enc/StreamChecks.h"

#include <cmath>

namespace tavrisk::mp2::test {

using tavrisk::test::PcmAudio;

FrameWalk WalkFrames(const std::vector<uint8_t>& bytes, int bitrateKbps, int rate) {
    FrameWalk walk;
    const std::size_t whole = static_cast<std::size_t>(144.0 * bitrateKbps * 1000 / rate);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (pos + 4 > bytes.size() || bytes[pos] != 0xFF || (bytes[pos + 1] & 0xF0) != 0xF0) {
            walk.ok = false;
            walk.problem = "no frame header at byte " + std::to_string(pos) + " (frame " +
                           std::to_string(walk.frames) + ")";
            return walk;
        }
        const int padding = (bytes[pos + 2] >> 1) & 1;
        walk.paddingBits.push_back(padding);
        pos += whole + padding;
        ++walk.frames;
    }
    if (pos != bytes.size()) {
        walk.ok = false;
        walk.problem = "last frame is cut short";
    }
    return walk;
}

std::vector<double> Downmix(const PcmAudio& input, int outputChannel) {
    const double b = 1.0 / std::sqrt(2.0);
    const double s = b;
    const double n = 1.0 / (1.0 + std::sqrt(2.0));
    const int front = outputChannel == 0 ? 0 : 1;
    const int surround = outputChannel == 0 ? 4 : 5;
    std::vector<double> out(input.Frames());
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = n * (input.At(i, front) + b * input.At(i, 2) + s * input.At(i, surround));
    }
    return out;
}

double AlignedSnrDb(const std::vector<double>& reference, const std::vector<double>& decoded,
                    int maxLag, int* lagFound) {
    const std::size_t length = std::min(reference.size(), decoded.size());
    const std::size_t begin = length / 4;
    const std::size_t end = length - length / 4 - static_cast<std::size_t>(maxLag);
    double best = -1e9;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double signal = 0.0, noise = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            const double d = decoded[i + lag] - reference[i];
            signal += reference[i] * reference[i];
            noise += d * d;
        }
        const double snr = 10.0 * std::log10(signal / std::max(noise, 1e-9));
        if (snr > best) {
            best = snr;
            if (lagFound) *lagFound = lag;
        }
    }
    return best;
}

PcmAudio DecodeWithFfmpeg(const std::string& mp2, const std::string& scratch, std::string* errors) {
    using tavrisk::test::Quote;
    const std::string raw = scratch + ".raw";
    const auto result = tavrisk::test::RunCommand("ffmpeg -nostdin -v error -y -i " + Quote(mp2) +
                                                  " -f s16le -acodec pcm_s16le " + Quote(raw));
    if (errors) *errors = result.output;
    PcmAudio audio;
    audio.channels = 2;
    audio.samples = tavrisk::test::ReadRawPcm(raw);
    return audio;
}

}  // namespace tavrisk::mp2::test

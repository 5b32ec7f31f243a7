// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/Resampler.h"

#include "dsp/SoxrResampler.h"

namespace tavrisk {

std::unique_ptr<Resampler> CreateResampler(ResamplerKind kind, std::string& error, int inputRate,
                                           int outputRate) {
    const bool linearPair =
        inputRate == Resampler::kInputRate && outputRate == Resampler::kOutputRate;
    if (kind == ResamplerKind::kLinear && linearPair) return std::make_unique<LinearResampler>();
    return SoxrResampler::Create(error, inputRate, outputRate);
}

void LinearResampler::Reset() {
    previous.fill(0.0f);
    current.fill(0.0f);
    phase = 1.0f;
    stepping = false;
}

std::size_t LinearResampler::Push(const Frame* in, std::size_t count, Frame* out) {
    std::size_t used = 0;
    std::size_t made = 0;
    for (;;) {
        if (!stepping) phase += kRatio;
        stepping = true;
        while (phase >= 1.0f) {
            if (used == count) return made;
            previous = current;
            current = in[used++];
            phase -= 1.0f;
        }
        stepping = false;
        const long double p = phase;
        Frame& frame = out[made++];
        for (int k = 0; k < kChannels; ++k) {
            frame[k] =
                static_cast<float>(static_cast<int32_t>((1.0L - p) * previous[k] + p * current[k]));
        }
    }
}

}  // namespace tavrisk

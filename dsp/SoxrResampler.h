// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "dsp/Resampler.h"

struct soxr;

namespace tavrisk {

// 48000 -> 44100 Hz (or between any two rates) by libsoxr: high quality, linear phase, single
// precision. Output frame n lies at input time n x input rate / output rate (libsoxr removes
// its filter delay), and after Flush the output holds the input's duration to within one
// frame. Values are converted as floats and come back as floats, neither rounded nor clipped:
// the chain does both once, at its end.
class SoxrResampler : public Resampler {
  public:
    // Frames are libsoxr's interleaved floats as they are.
    static_assert(sizeof(Frame) == kChannels * sizeof(float));

    // A converter (from 48000 to 44100 Hz unless other rates are given), or nullptr with
    // `error` set when libsoxr cannot make one.
    static std::unique_ptr<SoxrResampler> Create(std::string& error, int inputRate = kInputRate,
                                                 int outputRate = kOutputRate);

    void Reset() override;
    std::size_t MaxOutput(std::size_t count) const override;
    std::size_t Push(const Frame* in, std::size_t count, Frame* out) override;
    std::size_t Flush(Frame* out) override;

  private:
    struct HandleDeleter {
        void operator()(soxr* handle) const;
    };
    using Handle = std::unique_ptr<soxr, HandleDeleter>;

    SoxrResampler(Handle handle, int inputRate, int outputRate)
        : handle(std::move(handle)), inputRate(inputRate), outputRate(outputRate) {}
    // Output frames that `inputFrames` input frames span, rounded up.
    uint64_t OutputSpan(uint64_t inputFrames) const;

    Handle handle;
    uint64_t inputRate;
    uint64_t outputRate;
    // Input frames taken and output frames given since the start.
    uint64_t consumed = 0;
    uint64_t emitted = 0;
};

}  // namespace tavrisk

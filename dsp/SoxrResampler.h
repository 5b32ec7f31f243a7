#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dsp/Resampler.h"

struct soxr;

namespace tavrisk {

// 48000 -> 44100 Hz by libsoxr: high quality, linear phase, single precision. Output frame
// n lies at input time n x 48000 / 44100 (libsoxr removes its filter delay), and after
// Flush the output holds the input's duration to within one frame. Values are converted
// as floats and come back rounded to whole values, clipped to the 16-bit range.
class SoxrResampler : public Resampler {
  public:
    // A converter, or nullptr with `error` set when libsoxr cannot make one.
    static std::unique_ptr<SoxrResampler> Create(std::string& error);

    void Reset() override;
    std::size_t MaxOutput(std::size_t count) const override;
    std::size_t Push(const Frame* in, std::size_t count, Frame* out) override;
    std::size_t Flush(Frame* out) override;

  private:
    struct HandleDeleter {
        void operator()(soxr* handle) const;
    };
    using Handle = std::unique_ptr<soxr, HandleDeleter>;

    explicit SoxrResampler(Handle handle) : handle(std::move(handle)) {}
    // Converts the floats of `count` output frames back to whole values in `out`.
    void ToFrames(std::size_t count, Frame* out);

    Handle handle;
    // Input frames taken and output frames given since the start.
    uint64_t consumed = 0;
    uint64_t emitted = 0;
    // Interleaved floats exchanged with libsoxr; they grow to the largest run and stay.
    std::vector<float> inputSamples;
    std::vector<float> outputSamples;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tavrisk {

// How 48000 Hz becomes 44100 Hz: band-limited by libsoxr (the default), or by the linear
// interpolation of earlier versions.
enum class ResamplerKind { kSoxr, kLinear };

// Sample-rate conversion of processed frames (six values on the 16-bit scale each, with their
// fractions), push style:
// fed any number of input frames at a time, it emits the output frames they complete, so a
// run fed in chunks gives exactly what one uninterrupted run gives.
class Resampler {
  public:
    static constexpr int kChannels = 6;
    static constexpr int kInputRate = 48000;
    static constexpr int kOutputRate = 44100;
    using Frame = std::array<float, kChannels>;

    virtual ~Resampler() = default;

    // Back to the state before the first input frame.
    virtual void Reset() = 0;
    // The most output frames that `count` more input frames can complete (with count 0,
    // the most that Flush can give).
    virtual std::size_t MaxOutput(std::size_t count) const = 0;
    // Converts `count` input frames; writes the completed output frames to `out`, which has
    // room for MaxOutput(count), and returns how many there are.
    virtual std::size_t Push(const Frame* in, std::size_t count, Frame* out) = 0;
    // At the end of the input: writes the output frames still held back to `out`, which
    // has room for MaxOutput(0), and returns how many there are.
    virtual std::size_t Flush(Frame* out) = 0;
};

// A resampler of the given kind from `inputRate` to `outputRate`, or nullptr with `error` set
// when it cannot be made. Linear interpolation converts 48000 to 44100 Hz only: libsoxr
// converts any other pair of rates.
std::unique_ptr<Resampler> CreateResampler(ResamplerKind kind, std::string& error,
                                           int inputRate = Resampler::kInputRate,
                                           int outputRate = Resampler::kOutputRate);

// 48000 -> 44100 Hz by linear interpolation between two input frames. Per output frame the
// phase advances by 48000 / 44100 in single precision; while it reaches 1 the next input
// frame becomes current; the output is trunc((1 - phase) x previous + phase x current),
// formed in extended precision. The first output frame is thus 0.9115646 x frame 0 +
// 0.0884354 x frame 1. Nothing is held back at the end.
class LinearResampler : public Resampler {
  public:
    // 48000 / 44100 rounded to single precision.
    static constexpr float kRatio = 1.0884354f;

    void Reset() override;
    std::size_t MaxOutput(std::size_t count) const override { return count + 1; }
    std::size_t Push(const Frame* in, std::size_t count, Frame* out) override;
    std::size_t Flush(Frame*) override { return 0; }

    float Phase() const { return phase; }

  private:
    Frame previous{};
    Frame current{};
    float phase = 1.0f;
    // The phase of the output frame in hand was advanced, and it waits for input frames.
    bool stepping = false;
};

}  // namespace tavrisk

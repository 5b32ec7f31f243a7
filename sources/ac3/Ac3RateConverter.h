// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>

struct SwrContext;

namespace tavrisk::ac3 {

// Converts a stretch of six-channel interleaved float frames from one sample rate to
// another with libswresample, carrying its filter state from call to call; Finish hands out
// what the filter still holds, so that the stretch keeps its duration.
class Ac3RateConverter {
  public:
    static constexpr int kChannels = 6;

    // Starts a stretch at `from` Hz converted to `to` Hz; false when libswresample fails.
    bool Start(int from, int to);
    bool Active() const { return context != nullptr; }
    int FromRate() const { return fromRate; }
    // Converts `count` frames into `out`, which has room for `room` frames; the frames
    // written (-1 on a failure).
    long Convert(const float* in, std::size_t count, float* out, std::size_t room);
    // Ends the stretch: writes the frames still held into `out`; the frames written.
    long Finish(float* out, std::size_t room);
    // Drops the stretch without its last frames.
    void Stop();

  private:
    struct ContextFree {
        void operator()(SwrContext* context) const;
    };

    std::unique_ptr<SwrContext, ContextFree> context;
    int fromRate = 0;
};

}  // namespace tavrisk::ac3

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include "sources/DamageLog.h"

namespace tavrisk {

// Places the buffers of a pushed stream on the programme's clock by their timestamps, so
// that sound stays with the picture: a buffer stamped later than where the stream stands is
// preceded by silence of the difference, one stamped for a stretch already delivered loses
// what overlaps it. Differences within the stamps' rounding are ignored. Every fill and drop
// is noted in the damage log, at the point of the timeline where it happened.
class StreamTimeline {
  public:
    // Stamps this close to where the stream stands follow on (a millisecond-rounded
    // container, a decoder's own arithmetic); larger differences are gaps or overlaps.
    static constexpr int64_t kToleranceNs = 4'000'000;
    // A stream may end short of its segment's stated end by this much without loss being
    // told: the last frame of a codec whose padding the demuxer cut away. The rest of the
    // segment is then silence, so the output keeps the stated length.
    static constexpr int64_t kTailFillNs = 100'000'000;
    // A jump this far past the stated length (an estimate, for some containers) and past
    // where the stream stands, or back by more than kMaxOverlapNs, is a reset or a broken
    // stamp, not a gap or an overlap: the stream follows on, and later stamps count from
    // there.
    static constexpr int64_t kMaxFillPastEndSeconds = 60;
    static constexpr int64_t kMaxOverlapNs = 1'000'000'000;

    struct Placement {
        int64_t silence = 0;  // frames of silence before the buffer
        int64_t drop = 0;     // frames to drop from its front
    };

    // A new pass at `rate` Hz, noting into `log`.
    void Start(int rate, DamageLog& log);
    // A buffer of `frames` frames whose first one is stamped `startNs` (none: it follows
    // on); `statedFrames` is the input's stated length in frames (0 when unknown).
    Placement Place(std::optional<uint64_t> startNs, int64_t frames, int64_t statedFrames);
    // Where the next frame goes, in frames from the programme's start.
    int64_t Position() const { return position; }
    // Frames of silence that complete the stream up to its segment's end `endNs`.
    int64_t TailTo(std::optional<uint64_t> endNs) const;
    // Frames of `rate` Hz in `ns` nanoseconds, rounded to nearest.
    static int64_t FramesOf(uint64_t ns, int rate);

  private:
    int rate = 0;
    DamageLog* log = nullptr;
    int64_t position = 0;
    int64_t stampOffset = 0;  // added to stamps after a reset
    bool started = false;
};

}  // namespace tavrisk

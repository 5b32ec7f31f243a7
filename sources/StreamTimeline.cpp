// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/StreamTimeline.h"

#include <algorithm>

namespace tavrisk {
namespace {
constexpr uint64_t kNsPerSecond = 1'000'000'000;
}  // namespace

int64_t StreamTimeline::FramesOf(uint64_t ns, int frameRate) {
    const auto rateNow = static_cast<uint64_t>(frameRate);
    const uint64_t whole = ns / kNsPerSecond * rateNow;
    const uint64_t part = (ns % kNsPerSecond * rateNow + kNsPerSecond / 2) / kNsPerSecond;
    return static_cast<int64_t>(whole + part);
}

void StreamTimeline::Start(int streamRate, DamageLog& damage) {
    rate = streamRate;
    log = &damage;
    position = stampOffset = 0;
    started = false;
}

StreamTimeline::Placement StreamTimeline::Place(std::optional<uint64_t> startNs, int64_t frames,
                                                int64_t statedFrames) {
    Placement placement;
    const bool first = !started;
    started = true;
    if (startNs && rate > 0) {
        const int64_t stamp = FramesOf(*startNs, rate);
        int64_t at = stamp + stampOffset;
        const int64_t tolerance = FramesOf(kToleranceNs, rate);
        const int64_t limit = std::max(statedFrames, position) + kMaxFillPastEndSeconds * rate;
        if (at > limit ||
            at < position - FramesOf(kMaxOverlapNs, rate)) {
            stampOffset = position - stamp;
            at = position;
        }
        if (at > position + tolerance) {
            placement.silence = at - position;
            if (first)
                log->LeadingSilence(placement.silence);
            else
                log->TimestampGap(position, placement.silence);
        } else if (at < position - tolerance) {
            placement.drop = std::min(frames, position - at);
            log->Overlap(position, placement.drop);
        }
    }
    position += placement.silence + frames - placement.drop;
    return placement;
}

int64_t StreamTimeline::TailTo(std::optional<uint64_t> endNs) const {
    if (!endNs || rate <= 0 || !started) return 0;
    const int64_t end = FramesOf(*endNs, rate);
    if (end <= position || end - position > FramesOf(kTailFillNs, rate)) return 0;
    return end - position;
}

}  // namespace tavrisk

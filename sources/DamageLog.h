// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrisk {

// What a pass over an input overcame, with the time of each kind's earliest occurrence on the
// input's timeline (in samples at the stream's rate): damaged frames and gaps replaced by
// silence, overlapping audio dropped, stretches in another channel layout or at another
// rate, silence placed before a late first sound, an input cut inside its last frame and an
// input that ended before its stated length. Each kind is told once, with its count, in the
// report for the user.
class DamageLog {
  public:
    // A new pass over a stream at `rate` Hz: forgets everything noted.
    void Start(int rate);
    void DamagedFrame(int64_t at) { DamagedFrames(at, 1); }
    void DamagedFrames(int64_t at, int count);
    // Unreadable bytes skipped to regain sync, replaced by the silence of what they held.
    void Gap(int64_t at, int64_t silentSamples);
    // A jump of the stream's timestamps, filled with silence.
    void TimestampGap(int64_t at, int64_t silentSamples);
    // Audio stamped for a stretch already played, dropped.
    void Overlap(int64_t at, int64_t droppedSamples);
    // The first sound comes this late after the programme's start: silence before it.
    void LeadingSilence(int64_t silentSamples);
    // The input ended inside a frame starting at `at`: that frame's audio is missing,
    // `silentSamples` of silence in its place.
    void EndedInsideFrame(int64_t at, int64_t silentSamples);
    // The input ended at `end`, before the length its container states.
    void EndedEarly(int64_t end, int64_t statedLength);
    // A stretch of frames in another channel layout (its description) or at another rate.
    void LayoutStretch(const std::string& layout, int64_t at);
    void RateStretch(int rate, int64_t at);
    // What is wrong with the input's files (a DVD title cut short), told as it is.
    void InputDamage(const std::string& text) { inputDamage = text; }
    // Lines the decoding libraries logged meanwhile: told with the rest, not a warning alone.
    void LibraryMessages(uint64_t count) { libraryMessages = count; }

    bool Empty() const;
    // Something was lost or filled after the start (damage, gaps, overlaps, an early end),
    // not only mapped, converted or started late.
    bool HasDamage() const;
    // Anything the job completes with warnings for: all but a late start.
    bool HasWarnings() const { return HasDamage() || !layouts.empty() || !rates.empty(); }
    // One line per kind under a line naming the input; empty when nothing was noted.
    std::string Report(const std::string& inputName) const;

    // hh:mm:ss with `decimals` (1 or 2) of a point on the timeline.
    static std::string FormatTime(int64_t at, int rate, int decimals = 2);

  private:
    struct Occurrences {
        std::string name;  // of a stretch: its layout or rate
        int count = 0;
        int64_t first = 0;
        int64_t samples = 0;  // of silence filled or audio dropped, in all
        void Note(int64_t at, int times = 1);
    };
    static void NoteStretch(std::vector<Occurrences>& kinds, const std::string& name, int64_t at);
    // "<one> at <time><tail>" or "<count> <many>, the first at <time><tail>", with `from`
    // in place of "at" for stretches.
    std::string Line(const Occurrences& kind, const std::string& one, const std::string& many,
                     const char* preposition, const std::string& tail) const;
    // "<s> s <one> at <time><tail>" or "<count> <many> (<s> s in all), the first at <time>".
    std::string TimedLine(const Occurrences& kind, const std::string& one, const std::string& many,
                          const std::string& tail) const;
    std::string Seconds(int64_t samples, const char* format) const;
    // m:ss.d, or h:mm:ss.d from an hour on.
    std::string Clock(int64_t samples) const;

    int rate = 0;
    Occurrences damagedFrames;
    Occurrences gaps;
    Occurrences timestampGaps;
    Occurrences overlaps;
    Occurrences cutFrame;
    int64_t leadingSilence = 0;
    int64_t endedAt = -1;
    int64_t statedLength = 0;
    std::string inputDamage;
    std::vector<Occurrences> layouts;
    std::vector<Occurrences> rates;
    uint64_t libraryMessages = 0;
};

}  // namespace tavrisk

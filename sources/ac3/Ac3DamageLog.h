#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrisk::ac3 {

// What a pass over an AC-3 stream overcame, with the time of each kind's first occurrence
// on the input's timeline (in samples at the stream's rate): damaged frames and gaps
// replaced by silence, and stretches in another channel layout or at another rate. Each
// kind is told once, with its count, in the report for the user.
class Ac3DamageLog {
  public:
    // A new pass over a stream at `rate` Hz: forgets everything noted.
    void Start(int rate);
    void DamagedFrame(int64_t at);
    void Gap(int64_t at, int64_t silentSamples);
    // A stretch of frames in another channel layout (its description) or at another rate.
    void LayoutStretch(const std::string& layout, int64_t at);
    void RateStretch(int rate, int64_t at);

    bool Empty() const;
    // Something was lost (damaged frames or gaps), not only mapped or converted.
    bool HasDamage() const { return damagedFrames.count > 0 || gaps.count > 0; }
    // One line per kind under a line naming the input; empty when nothing was noted.
    std::string Report(const std::string& inputName) const;

    // hh:mm:ss.cc of a point on the timeline.
    static std::string FormatTime(int64_t at, int rate);

  private:
    struct Occurrences {
        std::string name;  // of a stretch: its layout or rate
        int count = 0;
        int64_t first = 0;
        void Note(int64_t at);
    };
    static void NoteStretch(std::vector<Occurrences>& kinds, const std::string& name, int64_t at);
    // "<one> at <time><tail>" or "<count> <many>, the first at <time><tail>", with `from`
    // in place of "at" for stretches.
    std::string Line(const Occurrences& kind, const std::string& one, const std::string& many,
                     const char* preposition, const std::string& tail) const;

    int rate = 0;
    Occurrences damagedFrames;
    Occurrences gaps;
    int64_t gapSilence = 0;
    std::vector<Occurrences> layouts;
    std::vector<Occurrences> rates;
};

}  // namespace tavrisk::ac3

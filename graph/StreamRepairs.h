// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tavrisk {

// What a run of the pipeline carried in the file's audio, gathered from any thread: stretches
// in another channel layout or at another rate than the stream's first format (layouts mapped
// into 5.1, rates converted to the first), and the lines the libraries logged meanwhile.
class StreamRepairs {
  public:
    // A stretch of the stream in another format, from its first change to it.
    struct Stretch {
        std::string layout;  // "stereo", ... when the layout changed, else ""
        int rate = 0;        // Hz when the rate changed, else 0
        uint64_t at = 0;     // stream time of its start, ns
    };
    struct Summary {
        int firstRate = 0;  // Hz of the stream's first format (0 when none was seen)
        std::vector<Stretch> stretches;
        uint64_t libraryMessages = 0;  // lines the libraries logged (LibraryLog) meanwhile
        std::string inputDamage;       // what is wrong with the input's files, or ""
    };

    // A new stream: forgets everything. A second run over the same stream (normalising) adds
    // nothing: a stretch is counted once, by its stream time.
    void Clear();
    // A format the stream arrives in (the first, or a change) at a stream time.
    void NoteFormat(const std::string& layout, int rate, uint64_t at);
    // What is wrong with the input's files, found before it is read (a DVD title cut short).
    void NoteInputDamage(const std::string& text);
    Summary Snapshot() const;

  private:
    static constexpr std::size_t kMaxStretches = 64;

    mutable std::mutex lock;
    Summary summary;
    std::string firstLayout;
    std::string currentLayout;
    int currentRate = 0;
};

}  // namespace tavrisk

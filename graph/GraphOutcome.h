// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tavrisk {

// What kind of failure a file's graph met, where the kind is known.
enum class BuildProblem {
    kNone,
    kNotMedia,       // no container or stream type that GStreamer recognises and reads
    kNoAudioStream,  // a media file without audio
    kNoSuchTrack,    // the audio track asked for is not in the file
    kOther,          // anything else: an audio stream without a decoder, an element failing
};

// What every operation of the graph library that can fail gives back: success, or the reason
// it failed, in words a message may quote. The library shows nothing itself; the editor (or
// whoever called) turns a failure into a message.
class GraphOutcome {
  public:
    GraphOutcome() = default;  // success
    static GraphOutcome Failure(std::string reason, BuildProblem problem = BuildProblem::kOther) {
        GraphOutcome outcome;
        outcome.failure = Failed{std::move(reason), problem};
        return outcome;
    }

    bool Ok() const { return !failure; }
    explicit operator bool() const { return Ok(); }
    // Why it failed ("" on success).
    const std::string& Reason() const { return failure ? failure->reason : kNoReason; }
    BuildProblem Problem() const { return failure ? failure->problem : BuildProblem::kNone; }

  private:
    struct Failed {
        std::string reason;
        BuildProblem problem;
    };
    static inline const std::string kNoReason;
    std::optional<Failed> failure;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string>
#include <vector>

#include "mp2dec/FrameDecoder.h"
#include "mp2dec/OutputLayout.h"
#include "mp2dec/ProblemLog.h"
#include "mp2dec/SynthesisQueue.h"

namespace tavrisk::mp2dec {

// Where decoded samples go: Start once, at the first frame, then every decoded frame's
// samples, interleaved. False from either ends the run as a failed write.
class SampleSink {
  public:
    virtual ~SampleSink() = default;
    virtual bool Start(int channels, int sampleRate) = 0;
    // Start with the speakers of the channels; a sink that keeps no layout takes the count.
    virtual bool Start(const OutputLayout& layout, int sampleRate) {
        return Start(layout.count, sampleRate);
    }
    virtual bool Write(std::span<const int16_t> samples) = 0;
    // The output as messages name it.
    virtual std::string Name() const = 0;
};

// Decodes a whole stream into 16-bit samples: the channels of the configuration of its first
// frame in the order L, C, R, LS (or the mono surround), RS, LFE; or the compatible pair
// (asked for, or of a stream whose first frame has no extension), or its mono channel, or
// its second stereo programme (asked for: a stream whose first frame carries none fails). Good
// frames are decoded whatever happens between them; frames with a damaged compatible part
// come out silent; a frame whose extension is damaged or uses features we do not decode
// gives its compatible pair. Every frame found gives its samples, so the timeline is kept.
class StreamDecoder {
  public:
    struct Summary {
        long frames = 0;
        long muted = 0;
        long stereoFallbacks = 0;  // frames given as their compatible pair alone
        bool writeFailed = false;
        bool stereoOnly = false;  // six channels asked, but no frame has the extension
        int sampleRate = 0;
        int channels = 0;  // written: the stream's channels, or its stereo pair
        OutputLayout layout;
    };
    using Progress = std::function<void(uint64_t)>;

    // The main programme is the configuration's channels; the second stereo programme a
    // stream may carry instead of its surrounds is decoded alone when asked for.
    enum class Programme { kMain, kSecond };

    // With `threads` above 1, frames are synthesised on a second thread while the next ones
    // are read; the output and the problems found are the same.
    explicit StreamDecoder(bool compatiblePairOnly, Programme programme = Programme::kMain,
                           int threads = 1);

    // True when every frame found reached the sink (problems in frames are in the log).
    bool Decode(std::istream& in, SampleSink& sink, ProblemLog& log, Summary& summary,
                const Progress& progress = {});

  private:
    // Reports a frame whose channels are not the output's, once at each change: a warning
    // when the output carries all of them, an error when some are lost.
    void NoteLayoutChange(const OutputLayout& output, const OutputLayout& frame, long number,
                          ProblemLog& log);
    // The channels the output takes from a frame.
    OutputLayout LayoutOfFrame(const FrameHeader& header, const ExtensionInfo& extension) const;
    // Says once that the output leaves out the second programme the stream carries.
    void NoteSecondProgramme(const ExtensionInfo& extension, long number, ProblemLog& log);
    // The samples of a frame (`decoded` channels) as the sink takes them.
    std::span<const int16_t> Output(const OutputLayout& layout, int decoded,
                                    const int16_t* samples);
    // Counts the frame, says what changes with it, and writes it: false when the sink fails.
    bool WriteFrame(PendingFrame& frame, int decoded, SampleSink& sink, ProblemLog& log,
                    Summary& summary, const Progress& progress);

    bool pairOnly;
    Programme programme;
    int threads;
    bool secondProgrammeNoted = false;
    bool sawExtension = false;  // some frame carried the multichannel extension
    OutputLayout previous;      // the channels of the frame before
    std::vector<int16_t> picked;
};

}  // namespace tavrisk::mp2dec

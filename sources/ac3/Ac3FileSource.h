// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sources/DamageLog.h"
#include "sources/SampleSource.h"
#include "sources/ac3/Ac3ByteInput.h"
#include "sources/ac3/Ac3RateConverter.h"

namespace tavrisk {

// The native source for AC-3: a raw stream or the AC-3 track of an AVI file, decoded frame
// by frame through the ac3_* library. The first frame decides: anything but 3/2 + LFE at
// 48 or 44.1 kHz is refused, and so is a rate other than the job's input rate. After it,
// the stream keeps its timeline whatever comes: a damaged frame becomes a frame of
// silence, bytes skipped to regain sync become the silence of the frames they held, a
// stretch in another layout is mapped into 5.1, one at another rate is converted to the
// first frame's rate and a frame the input ends inside becomes a frame of silence; all of
// it is reported once, at the end of the input. Applies the resync offset (a raw stream
// reads over whole frames without decoding them first); the last block is padded with
// silence. One AC-3 source exists at a time: the library's callbacks reach it as the
// current source.
class Ac3FileSource : public SampleSource {
  public:
    // A stop request is looked at after this many bytes read without a frame.
    static constexpr std::size_t kStopPollBytes = std::size_t{64} << 10;

    Ac3FileSource(JobHost& host, const JobSettings& settings);
    ~Ac3FileSource() override;

    void Close() override;

    // The status text of a stream description (the 8-byte record of the library).
    static std::string DescribeStream(const uint8_t* record);

  protected:
    bool OpenInput() override;
    InputStatus ReadInput(InputRun& run) override;
    bool RewindInput() override;
    double InputPosition() const override { return static_cast<double>(input.Position()); }
    double InputSize() const override { return static_cast<double>(input.Size()); }
    // A raw stream reads over whole frames, then drops the rest of the first frame.
    bool SkipAhead(int32_t& resyncMs) override;

  private:
    // kGap: the frame came after skipped bytes; it is held, with the gap's silent frames
    // pending before it.
    enum class FrameRead { kFrame, kGap, kEnd, kFailed };
    using Record = std::array<uint8_t, 8>;

    // Read callback of the library: exactly `length` raw bytes of the input.
    const char* ReadRaw(uint8_t* buffer, int length);
    // Stream-info callback: shows the description, accepts only 3/2 + LFE at 48 or 44.1 kHz.
    const char* CheckFormat(const uint8_t* record);

    // Reads a frame into the frame buffer (the held one first), with the messages of a read
    // error. kEnd (also on a stop) and a refused stream are silent.
    FrameRead ReadFrame();
    bool FindFirstFrame();
    Record FrameRecord() const;
    // Back to the state at the start of the stream, for a new pass.
    void StartPass();
    // The current format and the damage log from the stream's first frame.
    void StartFormat();

    // An input cut inside its last frame ends with that frame's silence; true when it does.
    bool PadCutFrame();
    // A gap found becomes its silent frames at the current rate; true when one began.
    bool BeginGap();
    // Decodes the frame read, or makes silence of a damaged one, into `decoded` (the decode
    // buffer or the run's room); the rate it is at.
    int DecodeFrame(float* decoded);
    // Notes a change of layout or rate of a decoded frame.
    void NoteFormat(const Record& record);
    // The `decoded` frame at `rate` as a run at the stream's rate (converted
    // where needed, after the end of a converted stretch); false when nothing is left of
    // it (a resync skip dropped it) or the conversion failed.
    bool Emit(int rate, const float* decoded, InputRun& run);
    bool FinishConversion(std::size_t& count);
    // Drops what a resync skip still wants from the front of the frames; the rest is the run.
    void Deliver(const float* frames, std::size_t count, InputRun& run);
    // The last frames of a converted stretch, then the report of the damage.
    InputStatus EndOfInput(InputRun& run);

    static const char* ReadCallback(uint8_t* buffer, int length);
    static const char* StreamInfoCallback(const uint8_t* record);
    static const char* OutputCallback(const void* data, int length);
    static void WarningCallback(int code, int value, const float* extra);

    Ac3ByteInput input;
    bool libraryStarted = false;
    std::vector<uint8_t> frameBuffer;
    std::vector<float> decodeBuffer;     // one frame, 1536 x 6
    std::vector<float> convertedBuffer;  // one run, kMaxRunFrames x 6
    ac3::Ac3RateConverter converter;
    DamageLog damage;

    // The stream, from its first frame.
    int streamRate = 0;
    int streamLayout = 0;
    int streamFrameBytes = 0;

    // The pass.
    bool outputPass = false;
    bool reported = false;
    bool stopped = false;
    bool heldFrame = false;  // a frame read but not yet consumed
    bool endSeen = false;
    bool cutAtEnd = false;         // the input ended inside a frame, its silence not yet given
    std::size_t skippedBytes = 0;  // before the frame read last (the sync-lost warning)
    std::size_t bytesSinceFrame = 0;
    int64_t gapFrames = -1;  // silent frames of a gap found, not yet begun (-1 none)
    int64_t silentFramesLeft = 0;
    int silenceRate = 0;
    int currentRate = 0;  // of the last frame decoded
    int currentLayout = 0;
    int currentFrameBytes = 0;
    int64_t timeline = 0;  // input samples at the stream's rate passed so far
    int64_t dropLeft = 0;  // samples still to drop for a resync skip
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "dsp/SampleBlock.h"
#include "mp2enc/BlockGatherer.h"
#include "mp2enc/EncoderLog.h"
#include "mp2enc/EncoderSettings.h"
#include "mp2enc/FrameSchedule.h"
#include "mp2enc/FrameSink.h"
#include "mp2enc/LfeFilter.h"
#include "mp2enc/Mp2Encoder.h"

namespace tavrisk::mp2 {

// The encoder of one stream on several threads: the frames are cut into segments of a few
// frames, each encoded by an encoder of its own started where the segment stands (see
// Mp2Encoder::StartSegment), and handed to the sink in stream order. The frames are those
// the encoder writes alone, byte for byte. Only what reaches back to the start of the stream
// runs on the calling thread, in order: the LFE's low-pass and the frame schedule; and the
// segments no worker has taken up when their frames are due. A fixed number of rooms hold
// the segments' input, each free again once its segment is encoded (one slow to be encoded
// does not hold up those after it), and a fixed number of segments is in flight, so the
// memory does not grow with the input. With one thread, and for the settings whose frames
// depend on the frames before (the ancillary text, the traces of the higher verbosities),
// the plain encoder does the work on the calling thread.
class ParallelMp2Encoder {
  public:
    static constexpr int kDefaultSegmentFrames = 32;

    explicit ParallelMp2Encoder(int threads = 1, int segmentFrames = kDefaultSegmentFrames);
    // Stops the threads; frames not yet handed to the sink are dropped.
    ~ParallelMp2Encoder();
    ParallelMp2Encoder(const ParallelMp2Encoder&) = delete;
    ParallelMp2Encoder& operator=(const ParallelMp2Encoder&) = delete;

    // Threads for the runs configured afterwards.
    void SetThreads(int threads) { wantedThreads = std::max(threads, 1); }
    // As Mp2Encoder's: the frames go to `sink`, which must outlive the run.
    bool Configure(const EncoderSettings& settings, FrameSink& sink);
    // Takes one block of 1152 samples per channel. False once the sink refused a frame.
    bool EncodeFrame(const SampleBlock& block);
    // Where the next block is to be written in place (no copy is made of it), then taken by
    // CommitBlock; EncodeFrame is the two with a copy. The room stays the caller's until
    // CommitBlock, and NextBlock gives the same room again until then.
    SampleBlock& NextBlock();
    // Takes the block written into NextBlock's room. False once the sink refused a frame.
    bool CommitBlock();
    // As Mp2Encoder's: takes `count` samples of each plane and encodes the blocks they
    // complete; Finish pads the rest of a block with silence.
    bool Push(std::span<const double* const> planes, std::size_t count);
    // Encodes what is left and hands every frame to the sink. False when it refused one.
    bool Finish();

    // The messages of the frames handed to the sink so far, in stream order.
    EncoderLog& Log() { return serial ? plain.Log() : log; }
    // Blocks taken so far.
    long FrameCount() const { return serial ? plain.FrameCount() : framesTaken; }
    // The frame parameters of the configured stream.
    const FrameParams& Params() const { return plain.Params(); }
    // Threads encoding the frames of the run (1: the calling thread alone).
    int Threads() const { return serial ? 1 : static_cast<int>(workers.size()); }

  private:
    // The input of one segment, in a room of its own: free again once the segment is encoded.
    struct Segment {
        explicit Segment(int frames);
        FramePlace place;
        bool hasPrevious = false;
        SampleBlock previous;
        std::vector<SampleBlock> blocks;
        std::vector<LfeFilter::Frame> lfe;
        int count = 0;  // blocks taken
    };
    // What a segment's encoder made of it, kept until its frames are handed to the sink.
    struct Encoded {
        Segment* input = nullptr;  // the room, until the segment is encoded
        HeldFrames output;         // the frames as the segment's encoder writes them
        int count = 0;             // blocks the segment took
        std::vector<EncoderMessage> messages;
        bool done = false;  // guarded by `lock`
        bool ok = false;
    };

    void StartWorkers(int threads);
    void StopWorkers();
    void WorkerLoop(std::unique_ptr<Mp2Encoder> encoder);
    static void EncodeSegment(Mp2Encoder& encoder, const EncoderSettings& settings,
                              const Segment& segment, Encoded& result);
    Encoded& ResultOf(long sequence) { return *results[sequence % results.size()]; }
    // The next block starts a segment of its own.
    bool SegmentFull() const { return framesTaken == 0 || current->count == segmentFrames; }
    // A free room for the next segment, waiting for a segment to be encoded when none is:
    // meanwhile the calling thread encodes one no worker has taken up.
    Segment& TakeRoom();
    // With `lock` held: encodes the oldest segment no worker has taken up, on this thread;
    // false when every one dispatched is taken.
    bool EncodeUntakenHere(std::unique_lock<std::mutex>& guard);
    // Opens the next segment in the room NextBlock took.
    void OpenSegment();
    void Dispatch();
    void Append(std::vector<EncoderMessage> messages);
    // Waits for the oldest segment in flight and hands its frames to the sink.
    void WriteOldest();
    // Hands the frames of the oldest segments to the sink as far as they are encoded.
    void WriteEncoded();

    int wantedThreads;
    int segmentFrames;
    bool serial = true;
    // The run on the calling thread, or there the segments no worker took up in time.
    Mp2Encoder plain;
    EncoderSettings settings;
    FrameSink* sink = nullptr;
    EncoderLog log;
    BlockGatherer gatherer;
    FrameSchedule schedule;
    LfeFilter lfeFilter;
    // The room NextBlock gives when the plain encoder does the work.
    std::unique_ptr<SampleBlock> serialBlock = std::make_unique<SampleBlock>();
    long framesTaken = 0;
    bool filling = false;  // the segment opened last is not dispatched yet
    bool failed = false;
    // The rooms of the segments; those not in use are in `freeRooms` (guarded by `lock`).
    std::vector<std::unique_ptr<Segment>> rooms;
    std::vector<Segment*> freeRooms;
    Segment* current = nullptr;  // the segment opened last
    Segment* next = nullptr;     // the room NextBlock took for the next segment
    // The segments by sequence number: [written, opened) are in flight, their frames not yet
    // handed to the sink; the one opened last is filled until it is dispatched.
    std::vector<std::unique_ptr<Encoded>> results;
    long written = 0;
    long opened = 0;
    std::mutex lock;
    std::condition_variable workAvailable;
    std::condition_variable segmentEncoded;
    long dispatched = 0;  // guarded by `lock`, as are taken and stopping
    long taken = 0;
    bool stopping = false;
    std::vector<std::jthread> workers;
};

}  // namespace tavrisk::mp2

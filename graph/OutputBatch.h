// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace tavrisk {

// A decoder's frames gathered into one output buffer while each follows on from the last, so
// that the elements after the decoder, and the threads between them, handle a few buffers a
// second rather than one for every codec frame. A frame whose stamp says it does not follow
// on (a gap, an overlap, a stream that starts again) starts a batch of its own, so every frame
// keeps its place on the stream's clock. The buffers come from a pool and are used again once
// downstream has let them go: no allocation, nor memory newly paged in, per frame.
class OutputBatch {
  public:
    // A batch holds this many samples (six AC-3 frames, 192 ms at 48 kHz), or one frame when
    // a frame is longer.
    static constexpr int kSamples = 9216;

    OutputBatch() = default;
    ~OutputBatch();
    OutputBatch(const OutputBatch&) = delete;
    OutputBatch& operator=(const OutputBatch&) = delete;

    // Whether a frame of `samples` samples in `bytesPerSample`-byte samples at `rate` Hz,
    // stamped `pts` (none: it follows on), joins the batch: the batch is empty, or the frame
    // is in its format, fits, and follows on from it.
    bool Takes(GstClockTime pts, int samples, gsize bytesPerSample, int rate) const;
    // Where the frame is written, at the batch's end (a new batch's start when it is empty);
    // nullptr when no buffer could be had.
    uint8_t* Room(int samples, gsize bytesPerSample, int rate);
    // The frame written at Room went in; it stands for `inputFrames` frames of the input.
    void Added(GstClockTime pts, int samples, int inputFrames);
    // No more frames fit after those held.
    bool Full() const { return buffer != nullptr && used >= capacity; }
    // The batch as a buffer of the caller's, and the input frames it stands for; nullptr when
    // it holds no samples.
    GstBuffer* Take(int& inputFrames);
    // Drops the frames held.
    void Clear();
    // Drops the frames held and the pool.
    void Reset();

  private:
    bool Start(gsize bytes);

    GstBufferPool* pool = nullptr;
    gsize poolSize = 0;
    GstBuffer* buffer = nullptr;
    GstMapInfo map{};
    gsize capacity = 0;  // bytes
    gsize used = 0;
    gsize bytesPerSample = 0;
    int rate = 0;
    uint64_t samples = 0;
    int inputFrames = 0;
    GstClockTime firstPts = GST_CLOCK_TIME_NONE;
};

}  // namespace tavrisk

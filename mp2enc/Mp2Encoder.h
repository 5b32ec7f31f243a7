// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "dsp/SampleBlock.h"
#include "mp2enc/AnalysisFilterbank.h"
#include "mp2enc/BitAllocation.h"
#include "mp2enc/BitStream.h"
#include "mp2enc/BlockGatherer.h"
#include "mp2enc/EncoderLog.h"
#include "mp2enc/EncoderSettings.h"
#include "mp2enc/EncoderRandom.h"
#include "mp2enc/FrameLength.h"
#include "mp2enc/FrameSchedule.h"
#include "mp2enc/FrameSink.h"
#include "mp2enc/FrameWriter.h"
#include "mp2enc/LfeCoder.h"
#include "mp2enc/LfeFilter.h"
#include "mp2enc/MpegHeader.h"
#include "mp2enc/PsychoacousticModel.h"
#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

// The encoder of one stream: turns six-channel samples into frames of a Layer II stream of
// the configured channels (3/2 with LFE by default; 2/0 and 1/0 are plain stereo and mono
// frames, the others multichannel ones) and hands each whole frame to a sink. It opens no file and
// prints nothing: its messages wait in Log() for the owner. All state is per object and is
// set anew by Configure(), so a run never depends on the runs before it, and encoders on
// different threads never share anything.
class Mp2Encoder {
  public:
    Mp2Encoder();
    Mp2Encoder(const Mp2Encoder&) = delete;
    Mp2Encoder& operator=(const Mp2Encoder&) = delete;

    // Fixes the stream configuration and checks that every frame fits; false after an
    // error in the log when the settings cannot give a valid stream. The frames of the run
    // go to `sink`, which must outlive it.
    bool Configure(const EncoderSettings& settings, FrameSink& sink);
    // Encodes one block of 1152 samples per channel; its frame reaches the sink with the
    // next call or in Finish(). False once the sink refused a frame.
    bool EncodeFrame(const SampleBlock& block);
    // Takes `count` samples of each channel, planes in the rows' order of SampleBlock, and
    // encodes every block they complete. False once the sink refused a frame.
    bool Push(std::span<const double* const> planes, std::size_t count);
    // Pads the samples pushed since the last whole block with silence, encodes them, and
    // hands every frame still held to the sink. False when the sink refused a frame.
    bool Finish();

    // A segment of a longer stream, for encoders that share its frames out: after Configure,
    // StartSegment puts the encoder at `place`, its filterbank and model primed with
    // `previous`, the block before the segment (none at the stream's start). The caller runs
    // the LFE's filter through the whole stream: each block comes with its frame's LFE
    // samples. FinishSegment writes the frame still held. The frames are those the encoder
    // writes when it runs through the whole stream.
    void StartSegment(const FramePlace& place, const SampleBlock* previous);
    bool EncodeSegmentFrame(const SampleBlock& block, const LfeFilter::Frame& lfe);
    bool FinishSegment();
    // Whether the psychoacoustic model of the runs configured afterwards may take a helper
    // thread (the default); off where encoders run on every core already.
    void AllowHelperThread(bool allowed) { helperThreadAllowed = allowed; }

    EncoderLog& Log() { return log; }
    long FrameCount() const { return frames; }
    const MpegHeader& Header() const { return mpegHeader; }
    const FrameParams& Params() const { return frameParams; }
    const FrameLength& Length() const { return length; }
    const LfeCoder& Lfe() const { return lfeCoder; }
    bool OutputFailed() const { return bitStream.WriteFailed(); }

  private:
    void StartFrame(int procedure);
    PsyFrameInfo FrameInfoForModel() const;
    // The frame's `center` field: none, full or limited bandwidth.
    int CentreField() const;
    // The block as the configuration carries it (the block itself for 3/2).
    const SampleBlock& Folded(const SampleBlock& block);
    // Filterbank, matrixing and scale factors of the block whose frame was started.
    void PrepareFrame();
    void CollectMasking();
    // Codes the LFE, allocates, formats and writes the prepared frame.
    void WritePending();
    // The filterbank of one input slot of filterInput, into `filtered`.
    void FilterSlot(int slot);
    void WriteFill(long frameStartBits);
    // Smallest frame the configuration can write: header, side information and LFE.
    int MinimumFrameBits() const;

    // Refusals of the settings, as the log receives them; false after one.
    bool CheckSettings();

    EncoderLog log;
    EncoderSettings settings;
    MpegHeader mpegHeader;
    FrameParams frameParams;
    FrameLength length;
    BitStream bitStream;
    FrameWriter frameWriter;
    BitAllocator bitAllocator;
    LfeCoder lfeCoder;
    EncoderRandom random;  // the random procedure and allocation choices
    std::unique_ptr<AnalysisFilterbank> filterbank;
    std::unique_ptr<SubbandFrame> frame;
    static constexpr int kFilteredSlots = 5;  // slots 5 and 6 are formed by the matrixing
    struct FilteredSamples {
        double samples[kFilteredSlots][kParts][kGranules][kSubbands];
    };
    std::unique_ptr<FilteredSamples> filtered;
    const SampleBlock* filterInput = nullptr;  // the block being filtered
    double frequencyKhz = 48.0;
    long adb = 0;
    long frames = 0;
    unsigned long totalBitsSent = 0;
    int crcBits = 0;
    int extraSlot = 0;
    bool pending = false;  // a prepared frame waits to be written
    bool helperThreadAllowed = true;
    bool psyModelHelper = true;  // whether the model was made with its helper thread
    // In a segment the LFE samples come filtered: those of the block being encoded, and
    // those of the prepared frame.
    bool lfeFiltered = false;
    const LfeFilter::Frame* blockLfe = nullptr;
    LfeFilter::Frame pendingLfe{};
    BlockGatherer gatherer;               // samples pushed towards the next block
    std::unique_ptr<SampleBlock> folded;  // the block folded into the configuration's channels
    std::size_t clippedByFold = 0;
    // The model's helper thread reads, through filterSlot, filterInput, filterbank and
    // filtered. Members are destroyed in reverse order: declared last, the
    // model stops its thread before anything it reads goes away.
    std::unique_ptr<PsychoacousticModel> psyModel;
};

}  // namespace tavrisk::mp2

#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "dsp/SampleBlock.h"
#include "mp2enc/AnalysisFilterbank.h"
#include "mp2enc/BitAllocation.h"
#include "mp2enc/BitStream.h"
#include "mp2enc/EncoderOptions.h"
#include "mp2enc/EncoderRandom.h"
#include "mp2enc/FrameLength.h"
#include "mp2enc/FrameWriter.h"
#include "mp2enc/LfeCoder.h"
#include "mp2enc/MpegHeader.h"
#include "mp2enc/PsychoacousticModel.h"
#include "mp2enc/SubbandFrame.h"

namespace tavrisk::mp2 {

// The encoder core of one run: turns blocks of 1152 six-channel samples into frames of
// the 3/2 + LFE multichannel Layer II stream. All state is per object and is set anew by
// Configure(), so a run never depends on the runs before it.
class Mp2Encoder {
  public:
    Mp2Encoder();
    Mp2Encoder(const Mp2Encoder&) = delete;
    Mp2Encoder& operator=(const Mp2Encoder&) = delete;

    void SetStreams(std::FILE* out, std::FILE* err) {
        outStream = out;
        errStream = err;
    }
    std::FILE* OutputStream() const { return outStream; }
    std::FILE* ErrorStream() const { return errStream; }
    // At verbosity > 0 each frame's number is drawn on the error stream, by default only when
    // that stream is a terminal; a caller that draws its own progress turns it off here.
    void SetShowFrameCounter(bool show) { frameCounterChoice = show; }

    // Fixes the stream configuration from the options and checks that every frame fits;
    // false after a message when the options cannot give a valid stream.
    bool Configure(const EncoderOptions& options);
    // Creates the output file; false after "Could not create". The file takes its name in
    // Finish(); an encoder dropped before leaves any earlier file of that name untouched.
    bool OpenOutput(const std::string& path);
    // Encodes one frame; it is written by the next call or by Finish(). False when writing
    // failed.
    bool EncodeFrame(const SampleBlock& block);
    // Closes the output and prints the statistics; false when writing or closing failed.
    // After a failed write the file ends at its last whole frame; one without a whole frame
    // is not kept. The file takes the name `end` chooses (see OutputFile).
    bool Finish(const std::string& inputPath, const std::string& outputPath,
                OutputEnd end = OutputEnd::kComplete);
    // Where finish put the output; empty when it kept none.
    const std::optional<KeptOutput>& Kept() const { return bitStream.Kept(); }

    long FrameCount() const { return frames; }
    const MpegHeader& Header() const { return mpegHeader; }
    const FrameParams& Params() const { return frameParams; }
    const FrameLength& Length() const { return length; }
    const LfeCoder& Lfe() const { return lfeCoder; }
    bool OutputFailed() const { return bitStream.WriteFailed(); }

  private:
    int ChooseDematrixProcedure();
    void StartFrame(int procedure);
    PsyFrameInfo FrameInfoForModel() const;
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

    std::FILE* outStream = stdout;
    std::FILE* errStream = stderr;
    EncoderOptions options;
    std::optional<bool> frameCounterChoice;  // unset: when the error stream is a terminal
    bool showFrameCounter = false;           // for the run, fixed by Configure()
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
    std::unique_ptr<double[][kFrameSamples]> psyInput;
    double frequencyKhz = 48.0;
    long adb = 0;
    long frames = 0;
    unsigned long totalBitsSent = 0;
    int crcBits = 0;
    int extraSlot = 0;
    bool pending = false;  // a prepared frame waits to be written
    // The model's helper thread reads psyInput and, through filterSlot, filterInput,
    // filterbank and filtered. Members are destroyed in reverse order: declared last, the
    // model stops its thread before anything it reads goes away.
    std::unique_ptr<PsychoacousticModel> psyModel;
};

}  // namespace tavrisk::mp2

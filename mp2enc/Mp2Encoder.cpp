// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/Mp2Encoder.h"

#include <algorithm>

#include "mp2enc/AllocZeroed.h"
#include "mp2enc/ChannelLayout.h"
#include "mp2enc/HeaderLookups.h"
#include "mp2enc/Matrixing.h"
#include "mp2enc/ScaleFactors.h"
#include "mp2enc/TcAllocation.h"

namespace tavrisk::mp2 {
namespace {

constexpr int kLayer2 = 2;
constexpr int kMaxDematrixProcedure = 3;
constexpr int kMaxTcAlloc = kTcAllocValues - 1;
constexpr int kUnpredicted = 127;
constexpr int kMaxSamplingCode = 2;
constexpr int kSingleChannelMode = 3;

// Bitrates the base frame may not have (ISO/IEC 11172-3): with two channels, those below
// 64 kbit/s and 80; with one, those above 192.
bool BitrateAllowed(int kbps, int compatibleChannels) {
    if (compatibleChannels == 1) return kbps <= 192;
    return kbps >= 64 && kbps != 80;
}

// Filterbank input row of each coded slot: the LFE row never enters the filterbank.
constexpr int kSlotRow[5] = {SampleBlock::kRowL, SampleBlock::kRowR, SampleBlock::kRowC,
                             SampleBlock::kRowLs, SampleBlock::kRowRs};

// The model's slots of a frame: Lo, Ro, C, LS, RS, L, R, with Lo and Ro given as L and R (a
// matrixed frame's Lo and Ro the model mixes itself); the slots past them are silent.
PsySlotRows ModelRows(const SampleBlock& block) {
    static constexpr double kSilence[kFrameSamples] = {};
    PsySlotRows slots;
    slots.fill(kSilence);
    slots[kSlotLo] = slots[kSlotL] = block.Row(SampleBlock::kRowL);
    slots[kSlotRo] = slots[kSlotR] = block.Row(SampleBlock::kRowR);
    slots[kSlotC] = block.Row(SampleBlock::kRowC);
    slots[kSlotLs] = block.Row(SampleBlock::kRowLs);
    slots[kSlotRs] = block.Row(SampleBlock::kRowRs);
    return slots;
}

// The model's slots Lo and Ro of a matrixed frame as weighted sums of the others (the
// time-domain downmix): the model mixes their windowed samples, so the rows it is given are
// the unmatrixed ones.
PsyFrameInfo MixedFrameInfo(PsyFrameInfo info, int procedure) {
    if (!info.multichannel || procedure == kProcedureNoMatrix) return info;
    const auto [b, s, n] = TimeDomainCoefficients(procedure);
    auto& lo = info.mix[kSlotLo];
    auto& ro = info.mix[kSlotRo];
    info.mixedSlots = 2;
    lo[kSlotL] = n;
    ro[kSlotR] = n;
    lo[kSlotC] = n * b;
    ro[kSlotC] = n * b;
    if (procedure == kProcedureSurroundDifference) {
        // Lo and Ro take the surrounds' mean, negated in Lo.
        const double m = n * s / 2.0;
        lo[kSlotLs] = -m;
        lo[kSlotRs] = -m;
        ro[kSlotLs] = m;
        ro[kSlotRs] = m;
    } else {
        lo[kSlotLs] = n * s;
        ro[kSlotRs] = n * s;
    }
    return info;
}

}  // namespace

Mp2Encoder::Mp2Encoder()
    : filterbank(std::make_unique<AnalysisFilterbank>()),
      frame(AllocZeroed<SubbandFrame>("subband")),
      filtered(AllocZeroed<FilteredSamples>("filterbank output")),
      folded(std::make_unique<SampleBlock>()) {}

bool Mp2Encoder::CheckSettings() {
    const char* name = kProgramName;
    if (settings.dynCrossChoice != 0) {
        log.Error(FormatText("%s: dynamic cross-talk (-y %d) is not supported\n", name,
                             settings.dynCrossChoice));
        return false;
    }
    if (settings.dematrixChoice < -1 || settings.dematrixChoice > kMaxDematrixProcedure) {
        log.Error(FormatText("%s: -x dematrix procedure must be -1 to 3, not %d\n", name,
                             settings.dematrixChoice));
        return false;
    }
    const std::string configurationProblem = ConfigurationProblem(settings.channels);
    if (!configurationProblem.empty()) {
        log.Error(configurationProblem);
        return false;
    }
    const ChannelLayout layout = LayoutOf(settings.channels);
    const int maxTcAlloc =
        layout.config == kConfig32 ? kMaxTcAlloc : TcAllocValues(layout.config) - 1;
    if (settings.tcAllocChoice < kTcAllocAdaptive || settings.tcAllocChoice > maxTcAlloc) {
        log.Error(FormatText("%s: -k tc allocation must be -2 to %d, not %d\n", name, maxTcAlloc,
                             settings.tcAllocChoice));
        return false;
    }
    const bool recoverable =
        layout.config == kConfig32
            ? settings.tcAllocChoice != kCentreAndBothFronts
            : OtherConfigurationDematrixable(layout.config, settings.tcAllocChoice,
                                             kProcedureSurroundDifference);
    if (settings.tcAllocChoice >= 0 && !recoverable &&
        settings.dematrixChoice == kProcedureSurroundDifference) {
        log.Error(
            FormatText("%s: -k %d cannot be dematrixed with -x 2\n", name, settings.tcAllocChoice));
        return false;
    }
    const int code = SmpFrqIndex(settings.sampleRate);
    if (code < 0 || code > kMaxSamplingCode) {
        log.Error(FormatText("%s: only 32, 44.1 and 48 kHz streams are supported\n", name));
        return false;
    }
    if (settings.ancillaryBytes < 0) {
        log.Error(FormatText("%s: -n ancillary bytes must not be negative, not %d\n", name,
                             settings.ancillaryBytes));
        return false;
    }
    if (BitrateIndex(kLayer2, settings.bitrateKbps) <= 0) {
        log.Error(FormatText("BitrateIndex: %d (layer %d) is not a legal bitrate\n",
                             settings.bitrateKbps, kLayer2));
        return false;
    }
    if (!layout.multichannel && !BitrateAllowed(settings.bitrateKbps, layout.compatible)) {
        log.Error(FormatText("%s: %d kbit/s is not a Layer II bitrate for %s\n", name,
                             settings.bitrateKbps, layout.compatible == 1 ? "mono" : "stereo"));
        return false;
    }
    if (settings.totalBitrateKbps != settings.bitrateKbps) {
        log.Error(FormatText("%s: total bitrate %d must equal the compatible bitrate %d "
                             "(no extension stream is written)\n",
                             name, settings.totalBitrateKbps, settings.bitrateKbps));
        return false;
    }
    return true;
}

bool Mp2Encoder::Configure(const EncoderSettings& wanted, FrameSink& sink) {
    settings = wanted;
    if (!CheckSettings()) return false;
    const int bitrateIndex = BitrateIndex(kLayer2, settings.bitrateKbps);

    // The stream is original; its channels are the configuration's.
    const ChannelLayout layout = LayoutOf(settings.channels);
    mpegHeader = MpegHeader{};
    mpegHeader.bitrateIndex = bitrateIndex;
    mpegHeader.samplingFrequency = SmpFrqIndex(settings.sampleRate);
    mpegHeader.original = 1;
    mpegHeader.errorProtection = settings.crc ? 1 : 0;
    mpegHeader.mode = layout.compatible == 1 ? kSingleChannelMode : 0;
    mpegHeader.center = layout.center;
    mpegHeader.surround = layout.surround;
    mpegHeader.lfe = settings.channels.lfe ? 1 : 0;
    mpegHeader.nAdBytes = settings.ancillaryBytes;
    frameParams = FrameParams{};
    frameParams.config = layout.config;
    frameParams.stereo = layout.compatible;
    frameParams.stereoMc = layout.extensionChannels;
    frameParams.multichannel = layout.multichannel;
    frameParams.centerLimited = settings.limitedCentre ? 1 : 0;
    frequencyKhz = kSamplingFrequencyKhz[mpegHeader.samplingFrequency];
    const int f = static_cast<int>(frequencyKhz);
    if (settings.verbosity > 1) {
        log.Report(FormatText("stereo = %d stereomc = %d stereoaug = %d\n", frameParams.stereo,
                     frameParams.stereoMc, frameParams.stereoAug));
    }
    const int perChannel = kBitrateTable[kLayer2 - 1][bitrateIndex] / frameParams.stereo;
    frameParams.tableNumber = PickTable(perChannel, f);
    frameParams.alloc = &AllocationTableOf(frameParams.tableNumber);
    frameParams.sblimit = AllocationTableLimit(frameParams.tableNumber);
    if (settings.verbosity > 1) {
        log.Report(FormatText("sblim = %d,  table = %d,  br_per_ch = %d\n", frameParams.sblimit,
                     frameParams.tableNumber, perChannel));
    }
    frameParams.jsBound = frameParams.sblimit;
    frameParams.tableNumberMc = PickTableMc(f);
    frameParams.allocMc = &AllocationTableOf(frameParams.tableNumberMc);
    frameParams.sblimitMc = AllocationTableLimit(frameParams.tableNumberMc);
    if (settings.verbosity > 1) {
        log.Report(FormatText("Multchannel uses : sblim = %d,  table = %d\n",
                     frameParams.sblimitMc, frameParams.tableNumberMc));
        log.Report(FormatText("bit_rate = %d\n", settings.totalBitrateKbps));
    }

    length.Init(settings.totalBitrateKbps, frequencyKhz);
    if (settings.verbosity > 1) {
        log.Report(FormatText("slots/frame = %d\n", length.WholeSlots()));
        log.Report(FormatText("frac SpF=%.3f, tot bit_rate=%d kbps, s freq=%.1f kHz\n",
                     length.FracSlots(), settings.totalBitrateKbps, frequencyKhz));
        if (length.FracSlots() != 0.0) {
            log.Report(FormatText("Fractional number of slots, padding required\n"));
        }
    }
    if (settings.verbosity > 2) {
        log.Report(FormatText("\nFrame "));
        for (int sb = 0; sb < kSubbands; ++sb) log.Report(FormatText("%3d", sb));
        log.Report(FormatText("\n"));
    }
    if (MinimumFrameBits() > length.WholeSlots() * FrameLength::kBitsPerSlot) {
        log.Error(FormatText("%s: %d kbit/s at %.1f kHz cannot carry the multichannel side "
                             "information\n",
                             kProgramName, settings.totalBitrateKbps, frequencyKhz));
        return false;
    }

    // A fresh run: no state of an earlier run carries over.
    frames = 0;
    totalBitsSent = 0;
    crcBits = mpegHeader.errorProtection ? 16 : 0;
    filterbank->Reset();
    lfeCoder.Reset();
    frameWriter.Reset();
    *frame = SubbandFrame{};
    pending = false;
    lfeFiltered = false;
    random.seed(kEncoderRandomSeed);
    gatherer.Reset();
    clippedByFold = 0;
    bitStream.Start(sink, log);
    if (psyModel && psyModelHelper == helperThreadAllowed) {
        psyModel->Restart();  // far cheaper than a new model: encoders of segments restart often
    } else {
        psyModel.reset();  // before a new model: the old one's helper may still read the input
        psyModel = std::make_unique<PsychoacousticModel>(helperThreadAllowed);
        psyModel->SetSideWork(kFilteredSlots, [this](int slot) { FilterSlot(slot); });
        psyModelHelper = helperThreadAllowed;
    }
    return true;
}

int Mp2Encoder::MinimumFrameBits() const {
    MpegHeader worst = mpegHeader;
    worst.tcSbgrSelect = 0;
    return kHeaderBits + AllocationFieldBits(frameParams, worst) +
           MultichannelSideBits(worst, frameParams.config) +
           (mpegHeader.lfe ? LfeCoder::kBits : 0) + 8 * mpegHeader.nAdBytes;
}

void Mp2Encoder::StartFrame(int procedure) {
    MpegHeader& h = mpegHeader;
    h.dematrixProcedure = procedure;
    // Prediction is never on: reset its fields.
    h.mcPrediction.fill(0);
    for (auto& group : h.mcPredsi) group.fill(0);
    for (auto& group : h.mcDelayComp) group.fill(0);
    for (auto& group : h.mcPredCoeff) {
        for (auto& predictor : group) predictor.fill(kUnpredicted);
    }
    h.tcSbgrSelect = 1;
    h.dynCrossOn = 0;
    h.dynCrossLR = 0;
    h.tcAlloc.fill(0);
    h.dynCrossMode.fill(0);
    h.dynSecondStereo.fill(0);
    h.center = CentreField();
    ++frames;
    h.padding = extraSlot = length.NextPadding();
    if (length.FracSlots() != 0.0 && extraSlot == 0 && settings.verbosity > 1) {
        log.Report(FormatText("No padding for this frame\n"));
    }
    adb = static_cast<long>(length.WholeSlots() + extraSlot) * FrameLength::kBitsPerSlot;
    if (settings.verbosity > 1) {
        log.Report(FormatText("Adb0: %ld\n", adb));
        log.Report(FormatText("Adb1: %ld\n", adb));
    }
}

void Mp2Encoder::FilterSlot(int slot) {
    const double* input = filterInput->Row(kSlotRow[slot]);
    for (int part = 0; part < kParts; ++part) {
        filterbank->AnalyseGranules(slot, input, kGranules, filtered->samples[slot][part]);
    }
}

int Mp2Encoder::CentreField() const {
    if (mpegHeader.center == 0) return 0;
    return frameParams.centerLimited ? kLimitedCentre : kFullCentre;
}

const SampleBlock& Mp2Encoder::Folded(const SampleBlock& block) {
    if (FoldsNothing(settings.channels)) return block;
    clippedByFold += FoldChannels(settings.channels, block, *folded);
    return *folded;
}

PsyFrameInfo Mp2Encoder::FrameInfoForModel() const {
    PsyFrameInfo info;
    info.layer = mpegHeader.layer;
    info.samplingFrequencyCode = mpegHeader.samplingFrequency;
    info.center = CentreField();
    info.sblimit = frameParams.sblimit;
    info.stereoAug = frameParams.stereoAug;
    info.multichannel = frameParams.multichannel;
    return info;
}

// Frame n is written during the call for block n + 1: the psychoacoustic model of block
// n + 1 runs on the helper thread while this thread allocates and writes frame n and then
// filters block n + 1. The order of every step that changes state is that of the plain
// sequence, so the stream is the same.
bool Mp2Encoder::EncodeFrame(const SampleBlock& input) {
    const SampleBlock& block = Folded(input);
    // A frame without extension has no matrix: its channels are the stream's.
    const int procedure = frameParams.multichannel
                              ? ChooseDematrixProcedure(settings.dematrixChoice, random)
                              : kProcedureNoMatrix;
    if (pending) CollectMasking();

    // The filterbank of the block is side work of the model's threads, into its own buffer:
    // frame n still holds the subband samples being written.
    filterInput = &block;
    psyModel->StartMasking(ModelRows(block), MixedFrameInfo(FrameInfoForModel(), procedure), true);

    // The LFE of frame n is read ahead by the low-pass's delay, into block n + 1.
    if (mpegHeader.lfe && !lfeFiltered) lfeCoder.FilterBlock(block.Row(SampleBlock::kRowLfe));
    if (pending) WritePending();
    if (mpegHeader.lfe && lfeFiltered) pendingLfe = *blockLfe;
    StartFrame(procedure);
    psyModel->FinishSideWork();
    filterInput = nullptr;
    PrepareFrame();
    pending = true;
    return !bitStream.WriteFailed();
}

void Mp2Encoder::CollectMasking() {
    psyModel->FinishMasking(frame->maxScale, frame->minMask, frame->signalToMask, frame->spike);
}

void Mp2Encoder::PrepareFrame() {
    MpegHeader& h = mpegHeader;
    const FrameParams& p = frameParams;
    if (h.lfe) adb -= LfeCoder::kBits;

    ScaleForMatrix(filtered->samples, *frame, h.dematrixProcedure);
    MatrixSubbands(*frame, h.dematrixProcedure, h.center);
    ScaleFactorCalc(*frame, 0, p.stereo, p.sblimit);
    ScaleFactorCalc(*frame, p.stereo, kCodedSlots, p.sblimitMc);
    PickScale(*frame, p.stereo, p.sblimit, kCodedSlots, p.sblimitMc);
    if (p.multichannel) ChooseTcAlloc(h, frame->maxScale, settings.tcAllocChoice, random, p.config);
}

void Mp2Encoder::WritePending() {
    MpegHeader& h = mpegHeader;
    const FrameParams& p = frameParams;
    pending = false;
    if (h.lfe) {
        if (lfeFiltered) {
            lfeCoder.SetFrame(pendingLfe);
        } else {
            lfeCoder.TakeFrame();
        }
        lfeCoder.LfeScaleFactor();
        // Quantised with the entry whose width the frame writes.
        lfeCoder.LfeQuantise((*p.allocMc)[0][LfeCoder::kAllocation], log);
    }
    const long frameStartBits = bitStream.BitCount();
    TransmissionPattern(*frame);
    if (settings.verbosity > 1) {
        log.Report(FormatText("js actual_mode: %d  mode: %d  mode_ext: %d  jsbound: %d "
                              "dyn_cr: %2d aug_dyn_cr: %2d\n",
                              p.actualMode, h.mode, h.modeExt, p.jsBound,
                              settings.dynCrossChoice, 0));
    }
    BitAllocator::AdjustSignalToMask(*frame, p, h);
    bitAllocator.Allocate(*frame, p, h, crcBits, adb, settings.verbosity, log);
    if (settings.verbosity > 1) log.Report(FormatText("Adb2: %ld\n", adb));

    frameWriter.WriteFrame(bitStream, h, p, *frame, lfeCoder, log);
    WriteFill(frameStartBits);
}

void Mp2Encoder::WriteFill(long frameStartBits) {
    const long written = static_cast<long>(bitStream.BitCount()) - frameStartBits;
    const long frameBits =
        static_cast<long>(length.WholeSlots() + extraSlot) * FrameLength::kBitsPerSlot;
    const long withAncillary = written + 8L * mpegHeader.nAdBytes;
    if (withAncillary < frameBits) {
        adb = frameBits - withAncillary;
        if (settings.verbosity > 1) log.Report(FormatText("Adb4: %ld\n", adb));
        adb += 8L * mpegHeader.nAdBytes;
    } else {
        // Configure refuses every setting that could overflow; never add to an overflow.
        if (settings.verbosity > 1) {
            log.Report(FormatText("Adb4: %ld but %ld bits overflow\n", adb,
                         withAncillary - frameBits));
        }
        adb = 0;
    }
    const long headerFrameBits =
        8L * (static_cast<long>(kBitrateTable[kLayer2 - 1][mpegHeader.bitrateIndex] / 8.0 *
                                (FrameLength::kSamplesPerFrame / frequencyKhz)) +
              mpegHeader.padding);
    frameWriter.WriteFill(bitStream, adb, settings.ancillaryText != 0, headerFrameBits);
    bitStream.EndFrame();

    const unsigned long sent = bitStream.BitCount() - totalBitsSent;
    if (sent % 8 != 0) {
        log.Error(FormatText("Sent %ld bits = %ld slots plus %ld adb: %ld\n",
                     static_cast<long>(sent), static_cast<long>(sent / 8),
                     static_cast<long>(sent % 8), adb));
    }
    totalBitsSent += sent;
}

void Mp2Encoder::StartSegment(const FramePlace& place, const SampleBlock* previous) {
    lfeFiltered = true;
    frames = place.frame;
    length = place.length;
    random = place.random;
    if (!previous) return;
    // The filterbank's history and the model's rings are all that carry over from one
    // frame to the next, and they reach back less than a block.
    // The block as the configuration carries it; its clipped samples are the segment's
    // before, counted there.
    const std::size_t clipped = clippedByFold;
    const SampleBlock& before = Folded(*previous);
    clippedByFold = clipped;
    filterInput = &before;
    for (int slot = 0; slot < kFilteredSlots; ++slot) FilterSlot(slot);
    filterInput = nullptr;
    psyModel->Prime(ModelRows(before),
                    MixedFrameInfo(FrameInfoForModel(), place.previousProcedure));
}

bool Mp2Encoder::EncodeSegmentFrame(const SampleBlock& block, const LfeFilter::Frame& lfe) {
    blockLfe = &lfe;
    const bool encoded = EncodeFrame(block);
    blockLfe = nullptr;
    return encoded;
}

bool Mp2Encoder::FinishSegment() {
    if (pending) {
        CollectMasking();
        WritePending();
    }
    return !bitStream.WriteFailed();
}

bool Mp2Encoder::Push(std::span<const double* const> planes, std::size_t count) {
    return gatherer.Push(planes, count, [this](const SampleBlock& b) { return EncodeFrame(b); }) &&
           !bitStream.WriteFailed();
}

bool Mp2Encoder::Finish() {
    if (const SampleBlock* rest = gatherer.PaddedRest()) EncodeFrame(*rest);
    if (pending) {
        if (mpegHeader.lfe)
            lfeCoder.FilterSilence();  // the last frame's LFE reads past the input's end
        CollectMasking();
        WritePending();
    }
    if (clippedByFold > 0) {
        log.Report(FormatText("%s: the %d/%d downmix clipped %zu sample(s)\n", kProgramName,
                              settings.channels.front, settings.channels.surround, clippedByFold));
        clippedByFold = 0;
    }
    if (settings.verbosity > 1 && frames > 0) {
        const double bits = static_cast<double>(totalBitsSent);
        const double perSample = bits / (frames * 1152.0);
        log.Report(FormatText("Avg slots/frame = %.3f; b/smp = %.2f; br = %.3f kbps\n",
                              bits / (frames * 8.0), perSample, perSample * frequencyKhz));
    }
    return !bitStream.WriteFailed();
}

}  // namespace tavrisk::mp2

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mp2enc/BitAllocation.h"
#include "mp2enc/Crc16.h"
#include "mp2enc/FrameLength.h"
#include "mp2enc/FrameWriter.h"
#include "mp2enc/Quantiser.h"
#include "tests/mp2enc/StreamCapture.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2 {
namespace {

using tavrisk::test::ReadBytes;
using tavrisk::test::TempDir;

TEST(Crc16, KnownCheckValue) {
    Crc16 crc;
    for (char c : std::string("123456789")) crc.Update(static_cast<unsigned char>(c), 8);
    EXPECT_EQ(crc.Value(), 0xAEE7);  // polynomial 0x8005, initial 0xFFFF, no reflection
    Crc16 split;                     // bit-wise feeding gives the same register
    split.Update(0x31, 3);
    EXPECT_NE(split.Value(), Crc16().Value());
}

// Fields of every width from 1 to 32 bits, read after each one, against the register fed one
// bit at a time.
TEST(Crc16, FieldsOfAnyWidthGiveTheBitwiseRegister) {
    Crc16 crc;
    std::uint16_t bitwise = Crc16::kInitial;
    std::uint32_t state = 7;
    for (int n = 0; n < 200; ++n) {
        const int width = 1 + n % 32;
        state = state * 1664525u + 1013904223u;
        crc.Update(state, width);
        for (int i = width - 1; i >= 0; --i) {
            const bool top = (bitwise & 0x8000u) != 0;
            bitwise = static_cast<std::uint16_t>(bitwise << 1);
            if (top != (((state >> i) & 1u) != 0)) bitwise ^= Crc16::kPolynomial;
        }
        ASSERT_EQ(crc.Value(), bitwise) << n;
    }
}

TEST(Quantiser, CodesAndGrouping) {
    const AllocationEntry three{3, 5, 1, 0};
    EXPECT_EQ(QuantiseSample(0.0, three), 1);
    EXPECT_EQ(QuantiseSample(0.9999, three), 2);
    EXPECT_EQ(QuantiseSample(-0.9999, three), 0);
    EXPECT_EQ(GroupCodes(0, 1, 2, 3), 21);
    const AllocationEntry levels31{31, 5, 3, 5};
    EXPECT_EQ(QuantiseSample(0.0, levels31), 15);
    EXPECT_EQ(QuantiseSample(0.99999, levels31), 30);
    EXPECT_EQ(QuantiseSample(-0.99999, levels31), 0);
    const AllocationEntry levels65535{65535, 16, 3, 16};
    EXPECT_EQ(QuantiseSample(0.99999999, levels65535), 65534);
    EXPECT_EQ(QuantiseSample(0.5, levels65535), 32768 + 16383);
    // Every class: the top and bottom codes are the range's ends.
    for (int t = 0; t < kAllocationTables; ++t) {
        for (int i = 1; i < kAllocationIndices; ++i) {
            const AllocationEntry& e = AllocationTableOf(t)[0][i];
            if (e.steps == 0) continue;
            EXPECT_EQ(QuantiseSample(0.9999999, e), e.steps - 1) << e.steps;
            EXPECT_EQ(QuantiseSample(-0.9999999, e), 0) << e.steps;
            EXPECT_EQ(QuantiseSample(0.0, e), e.steps / 2) << e.steps;
        }
    }
}

TEST(FrameLength, PaddingPatternAndAverage) {
    FrameLength at44;
    at44.Init(384, 44.1);
    EXPECT_EQ(at44.WholeSlots(), 1253);
    std::string pattern;
    for (int i = 0; i < 16; ++i) pattern += static_cast<char>('0' + at44.NextPadding());
    EXPECT_EQ(pattern, "1111111011111110");
    long slots = 16 * 1253 + 14;
    for (int i = 16; i < 44100; ++i) slots += 1253 + at44.NextPadding();
    EXPECT_NEAR(slots / 44100.0, 1253.877551, 1e-4);

    FrameLength at48;
    at48.Init(384, 48.0);
    EXPECT_EQ(at48.WholeSlots(), 1152);
    EXPECT_EQ(at48.FracSlots(), 0.0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(at48.NextPadding(), 0);
    FrameLength at44low;
    at44low.Init(320, 44.1);
    EXPECT_EQ(at44low.WholeSlots(), 1044);
    FrameLength at48low;
    at48low.Init(320, 48.0);
    EXPECT_EQ(at48low.WholeSlots(), 960);
    EXPECT_EQ(at48low.FracSlots(), 0.0);
}

// The job's configuration at 48 kHz and 384 kbit/s.
struct JobFrame {
    MpegHeader header;
    FrameParams params;
    std::unique_ptr<SubbandFrame> frame = std::make_unique<SubbandFrame>();
    JobFrame(int bitrateIndex, int frequency, int table, int tableMc) {
        header.bitrateIndex = bitrateIndex;
        header.samplingFrequency = frequency;
        header.original = 1;
        header.center = 1;
        header.surround = 2;
        header.lfe = 1;
        header.nAdBytes = 0;
        params.alloc = &AllocationTableOf(table);
        params.allocMc = &AllocationTableOf(tableMc);
        params.sblimit = AllocationTableLimit(table);
        params.sblimitMc = AllocationTableLimit(tableMc);
        params.jsBound = params.sblimit;
        for (auto& slot : frame->scaleIndex) {
            for (auto& part : slot) {
                for (int& index : part) index = 62;
            }
        }
    }
};

TEST(FrameWriter, EmptyFrameHasTheHeaderBytesAndSideInformationOnly) {
    JobFrame job(14, 1, 0, 0);
    MemoryFrameSink sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    FrameWriter writer;
    LfeCoder lfe;
    writer.WriteFrame(bs, job.header, job.params, *job.frame, lfe, log);
    const int bbal = AllocationFieldBits(job.params, job.header);
    EXPECT_EQ(bbal, 5 * 88);
    EXPECT_EQ(static_cast<int>(bs.BitCount()), 32 + bbal + 38 + LfeCoder::kBits);
    const long fill = 9216 - bs.BitCount();
    writer.WriteFill(bs, fill, false, 9216);
    bs.EndFrame();
    const auto& bytes = sink.bytes;
    ASSERT_EQ(bytes.size(), 1152u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFD);
    EXPECT_EQ(bytes[2], 0xE4);
    EXPECT_EQ(bytes[3], 0x04);
}

TEST(FrameWriter, MultichannelCrcCoversTheAllocation) {
    JobFrame job(14, 1, 0, 0);
    const auto before = FrameWriter::MultichannelCrc(job.header, job.params, *job.frame);
    job.frame->bitAlloc[kSlotC][3] = 2;
    const auto withAlloc = FrameWriter::MultichannelCrc(job.header, job.params, *job.frame);
    EXPECT_NE(before, withAlloc);
    job.frame->bitAlloc[kSlotLo][3] = 2;  // the compatible part is not covered
    EXPECT_EQ(FrameWriter::MultichannelCrc(job.header, job.params, *job.frame), withAlloc);
    EXPECT_NE(FrameWriter::CompatibleCrc(job.header, job.params, *job.frame),
              FrameWriter::CompatibleCrc(job.header, job.params, *JobFrame(14, 1, 0, 0).frame));
}

TEST(FrameWriter, AncillaryTextGoesIntoTheLastByteOfEachFrame) {
    MemoryFrameSink sink;
    EncoderLog log;
    BitStream bs;
    bs.Start(sink, log);
    FrameWriter writer;
    const std::string text(FrameWriter::kAncillaryText);
    for (std::size_t i = 0; i < text.size() + 2; ++i) {
        bs.PutBits(0x7, 3);  // 3 bits of "frame"
        writer.WriteFill(bs, 8 * 4 - 3, true, 8 * 4);
    }
    bs.EndFrame();
    const auto& bytes = sink.bytes;
    ASSERT_EQ(bytes.size(), 4 * (text.size() + 2));
    for (std::size_t i = 0; i < text.size(); ++i) EXPECT_EQ(bytes[4 * i + 3], text[i]);
    EXPECT_EQ(bytes[4 * text.size() + 3], 0);
    EXPECT_EQ(bytes[4 * text.size() + 7], 0);
    EXPECT_EQ(bytes[0], 0xE0);
}

TEST(BitAllocation, TableChoice) {
    EXPECT_EQ(PickTable(192, 48), 0);
    EXPECT_EQ(PickTable(192, 44), 1);
    EXPECT_EQ(PickTable(64, 44), 0);
    EXPECT_EQ(PickTable(16, 48), 2);
    EXPECT_EQ(PickTable(28, 48), 2);
    EXPECT_EQ(PickTable(24, 48), 2);
    EXPECT_EQ(PickTable(40, 48), 2);
    EXPECT_EQ(PickTable(48, 48), 2);
    EXPECT_EQ(PickTable(56, 48), 0);
    EXPECT_EQ(PickTable(24, 44), 2);
    EXPECT_EQ(PickTable(24, 32), 3);
    EXPECT_EQ(PickTable(80, 44), 0);
    EXPECT_EQ(PickTable(96, 44), 1);
    EXPECT_EQ(PickTableMc(48), 0);
    EXPECT_EQ(PickTableMc(44), 1);
}

TEST(BitAllocation, BudgetAndCostsAtFortyEightKilohertz) {
    JobFrame job(14, 1, 0, 0);
    for (int s = 0; s < kCodedSlots; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb) job.frame->signalToMask[s][sb] = -100.0;
    }
    BitAllocator allocator;
    EncoderLog log;
    long adb = 9216 - LfeCoder::kBits;
    const int available = allocator.Allocate(*job.frame, job.params, job.header, 0, adb, 0, log);
    EXPECT_EQ(available, 9216 - 70 - 232 - 5 * 88 - (35 + 3));
    EXPECT_GE(adb, 0);
    for (int sb = 27; sb < 32; ++sb) {
        EXPECT_EQ(job.frame->bitAlloc[0][sb], 0);
        EXPECT_EQ(job.frame->bitAlloc[kSlotC][sb], 0);
    }
    // Silence is still allocated greedily until the bits run out.
    int allocated = 0;
    for (int s = 0; s < kCodedSlots; ++s) {
        for (int sb = 0; sb < 27; ++sb) allocated += job.frame->bitAlloc[s][sb] > 0;
    }
    EXPECT_GT(allocated, 100);
    EXPECT_EQ(job.frame->bitAlloc[kSlotL][0], 0) << "L is not transmitted under tcAlloc 0";
}

// Bits committed after the first allocation step, read from the verbose trace.
int FirstStepBits(int scfsi) {
    JobFrame job(1, 1, 2, 0);  // 32 kbit/s
    for (int s = 0; s < kCodedSlots; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb) job.frame->signalToMask[s][sb] = -100.0;
    }
    job.frame->signalToMask[0][0] = 50.0;        // the first candidate
    job.frame->samples[kSlotRo][0][0][0] = 0.5;  // not Lo's signal: steps alone
    job.frame->scfsi[0][0] = scfsi;
    BitAllocator allocator;
    long adb = 768 - LfeCoder::kBits;
    EncoderLog trace;
    allocator.Allocate(*job.frame, job.params, job.header, 0, adb, 3, trace);
    const std::string text = trace.Take().at(0).text;
    EXPECT_EQ(text.rfind("ch: 00 sb: 00 used: 1", 0), 0u) << text.substr(0, 60);
    return std::stoi(text.substr(text.find('\n') - 5, 5));
}

TEST(BitAllocation, FirstStepCostsIncludeScaleFactorsBySelection) {
    // Subband 0 of table 2, index 1: 3 levels grouped, 12 codes of 5 bits.
    EXPECT_EQ(FirstStepBits(2), 2 + 6 + 60);
    EXPECT_EQ(FirstStepBits(0), 2 + 18 + 60);
    EXPECT_EQ(FirstStepBits(1), 2 + 12 + 60);
}

// Where Lo and Ro carry the same signal (the centre alone), they get the same allocation
// from the larger SMR; where they differ, each its own.
TEST(BitAllocation, LoAndRoWithTheSameSignalStepTogether) {
    JobFrame job(6, 1, 0, 0);  // 96 kbit/s
    for (int s = 0; s < kCodedSlots; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb) job.frame->signalToMask[s][sb] = -100.0;
    }
    for (int sb : {0, 1}) {
        job.frame->signalToMask[kSlotLo][sb] = 50.0;
        job.frame->samples[kSlotLo][1][5][sb] = job.frame->samples[kSlotRo][1][5][sb] = 0.25;
    }
    job.frame->samples[kSlotRo][2][0][1] = 0.01;  // subband 1 differs
    BitAllocator allocator;
    EncoderLog log;
    long adb = 2304 - LfeCoder::kBits;
    allocator.Allocate(*job.frame, job.params, job.header, 0, adb, 0, log);
    EXPECT_GT(job.frame->bitAlloc[kSlotLo][0], 1);
    for (int sb = 0; sb < job.params.sblimit; ++sb) {
        if (sb == 1) continue;
        EXPECT_EQ(job.frame->bitAlloc[kSlotLo][sb], job.frame->bitAlloc[kSlotRo][sb]) << sb;
    }
    EXPECT_GT(job.frame->bitAlloc[kSlotLo][1], job.frame->bitAlloc[kSlotRo][1]);
}

TEST(BitAllocation, ExtensionStopsAtTheCompatibleLimit) {
    // 44.1 kHz, 128 kbit/s: compatible table 0 (27 subbands), multichannel table 1 (30).
    JobFrame job(8, 0, 0, 1);
    for (int s = 0; s < kCodedSlots; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb) job.frame->signalToMask[s][sb] = 30.0;
    }
    BitAllocator allocator;
    EncoderLog log;
    long adb = 3344;
    allocator.Allocate(*job.frame, job.params, job.header, 0, adb, 0, log);
    for (int s = 0; s < kCodedSlots; ++s) {
        for (int sb = 27; sb < 32; ++sb) EXPECT_EQ(job.frame->bitAlloc[s][sb], 0) << s << " " << sb;
    }
}

TEST(BitAllocation, SignalToMaskOfLoFollowsTheDerivedChannel) {
    JobFrame job(14, 1, 0, 0);
    job.frame->signalToMask[kSlotLo][4] = 5.0;
    job.frame->signalToMask[kSlotL][4] = 40.0;  // derived from Lo under tcAlloc 0
    job.frame->signalToMask[kSlotRo][4] = 40.0;
    job.frame->signalToMask[kSlotR][4] = 5.0;
    BitAllocator::AdjustSignalToMask(*job.frame, job.params, job.header);
    EXPECT_EQ(job.frame->signalToMask[kSlotLo][4], 40.0);
    EXPECT_EQ(job.frame->signalToMask[kSlotRo][4], 40.0);
}

}  // namespace
}  // namespace tavrisk::mp2

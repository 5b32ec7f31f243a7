// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/mp2dec/TestFrameWriter.h"

#include <algorithm>
#include <cmath>

namespace tavrisk::mp2dec::test {

namespace {

class Bits {
  public:
    void Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (position % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (position % 8));
            ++position;
        }
    }
    std::size_t position = 0;
    std::vector<uint8_t> bytes;
};

// Check word over a list of (value, width) fields.
uint16_t Crc(const std::vector<std::pair<uint32_t, int>>& fields) {
    uint16_t crc = 0xFFFF;
    for (const auto& [value, width] : fields) {
        for (int i = width - 1; i >= 0; --i) {
            const bool bit = (value >> i) & 1;
            const bool top = crc & 0x8000;
            crc = static_cast<uint16_t>(crc << 1);
            if (bit != top) crc ^= 0x8005;
        }
    }
    return crc;
}

constexpr int kBitratesKbps[15] = {0,   32,  48,  56,  64,  80,  96, 112,
                                   128, 160, 192, 224, 256, 320, 384};
// Allocation field widths of the 48 kHz high-rate table.
int Width(int sb) {
    return sb < 11 ? 4 : sb < 23 ? 3 : 2;
}
constexpr int kLimit = 27;
constexpr int kLimitedCentre = 3;
constexpr int kLimitedCentreFirstSubband = 12;

bool HasCentre(const TestFrame& f) {
    return f.center == 1 || f.center == kLimitedCentre;
}
// Transmission channels of the extension, and the width of a tc_allocation.
int ExtensionChannels(const TestFrame& f) {
    return (HasCentre(f) ? 1 : 0) + (f.surround == 1 ? 1 : f.surround != 0 ? 2 : 0);
}
int TcBits(const TestFrame& f) {
    const bool surrounds = f.surround == 1 || f.surround == 2;
    return HasCentre(f) && surrounds ? 3 : HasCentre(f) || surrounds ? 2 : 0;
}

}  // namespace

double TestFrame::Value(int code, int scaleIndex) {
    return std::exp2(1.0 - scaleIndex / 3.0) * (2.0 * code + 1.0 - kLevels) / kLevels;
}

double TestFrame::LfeValue(int code, int scaleIndex) {
    constexpr int kLfeLevels = 31;
    return std::exp2(1.0 - scaleIndex / 3.0) * (2.0 * code + 1.0 - kLfeLevels) / kLfeLevels;
}

std::vector<uint8_t> WriteTestFrame(const TestFrame& f) {
    Bits out;
    // Header: sync, MPEG-1, Layer II, no CRC, bitrate, 48 kHz, no padding, stereo, original.
    out.Put(0xFFF, 12);
    out.Put(1, 1);
    out.Put(2, 2);
    out.Put(1, 1);
    out.Put(static_cast<uint32_t>(f.bitrateIndex), 4);
    out.Put(1, 2);
    out.Put(0, 2);
    out.Put(0, 4);
    out.Put(1, 2);
    out.Put(0, 2);

    auto allocated = [&](int ch, int sb) {
        return sb < TestFrame::kCodedSubbands && f.codes[ch][sb] >= 0;
    };
    auto writeSide = [&](int first, int last, int limit,
                         std::vector<std::pair<uint32_t, int>>* crc) {
        for (int sb = 0; sb < limit; ++sb)
            for (int ch = first; ch <= last; ++ch) {
                if (ch == 2 && f.center == kLimitedCentre && sb >= kLimitedCentreFirstSubband)
                    continue;
                const uint32_t a = allocated(ch, sb) ? TestFrame::kAllocationIndex : 0;
                out.Put(a, Width(sb));
                if (crc) crc->push_back({a, Width(sb)});
            }
        for (int sb = 0; sb < limit; ++sb)
            for (int ch = first; ch <= last; ++ch)
                if (allocated(ch, sb)) {
                    out.Put(2, 2);  // one scale factor for the frame
                    if (crc) crc->push_back({2, 2});
                }
    };
    auto writeScales = [&](int first, int last) {
        for (int sb = 0; sb < TestFrame::kCodedSubbands; ++sb)
            for (int ch = first; ch <= last; ++ch)
                if (allocated(ch, sb)) out.Put(static_cast<uint32_t>(f.scaleIndex), 6);
    };
    auto writeGranule = [&](int first, int last) {
        for (int sb = 0; sb < TestFrame::kCodedSubbands; ++sb)
            for (int ch = first; ch <= last; ++ch)
                if (allocated(ch, sb))
                    for (int s = 0; s < 3; ++s) out.Put(static_cast<uint32_t>(f.codes[ch][sb]), 6);
    };

    writeSide(0, 1, kLimit, nullptr);
    writeScales(0, 1);
    for (int gr = 0; gr < 12; ++gr) writeGranule(0, 1);

    if (f.extension) {
        const bool split = f.extensionFrameBytes > 0;
        std::vector<std::pair<uint32_t, int>> crc = {{split, 1}};
        if (split) crc.push_back({static_cast<uint32_t>(f.ancillaryBytes), 8});
        crc.insert(crc.end(), {{static_cast<uint32_t>(f.center), 2},
                               {static_cast<uint32_t>(f.surround), 2},
                               {f.lfe, 1},
                               {0, 1},
                               {static_cast<uint32_t>(f.dematrixProcedure), 2},
                               {static_cast<uint32_t>(f.multiLingual), 3},
                               {0, 1},
                               {0, 1},
                               {0, 1},
                               {0, 1}});
        for (const auto& [v, w] : crc) out.Put(v, w);
        const std::size_t crcAt = out.position;
        out.Put(0, 16);  // filled in below
        const bool single = !f.groupwiseTc;
        std::vector<std::pair<uint32_t, int>> status = {
            {single, 1}, {f.dynCross, 1}, {f.prediction, 1}};
        const int tcBits = TcBits(f);
        if (single)
            status.push_back({static_cast<uint32_t>(f.tcAlloc[0]), tcBits});
        else
            for (int tc : f.tcAlloc) status.push_back({static_cast<uint32_t>(tc), tcBits});
        constexpr int kPredictionGroups = 8, kPredictors = 6;
        if (f.prediction)
            for (int g = 0; g < kPredictionGroups; ++g) {
                status.push_back({g == f.predictedGroup, 1});
                if (g == f.predictedGroup)
                    for (int k = 0; k < kPredictors; ++k) status.push_back({1, 2});  // one tap
            }
        for (const auto& [v, w] : status) {
            out.Put(v, w);
            crc.push_back({v, w});
        }
        if (f.lfe) {
            out.Put(4, 4);
            crc.push_back({4, 4});
        }
        const int last = 1 + ExtensionChannels(f);
        writeSide(2, last, kLimit, &crc);
        uint16_t word = Crc(crc);
        if (f.breakMcCrc) word ^= 0x0100;
        for (int i = 0; i < 16; ++i)
            if ((word >> (15 - i)) & 1)
                out.bytes[(crcAt + i) / 8] |= static_cast<uint8_t>(0x80 >> ((crcAt + i) % 8));
        if (f.prediction && f.predictedGroup >= 0)
            for (int k = 0; k < kPredictors; ++k) {
                out.Put(0, 3);    // delay compensation
                out.Put(127, 8);  // one coefficient
            }
        if (f.lfe) out.Put(static_cast<uint32_t>(f.lfeScaleIndex), 6);
        writeScales(2, last);
        for (int gr = 0; gr < 12; ++gr) {
            if (f.lfe) out.Put(static_cast<uint32_t>(f.lfeCode), 5);
            writeGranule(2, last);
        }
        for (int i = 0; i < f.multiLingual * 8; ++i) out.Put(0xA5, 8);  // stands for their data
    }
    const auto frameBytes =
        static_cast<std::size_t>(144000 * kBitratesKbps[f.bitrateIndex] / 48000);
    if (f.extensionFrameBytes == 0) {
        out.bytes.resize(frameBytes);
        return out.bytes;
    }
    // Split: the frame's data up to its ancillary bytes, then the extension frame.
    const std::size_t dataBytes = frameBytes - static_cast<std::size_t>(f.ancillaryBytes);
    const auto length = static_cast<uint32_t>(f.extensionFrameBytes);
    out.bytes.resize(std::max(out.bytes.size(), dataBytes));
    std::vector<uint8_t> bytes(out.bytes.begin(), out.bytes.begin() + dataBytes);
    bytes.resize(frameBytes, 0x5A);
    Bits ext;
    ext.Put(0x7FF, 12);
    ext.Put(Crc({{length, 11}, {0, 1}}) ^ (f.breakExtensionFrameCrc ? 1 : 0), 16);
    ext.Put(length, 11);
    ext.Put(0, 1);
    ext.bytes.insert(ext.bytes.end(), out.bytes.begin() + dataBytes, out.bytes.end());
    ext.bytes.resize(length);
    bytes.insert(bytes.end(), ext.bytes.begin(), ext.bytes.end());
    return bytes;
}

}  // namespace tavrisk::mp2dec::test

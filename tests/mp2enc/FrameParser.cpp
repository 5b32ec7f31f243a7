// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/mp2enc/FrameParser.h"

#include "mp2enc/Crc16.h"
#include "mp2enc/EncoderTables.h"
#include "mp2enc/HeaderLookups.h"

namespace tavrisk::mp2::test {
namespace {

class BitReader {
  public:
    BitReader(const std::vector<uint8_t>& bytes, std::size_t offset)
        : bytes(bytes), position(offset * 8) {}
    int read(int width) {
        int value = 0;
        for (int i = 0; i < width; ++i) {
            const std::size_t byte = position / 8;
            const int bit = byte < bytes.size() ? (bytes[byte] >> (7 - position % 8)) & 1 : 0;
            value = (value << 1) | bit;
            ++position;
        }
        return value;
    }
    // Reads and feeds the CRC.
    int readCrc(int width, Crc16& crc) {
        const int value = read(width);
        crc.Update(static_cast<uint32_t>(value), width);
        return value;
    }
    std::size_t bitPosition() const { return position; }

  private:
    const std::vector<uint8_t>& bytes;
    std::size_t position;
};

int SampleBits(const AllocationEntry& e) {
    return e.group == 3 ? 3 * e.bits : e.bits;
}

void ReadScaleFactors(BitReader& in, int scfsi) {
    in.read(scfsi == 0 ? 18 : scfsi == 2 ? 6 : 12);
}

}  // namespace

ParsedFrame ParseFrame(const std::vector<uint8_t>& bytes, std::size_t offset, int table,
                       int tableMc) {
    ParsedFrame f;
    BitReader in(bytes, offset);
    if (in.read(12) != 0xFFF) {
        f.problem = "no syncword";
        return f;
    }
    in.read(4);  // ID, layer, protection
    f.bitrateIndex = in.read(4);
    f.samplingFrequency = in.read(2);
    f.padding = in.read(1);
    in.read(9);  // private, mode, mode extension, copyright, original, emphasis
    const double khz = kSamplingFrequencyKhz[f.samplingFrequency];
    f.frameBits =
        8L * (static_cast<long>(144.0 * kBitrateTable[1][f.bitrateIndex] / khz) + f.padding);

    const AllocationTable& alloc = AllocationTableOf(table);
    const AllocationTable& allocMc = AllocationTableOf(tableMc);
    const int sblimit = AllocationTableLimit(table);
    const int sblimitMc = AllocationTableLimit(tableMc);
    int scfsi[2][32] = {};
    for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < 2; ++ch) f.compatibleAlloc[ch][sb] = in.read(alloc[sb][0].bits);
    }
    for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < 2; ++ch) {
            if (f.compatibleAlloc[ch][sb]) scfsi[ch][sb] = in.read(2);
        }
    }
    for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < 2; ++ch) {
            if (f.compatibleAlloc[ch][sb]) ReadScaleFactors(in, scfsi[ch][sb]);
        }
    }
    for (int triplet = 0; triplet < 12; ++triplet) {
        for (int sb = 0; sb < sblimit; ++sb) {
            for (int ch = 0; ch < 2; ++ch) {
                const int a = f.compatibleAlloc[ch][sb];
                if (a) in.read(SampleBits(alloc[sb][a]));
            }
        }
    }

    Crc16 crc;
    in.readCrc(1, crc);  // ext_bit_stream_present
    f.center = in.readCrc(2, crc);
    f.surround = in.readCrc(2, crc);
    f.lfe = in.readCrc(1, crc);
    in.readCrc(1, crc);  // audio_mix
    f.dematrix = in.readCrc(2, crc);
    in.readCrc(7, crc);  // multilingual fields, copyright identification
    f.storedMcCrc = in.read(16);
    f.tcSbgrSelect = in.readCrc(1, crc);
    const int dynCross = in.readCrc(1, crc);
    const int prediction = in.readCrc(1, crc);
    if (dynCross || prediction) {
        f.problem = "dynamic cross-talk or prediction flag set";
        return f;
    }
    if (f.tcSbgrSelect) {
        f.tcAlloc.assign(12, in.readCrc(3, crc));
    } else {
        for (int g = 0; g < 12; ++g) f.tcAlloc.push_back(in.readCrc(3, crc));
    }
    if (f.lfe) f.lfeAllocation = in.readCrc(4, crc);
    int scfsiMc[3][32] = {};
    for (int sb = 0; sb < sblimitMc; ++sb) {
        for (int p = 0; p < 3; ++p)
            f.multichannelAlloc[p][sb] = in.readCrc(allocMc[sb][0].bits, crc);
    }
    for (int sb = 0; sb < sblimitMc; ++sb) {
        for (int p = 0; p < 3; ++p) {
            if (f.multichannelAlloc[p][sb]) scfsiMc[p][sb] = in.readCrc(2, crc);
        }
    }
    f.computedMcCrc = crc.Value();
    if (f.lfe) in.read(6);
    for (int sb = 0; sb < sblimitMc; ++sb) {
        for (int p = 0; p < 3; ++p) {
            if (f.multichannelAlloc[p][sb]) ReadScaleFactors(in, scfsiMc[p][sb]);
        }
    }
    for (int triplet = 0; triplet < 12; ++triplet) {
        if (f.lfe) in.read(allocMc[0][f.lfeAllocation].bits);
        for (int sb = 0; sb < sblimitMc; ++sb) {
            for (int p = 0; p < 3; ++p) {
                const int a = f.multichannelAlloc[p][sb];
                if (a) in.read(SampleBits(allocMc[sb][a]));
            }
        }
    }
    f.usedBits = static_cast<long>(in.bitPosition() - offset * 8);
    for (long bit = f.usedBits; bit < f.frameBits; ++bit) {
        if (in.read(1) != 0) f.fillIsZero = false;
    }
    f.ok = f.usedBits <= f.frameBits;
    if (!f.ok) f.problem = "the frame's fields run past its length";
    return f;
}

}  // namespace tavrisk::mp2::test

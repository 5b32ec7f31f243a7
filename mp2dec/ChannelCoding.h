// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "mp2dec/BitReader.h"
#include "mp2dec/Mp2Tables.h"
#include "mp2dec/ProblemLog.h"

namespace tavrisk::mp2dec {

// Allocation, scale factor selection and scale factors of one channel in one frame, and the
// reading of its fields in the order the frame carries them.
class ChannelCoding {
  public:
    static constexpr int kNone = -1;
    static constexpr int kScfsiBits = 2;
    static constexpr int kScaleBits = 6;

    void Clear() { quantClass.fill(kNone); }

    // Reads the allocation field of a subband with the given table.
    void ReadAllocation(BitReader& reader, int table, int subband);
    void CopyAllocation(const ChannelCoding& other, int subband) {
        quantClass[subband] = other.quantClass[subband];
    }
    // Both read nothing for a subband without allocation.
    void ReadScfsi(BitReader& reader, int subband);
    // Reads a subband's scale factors; an invalid index (63) is reported in `error` and
    // read as 62.
    void ReadScaleFactors(BitReader& reader, int subband, std::string& error);

    int QuantClassOf(int subband) const { return quantClass[subband]; }
    double Scale(int part, int subband) const { return scale[subband][part]; }

  private:
    std::array<int8_t, kSubbands> quantClass{};
    std::array<uint8_t, kSubbands> scfsi{};
    std::array<std::array<double, kParts>, kSubbands> scale{};
};

// Reads the code word(s) of three consecutive samples quantised with `quantClass` and
// returns them as fractions in (-1, 1). An invalid code is reported in `error`.
void ReadSampleTriplet(BitReader& reader, int quantClass, std::array<double, 3>& values,
                       std::string& error);
// Ends the reading of one part of a frame: logs a field error and a read beyond the frame
// under the part's name; true when neither happened.
bool PartIsClean(const char* part, const std::string& error, const BitReader& reader,
                 long frameNumber, ProblemLog& log);

// Reads the code word of one sample (the first value of a grouped code).
double ReadSingleSample(BitReader& reader, int quantClass, std::string& error);

}  // namespace tavrisk::mp2dec

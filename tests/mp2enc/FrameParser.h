// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrisk::mp2::test {

// What a reading of one frame of the 3/2 + LFE stream found, field by field.
struct ParsedFrame {
    bool ok = false;
    std::string problem;
    int bitrateIndex = 0;
    int samplingFrequency = 0;
    int padding = 0;
    int center = 0, surround = 0, lfe = 0, dematrix = 0;
    int storedMcCrc = 0;
    int computedMcCrc = 0;
    int tcSbgrSelect = 0;
    std::vector<int> tcAlloc;  // 12 groups
    int lfeAllocation = 0;
    int compatibleAlloc[2][32] = {};
    int multichannelAlloc[3][32] = {};  // by transmission position 2..4
    long usedBits = 0;                  // up to the end of the extension's samples
    long frameBits = 0;
    bool fillIsZero = true;
};

// Reads the frame at `offset` bit by bit with the given allocation tables (compatible and
// multichannel table numbers), independently of the writer's loops.
ParsedFrame ParseFrame(const std::vector<uint8_t>& bytes, std::size_t offset, int table,
                       int tableMc);

}  // namespace tavrisk::mp2::test

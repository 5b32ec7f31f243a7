// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3FrameSizes.h"

#include <array>

namespace tavrisk::ac3 {
namespace {

// 16-bit words per sync frame by frmsizecod, columns fscod 0, 1, 2. At 44.1 kHz the odd
// codes carry one extra word.
constexpr std::array<std::array<int, kSampleRateCodes>, kFrameSizeCodes> kFrameWords = {{
    {64, 69, 96},       {64, 70, 96},       {80, 87, 120},      {80, 88, 120},
    {96, 104, 144},     {96, 105, 144},     {112, 121, 168},    {112, 122, 168},
    {128, 139, 192},    {128, 140, 192},    {160, 174, 240},    {160, 175, 240},
    {192, 208, 288},    {192, 209, 288},    {224, 243, 336},    {224, 244, 336},
    {256, 278, 384},    {256, 279, 384},    {320, 348, 480},    {320, 349, 480},
    {384, 417, 576},    {384, 418, 576},    {448, 487, 672},    {448, 488, 672},
    {512, 557, 768},    {512, 558, 768},    {640, 696, 960},    {640, 697, 960},
    {768, 835, 1152},   {768, 836, 1152},   {896, 975, 1344},   {896, 976, 1344},
    {1024, 1114, 1536}, {1024, 1115, 1536}, {1152, 1253, 1728}, {1152, 1254, 1728},
    {1280, 1393, 1920}, {1280, 1394, 1920},
}};

constexpr std::array<int, kSampleRateCodes> kSampleRates = {48000, 44100, 32000};

}  // namespace

int FrameBytes(int frameSizeCode, int sampleRateCode) {
    if (frameSizeCode < 0 || frameSizeCode >= kFrameSizeCodes || sampleRateCode < 0 ||
        sampleRateCode >= kSampleRateCodes) {
        return 0;
    }
    return 2 * kFrameWords[frameSizeCode][sampleRateCode];
}

int SampleRate(int sampleRateCode) {
    if (sampleRateCode < 0 || sampleRateCode >= kSampleRateCodes) return 0;
    return kSampleRates[sampleRateCode];
}

}  // namespace tavrisk::ac3

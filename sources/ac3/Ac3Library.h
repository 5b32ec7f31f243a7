// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sources/ac3/Ac3FrameReader.h"

// The AC-3 decoder library: one decoder state kept inside, driven in the order
// ac3_init, ac3_regsettings, ac3_getchannels; per frame ac3_readframe, ac3_decode,
// ac3_getinfo (ac3_decodebsi to skip whole frames at the start); ac3_free at the end.
// Results <= 0 are success.
namespace tavrisk {

enum Ac3Result : int32_t {
    kAc3Ok = 0,
    kAc3Error = 1,        // a read error, or a frame that does not decode
    kAc3EndOfStream = 2,  // no further frame before the end of the input
    kAc3Refused = 3,      // the stream-info callback refused the stream
    kAc3NotReady = 4,     // called before ac3_init / ac3_regsettings
    kAc3CutFrame = 5,     // the input ended inside a frame: no further whole frame
};

// Raw input: exactly `length` bytes into `buffer`; null, "EOF" or an error text.
using Ac3ReadCallback = ac3::ReadCallback;
// Text output of the library: null or an error text.
using Ac3OutputCallback = const char* (*)(const void* data, int length);
// Stream description of a stream's first frame, an 8-byte record (byte 0 sample-rate code,
// 1 frame-size code, 2 bitstream mode, 3 audio coding mode, 7 LFE flag): null accepts the
// stream, any text refuses it. Later frames of another layout or rate are decoded as they
// come.
using Ac3StreamInfoCallback = const char* (*)(const uint8_t* record);
// A warning with its code, an integer and a float value.
using Ac3WarningCallback = void (*)(int code, int value, const float* extra);

// The settings record the source registers. The leading values are passed unchanged and
// kept; this decoder always decodes to six floats (L, C, R, LS, RS, LFE) without
// compression, so it needs only the callbacks.
struct Ac3Settings {
    int32_t version = 1;
    std::array<uint8_t, 4> switches{1, 1, 0, 1};
    int32_t outputMode = 3;
    int32_t outputFormat = 1;
    std::array<uint8_t, 8> channelOrder{0, 3, 2, 0, 1, 2, 3, 4};
    int32_t channelCount = 5;
    std::array<float, 4> levels{1.0f, 0.0f, -1.0f, -1.0f};
    std::array<uint8_t, 52> reserved{};
    std::array<float, 13> gains{1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f,
                                1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    Ac3OutputCallback output = nullptr;
    Ac3StreamInfoCallback streamInfo = nullptr;
    const void* unused = nullptr;
    Ac3WarningCallback warning = nullptr;
};
// The values keep their 32-bit layout; the callbacks follow at the next pointer boundary.
static_assert(offsetof(Ac3Settings, levels) == 28 && offsetof(Ac3Settings, gains) == 96 &&
              offsetof(Ac3Settings, gains) + sizeof(Ac3Settings::gains) == 148);

// Time and number of the last frame read.
struct Ac3FrameInfo {
    uint16_t hours = 0;
    uint16_t minutes = 0;
    uint16_t seconds = 0;
    uint16_t milliseconds = 0;
    int32_t frame = 0;
};
static_assert(sizeof(Ac3FrameInfo) == 12);

// Warning code for bytes skipped to find the next frame: the count, then the time in
// seconds of the frame found.
inline constexpr int kAc3WarningSyncLost = 7;

int32_t ac3_init();
int32_t ac3_regsettings(const Ac3Settings* settings);
int32_t ac3_getchannels();
// Reads the next frame (at most 3840 bytes) into `frameBuffer`.
int32_t ac3_readframe(uint8_t* frameBuffer, Ac3ReadCallback read);
// Describes the frame in `frameBuffer` in an 8-byte record as the stream-info callback's.
int32_t ac3_decodebsi(const uint8_t* frameBuffer, uint8_t* record);
// Decodes the frame in `frameBuffer` to 1536 x 6 floats, L, C, R, LS, RS, LFE (channels
// the frame lacks are silent). kAc3Error for a frame whose CRC words fail or that does not
// decode.
int32_t ac3_decode(const uint8_t* frameBuffer, float* decodeBuffer);
int32_t ac3_getinfo(Ac3FrameInfo* info);
// printf format of a warning; its integer value is the one argument.
const char* ac3_warningmsg(int code);
int32_t ac3_free();

}  // namespace tavrisk

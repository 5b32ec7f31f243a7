// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/BitStream.h"

namespace tavrisk::mp2 {

namespace {

// Bytes reserved for a frame before the buffer grows: the largest Layer II frame.
constexpr std::size_t kFrameBytesReserved = 4096;

}  // namespace

void BitStream::Start(FrameSink& frameSink, EncoderLog& messageLog) {
    sink = &frameSink;
    log = &messageLog;
    frameBytes.assign(kFrameBytesReserved, 0);
    used = 0;
    word = 0;
    wordBits = 0;
    totalBits = 0;
    failed = false;
}

void BitStream::PutBit(unsigned bit) {
    PutBits(bit, 1);
}

void BitStream::PutUnusualWidth(std::uint32_t value, int width) {
    if (width <= 0) return;
    log->Report(FormatText("Cannot read or write more than %d bits at a time.\n", kMaxWidth));
    for (int i = kMaxWidth; i < width; ++i) PutBit(0);
    PutBits(value, kMaxWidth);
}

void BitStream::FlushWord() {
    wordBits -= 32;
    const auto high = static_cast<std::uint32_t>(word >> wordBits);
    if (used + 4 > frameBytes.size()) frameBytes.resize(2 * frameBytes.size());
    std::uint8_t* bytes = frameBytes.data() + used;
    bytes[0] = static_cast<std::uint8_t>(high >> 24);
    bytes[1] = static_cast<std::uint8_t>(high >> 16);
    bytes[2] = static_cast<std::uint8_t>(high >> 8);
    bytes[3] = static_cast<std::uint8_t>(high);
    used += 4;
}

void BitStream::FlushWholeBytes() {
    for (; wordBits >= 8; wordBits -= 8) {
        if (used == frameBytes.size()) frameBytes.resize(2 * frameBytes.size());
        frameBytes[used++] = static_cast<std::uint8_t>(word >> (wordBits - 8));
    }
}

void BitStream::EndFrame() {
    FlushWholeBytes();
    if (!failed && used > 0 && !sink->Write({frameBytes.data(), used})) failed = true;
    used = 0;
}

}  // namespace tavrisk::mp2

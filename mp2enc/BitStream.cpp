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
    frameBytes.clear();
    frameBytes.reserve(kFrameBytesReserved);
    byte = 0;
    bitIndex = 8;
    totalBits = 0;
    failed = false;
}

void BitStream::PutBit(unsigned bit) {
    ++totalBits;
    byte |= static_cast<std::uint8_t>((bit & 1u) << (bitIndex - 1));
    if (--bitIndex == 0) CompleteByte();
}

void BitStream::PutBits(std::uint32_t value, int width) {
    if (width > kMaxWidth) {
        log->Report(FormatText("Cannot read or write more than %d bits at a time.\n", kMaxWidth));
        for (int i = kMaxWidth; i < width; ++i) PutBit(0);
        width = kMaxWidth;
    }
    totalBits += static_cast<std::uint32_t>(width);
    int left = width;
    while (left > 0) {
        const int k = left < bitIndex ? left : bitIndex;
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> (left - k)) &
            ((1u << k) - 1u);
        byte |= static_cast<std::uint8_t>(chunk << (bitIndex - k));
        bitIndex -= k;
        left -= k;
        if (bitIndex == 0) CompleteByte();
    }
}

void BitStream::CompleteByte() {
    frameBytes.push_back(byte);
    byte = 0;
    bitIndex = 8;
}

void BitStream::EndFrame() {
    if (!failed && !frameBytes.empty() && !sink->Write(frameBytes)) failed = true;
    frameBytes.clear();
}

}  // namespace tavrisk::mp2

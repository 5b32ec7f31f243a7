// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3LibraryState.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/ClockUnits.h"
#include "sources/ac3/Ac3Crc.h"

namespace tavrisk::ac3 {

int32_t Ac3LibraryState::Register(const Ac3Settings& newSettings) {
    settings = newSettings;
    return kAc3Ok;
}

int32_t Ac3LibraryState::ReadFrame(uint8_t* frameBuffer, Ac3ReadCallback read) {
    if (!settings) return kAc3NotReady;
    switch (reader.Next(read)) {
        case Ac3FrameReader::Result::kEndOfStream:
            EndStream();
            return reader.EndedInsideFrame() ? kAc3CutFrame : kAc3EndOfStream;
        case Ac3FrameReader::Result::kReadError:
            EndStream();
            return kAc3Error;
        case Ac3FrameReader::Result::kFrame:
            break;
    }
    const Ac3Header& header = reader.Header();
    if (!Accepts(header)) return kAc3Refused;
    const auto frame = reader.Frame();
    std::memcpy(frameBuffer, frame.data(), frame.size());
    ++frameIndex;
    sampleRate = header.SampleRate();
    if (reader.SkippedBytes() > 0) WarnSkipped(reader.SkippedBytes());
    return kAc3Ok;
}

int32_t Ac3LibraryState::DecodeBsi(const uint8_t* frameBuffer, uint8_t* record) const {
    const auto header = ParseAc3Header({frameBuffer, Ac3Header::kBytes});
    if (!header) return kAc3Error;
    const auto bytes = header->ToRecord();
    std::memcpy(record, bytes.data(), bytes.size());
    return kAc3Ok;
}

int32_t Ac3LibraryState::Decode(const uint8_t* frameBuffer, float* decodeBuffer) {
    if (!settings) return kAc3NotReady;
    const auto header = ParseAc3Header({frameBuffer, Ac3Header::kBytes});
    if (!header) return kAc3Error;
    const std::span<const uint8_t> frame(frameBuffer,
                                         static_cast<std::size_t>(header->FrameBytes()));
    if (!FrameCrcValid(frame) || !audio.Decode(frame, decodeBuffer)) return kAc3Error;
    return kAc3Ok;
}

void Ac3LibraryState::GetInfo(Ac3FrameInfo& info) const {
    info = {};
    if (frameIndex < 0 || sampleRate == 0) return;
    info.frame = frameIndex;
    const int64_t totalMs = int64_t{frameIndex} * kSamplesPerFrame * kMsPerSecond / sampleRate;
    const int64_t totalSeconds = totalMs / kMsPerSecond;
    info.milliseconds = static_cast<uint16_t>(totalMs % kMsPerSecond);
    info.seconds = static_cast<uint16_t>(totalSeconds % kSecondsPerMinute);
    info.minutes = static_cast<uint16_t>(totalSeconds / kSecondsPerMinute % kMinutesPerHour);
    info.hours = static_cast<uint16_t>(totalSeconds / kSecondsPerHour);
}

bool Ac3LibraryState::Accepts(const Ac3Header& header) {
    if (accepted) return true;
    const auto record = header.ToRecord();
    if (settings->streamInfo != nullptr && settings->streamInfo(record.data()) != nullptr) {
        return false;
    }
    accepted = true;
    return true;
}

void Ac3LibraryState::WarnSkipped(std::size_t bytes) const {
    if (settings->warning == nullptr) return;
    const float seconds = static_cast<float>(double(frameIndex) * kSamplesPerFrame / sampleRate);
    const auto value = static_cast<int>(std::min<std::size_t>(bytes, INT_MAX));
    settings->warning(kAc3WarningSyncLost, value, &seconds);
}

void Ac3LibraryState::EndStream() {
    audio.Restart();
    frameIndex = -1;
}

}  // namespace tavrisk::ac3

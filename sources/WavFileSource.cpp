// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/WavFileSource.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "dsp/KernelChoice.h"
#include "platform/WavChannelOrder.h"
#include "platform/WavWriter.h"

namespace tavrisk {

namespace {

constexpr int kRequiredChannels = 6;
constexpr int kRequiredBits = 16;

// What a format record has that the source cannot read ("" when it reads it).
std::string FormatProblems(const WavFileSource::WaveFormat& format) {
    std::string problems;
    const auto add = [&problems](const std::string& problem) {
        problems += (problems.empty() ? "" : ", ") + problem;
    };
    if (format.channels != kRequiredChannels) add(std::to_string(format.channels) + " channels");
    if (format.bitsPerSample != kRequiredBits)
        add(std::to_string(format.bitsPerSample) + " bits per sample");
    if (format.samplesPerSecond != 44100 && format.samplesPerSecond != 48000)
        add(std::to_string(format.samplesPerSecond) + " Hz");
    if (!format.pcm) {
        char tag[48];
        std::snprintf(tag, sizeof tag, "format tag 0x%04X (not PCM)", format.formatTag);
        add(tag);
    }
    return problems;
}

// Eight values side by side: 16-bit samples read from any byte, their whole values, their
// floats written to any float.
typedef int16_t Samples8 __attribute__((vector_size(16), aligned(1), may_alias));
typedef int32_t Ints8 __attribute__((vector_size(32)));
typedef float Floats8 __attribute__((vector_size(32), aligned(4), may_alias));
constexpr std::size_t kLanes = 8;

// `count` 16-bit little-endian samples as floats of full scale, in their order.
[[gnu::always_inline]] inline void SamplesToFloats(const uint8_t* bytes, std::size_t count,
                                                   float* out) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + kLanes <= count; i += kLanes) {
            const Samples8 samples =
                *reinterpret_cast<const Samples8*>(bytes + i * WavFileSource::kBytesPerSample);
            *reinterpret_cast<Floats8*>(out + i) =
                __builtin_convertvector(__builtin_convertvector(samples, Ints8), Floats8) *
                ChannelProcessor::kSampleScale;
        }
    }
    for (; i < count; ++i) {
        const auto sample =
            static_cast<int16_t>(GetLe16(bytes + i * WavFileSource::kBytesPerSample));
        out[i] = static_cast<float>(sample) * ChannelProcessor::kSampleScale;
    }
}

void SamplesToFloatsPlain(const uint8_t* bytes, std::size_t count, float* out) {
    SamplesToFloats(bytes, count, out);
}

[[gnu::target("avx2")]] void SamplesToFloatsAvx2(const uint8_t* bytes, std::size_t count,
                                                 float* out) {
    SamplesToFloats(bytes, count, out);
}

const auto kSamplesToFloats = ChooseAvx2Kernel(SamplesToFloatsAvx2, SamplesToFloatsPlain);

// Files with a standard 5.1 mask (back or side surrounds) hold frames as L, R, C, LFE, LS,
// RS; any other file as L, C, R, LS, RS, LFE.
constexpr std::array<int, SampleSource::kChannels> kPlainOrder = {0, 1, 2, 3, 4, 5};
constexpr std::array<int, SampleSource::kChannels> kMaskedOrder = {0, 2, 1, 4, 5, 3};

}  // namespace

WavFileSource::WavFileSource(JobHost& host, const JobSettings& settings)
    : SampleSource(host, settings, {.appliesResync = false, .lastBlock = LastBlock::kPadded}) {
    ReadInputAhead();
}

WavFileSource::~WavFileSource() {
    Close();
}

bool WavFileSource::OpenFailed(const std::string& what) {
    return Fail("Unable to read WAV file '" + fileName + "': " + what, kOpenErrorTitle);
}

bool WavFileSource::OpenInput() {
    bytesRead = 0;
    if (!reader.Open(fileName)) {
        return OpenFailed("cannot open the file");
    }
    if (reader.FileSize() == 0) {
        return OpenFailed("the file is empty");
    }
    if (!reader.DescendRiff(FourCc("WAVE"), riffChunk)) {
        return OpenFailed("not a RIFF WAVE file");
    }
    if (!reader.FindChunk(FourCc("fmt "), riffChunk, subChunk)) {
        return OpenFailed("no \"fmt \" chunk");
    }
    if (subChunk.size < WaveFormat::kMinSize) {
        return OpenFailed("\"fmt \" chunk shorter than 16 bytes");
    }
    if (!ReadFormat(subChunk)) {
        return OpenFailed("\"fmt \" chunk cut short");
    }
    if (!CheckFormat()) return false;
    ChooseChannelOrder();
    if (!reader.Ascend(subChunk) || !reader.FindChunk(FourCc("data"), riffChunk, subChunk)) {
        return OpenFailed("no \"data\" chunk");
    }
    // A recorder that was interrupted leaves a size larger than the file: read what is there.
    dataStart = subChunk.dataOffset;
    dataSize = reader.AvailableBytes(subChunk);
    dataLeft = dataSize;
    if (dataSize < kBytesPerFrame) return OpenFailed("the \"data\" chunk holds no samples");
    return true;
}

bool WavFileSource::ReadFormat(const RiffChunk& chunk) {
    std::array<uint8_t, WaveFormat::kExtensibleSize> record{};
    const std::size_t wanted = std::min<std::size_t>(chunk.size, record.size());
    if (reader.Read(record.data(), wanted) != wanted) {
        return false;
    }
    waveFormat = WaveFormat{};
    waveFormat.formatTag = GetLe16(record.data());
    waveFormat.channels = GetLe16(record.data() + 2);
    waveFormat.samplesPerSecond = GetLe32(record.data() + 4);
    waveFormat.avgBytesPerSecond = GetLe32(record.data() + 8);
    waveFormat.blockAlign = GetLe16(record.data() + 12);
    waveFormat.bitsPerSample = GetLe16(record.data() + 14);
    if (waveFormat.formatTag == WaveFormat::kTagExtensible && wanted >= WaveFormat::kMaskEnd) {
        waveFormat.channelMask = GetLe32(record.data() + 20);
    }
    const auto* subFormat = record.data() + WaveFormat::kMaskEnd;
    waveFormat.pcm =
        waveFormat.formatTag == WaveFormat::kTagPcm ||
        (waveFormat.formatTag == WaveFormat::kTagExtensible &&
         wanted == WaveFormat::kExtensibleSize &&
         std::equal(WavWriter::kPcmSubFormat.begin(), WavWriter::kPcmSubFormat.end(), subFormat));
    return true;
}

bool WavFileSource::CheckFormat() {
    char status[96];
    std::snprintf(status, sizeof status, "%d channels %ld Hz %d bits%s", waveFormat.channels,
                  static_cast<long>(waveFormat.samplesPerSecond), waveFormat.bitsPerSample,
                  waveFormat.pcm ? " PCM WAV" : " COMPRESSED WAV");
    host.SetStatusText(status);
    const std::string problems = FormatProblems(waveFormat);
    if (problems.empty()) return CheckInputRate(static_cast<int>(waveFormat.samplesPerSecond));
    return Fail("WAV Format Not supported: the file has " + problems +
                    "; Tavrisk reads 6 channels of 16-bit PCM at 44100 or 48000 Hz",
                "Tavrisk Internal Encoder Error");
}

void WavFileSource::ChooseChannelOrder() {
    const uint32_t mask = waveFormat.channelMask;
    fileChannelOfInput =
        (mask == speaker::k51 || mask == speaker::k51Side) ? kMaskedOrder : kPlainOrder;
}

std::size_t WavFileSource::ReadData(uint8_t* bytes, std::size_t count) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<uint64_t>(count, dataLeft));
    const std::size_t got = wanted ? reader.Read(bytes, wanted) : 0;
    dataLeft -= got;
    bytesRead += got;
    return got;
}

bool WavFileSource::RewindInput() {
    bytesRead = 0;
    dataLeft = dataSize;
    return reader.Seek(dataStart);
}

SampleSource::InputStatus WavFileSource::ReadInput(InputRun& run) {
    if (!reader.IsOpen()) return InputStatus::kEnd;
    const std::size_t count = ReadData(readBuffer.data(), kReadBufferSize) / kBytesPerFrame;
    if (count == 0) return InputStatus::kEnd;
    float* out = RunRoom() ? RunRoom() : frames.data();
    ToFrames(readBuffer.data(), count, out);
    run = {out, count};
    return InputStatus::kFrames;
}

void WavFileSource::ToFrames(const uint8_t* bytes, std::size_t count, float* out) const {
    // Every sample in the file's order, then each frame put in the input's order where the
    // file's differs. The order is copied, as a store of a sample might otherwise change it.
    kSamplesToFloats(bytes, count * kChannels, out);
    const std::array<int, kChannels> order = fileChannelOfInput;
    if (order == kPlainOrder) return;
    for (std::size_t i = 0; i < count; ++i, out += kChannels) {
        std::array<float, kChannels> frame;
        std::copy_n(out, kChannels, frame.begin());
#pragma GCC unroll 6
        for (int k = 0; k < kChannels; ++k) out[k] = frame[order[k]];
    }
}

}  // namespace tavrisk

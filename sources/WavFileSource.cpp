#include "sources/WavFileSource.h"

#include <algorithm>
#include <cstdio>

#include "app/TranscoderDialog.h"

namespace tavrisk {

namespace {

constexpr float kSampleScale = 1.0f / 32767.0f;
constexpr float kFullPercent = 100.0f;
constexpr float kAnalysisShare = 50.0f;
constexpr int kRequiredChannels = 6;
constexpr int kRequiredBits = 16;

// The standard 5.1 masks: FL FR FC LFE with back (0x3F) or side (0x60F) surrounds. Such
// files hold frames as L, R, C, LFE, LS, RS.
constexpr uint32_t kMask51Back = 0x3F;
constexpr uint32_t kMask51Side = 0x60F;
constexpr std::array<int, SampleSource::kChannels> kPlainOrder = {0, 1, 2, 3, 4, 5};
constexpr std::array<int, SampleSource::kChannels> kMaskedOrder = {0, 2, 1, 4, 5, 3};

}  // namespace

WavFileSource::WavFileSource(TranscoderDialog& window) : SampleSource(window) {}

WavFileSource::~WavFileSource() {
    Close();
}

bool WavFileSource::OpenFailed(const std::string& what) {
    lastError = "Unable to read WAV file '" + fileName + "': " + what;
    window.MessageBox(lastError, kOpenErrorTitle, MessageButtons::Ok, MessageIcon::Stop);
    Close();
    return false;
}

bool WavFileSource::Open(const std::string& name) {
    bytesRead = 0;
    framesLeft = 0;
    SampleSource::Open(name);
    if (!reader.Open(name)) {
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
    if (!CheckFormat()) {
        Close();
        return false;
    }
    ChooseChannelOrder();
    if (!reader.Ascend(subChunk) || !reader.FindChunk(FourCc("data"), riffChunk, subChunk)) {
        return OpenFailed("no \"data\" chunk");
    }
    // A recorder that was interrupted leaves a size larger than the file: read what is there.
    dataStart = subChunk.dataOffset;
    dataSize = reader.AvailableBytes(subChunk);
    dataLeft = dataSize;
    if (normalizeEnabled) {
        if (!AnalysisPass()) {
            Close();
            return false;
        }
        window.UpdateProgress(kAnalysisShare, true);
    }
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
    return true;
}

bool WavFileSource::CheckFormat() {
    char status[96];
    std::snprintf(status, sizeof status, "%d channels %ld Hz %d bits%s", waveFormat.channels,
                  static_cast<long>(waveFormat.samplesPerSecond), waveFormat.bitsPerSample,
                  waveFormat.formatTag == WaveFormat::kTagPcm ? " PCM WAV" : " COMPRESSED WAV");
    window.SetStatusText(status);
    const bool rateSupported =
        waveFormat.samplesPerSecond == 44100 || waveFormat.samplesPerSecond == 48000;
    if (waveFormat.channels == kRequiredChannels && rateSupported &&
        waveFormat.bitsPerSample == kRequiredBits) {
        return true;
    }
    lastError = "WAV Format Not supported";
    window.MessageBox(lastError, "Tavrisk Internal Encoder Error", MessageButtons::Ok,
                      MessageIcon::Stop);
    return false;
}

void WavFileSource::ChooseChannelOrder() {
    const uint32_t mask = waveFormat.channelMask;
    fileChannelOfInput = (mask == kMask51Back || mask == kMask51Side) ? kMaskedOrder : kPlainOrder;
}

std::size_t WavFileSource::ReadData(uint8_t* bytes, std::size_t count) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<uint64_t>(count, dataLeft));
    const std::size_t got = wanted ? reader.Read(bytes, wanted) : 0;
    dataLeft -= got;
    bytesRead += got;
    return got;
}

float WavFileSource::PassPercent(float passShare) const {
    if (dataSize == 0) {
        return passShare;
    }
    return static_cast<float>(static_cast<double>(bytesRead) * passShare /
                              static_cast<double>(dataSize));
}

bool WavFileSource::AnalysisPass() {
    bytesRead = 0;
    ResetPeaks();
    float frame[kChannels];
    for (;;) {
        if (window.UpdateProgress(PassPercent(kAnalysisShare), false) || window.jobStopped) {
            return false;
        }
        const std::size_t got = ReadData(readBuffer.data(), kAnalysisBufferSize);
        if (got == 0) {
            break;
        }
        // The cleared part after a short read is silence: it cannot raise a peak.
        for (std::size_t offset = 0; offset + kBytesPerFrame <= got; offset += kBytesPerFrame) {
            ToFrame(readBuffer.data() + offset, frame);
            AnalyzeFrame(frame);
        }
    }
    ComputeNormalizeGains();
    bytesRead = 0;
    dataLeft = dataSize;
    return reader.Seek(dataStart);
}

bool WavFileSource::Refill() {
    const std::size_t got = ReadData(readBuffer.data(), kReadBufferSize);
    if (got == 0) {
        return false;
    }
    framesLeft = got / kBytesPerFrame;
    readPointer = readBuffer.data();
    const float percent = PassPercent(kFullPercent);
    window.UpdateProgress(normalizeEnabled ? percent * 0.5f + kAnalysisShare : percent, false);
    return framesLeft > 0;
}

void WavFileSource::ToFrame(const uint8_t* bytes, float* frame) const {
    for (int k = 0; k < kChannels; ++k) {
        const auto sample =
            static_cast<int16_t>(GetLe16(bytes + fileChannelOfInput[k] * kBytesPerSample));
        frame[k] = static_cast<float>(sample) * kSampleScale;
    }
}

bool WavFileSource::NextFrame(float* frame) {
    if (framesLeft == 0 && !Refill()) {
        return false;
    }
    ToFrame(readPointer, frame);
    readPointer += kBytesPerFrame;
    --framesLeft;
    return true;
}

bool WavFileSource::ReadBlock(SampleBlock& block) {
    if (window.jobStopped || !reader.IsOpen()) {
        return false;
    }
    float frame[kChannels];
    std::array<int32_t, kChannels> rows{};
    for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
        if (resamplingNeeded) {
            if (!StepResampler([this](float* next) { return NextFrame(next); })) {
                return false;
            }
            InterpolateColumn(block, i);
        } else {
            if (!NextFrame(frame)) {
                return false;
            }
            ProcessToRows(frame, rows);
            StoreColumn(block, i, rows);
        }
    }
    return true;
}

}  // namespace tavrisk

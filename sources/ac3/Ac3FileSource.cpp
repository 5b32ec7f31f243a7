#include "sources/ac3/Ac3FileSource.h"

#include <cerrno>
#include <cstring>

#include "app/TranscoderDialog.h"
#include "sources/ac3/Ac3FrameSizes.h"
#include "sources/ac3/Ac3Library.h"

namespace tavrisk {
namespace {

Ac3FileSource* currentSource = nullptr;

constexpr const char* kParserTitle = "Azid Internal Parser Error";
constexpr const char* kReadError = "AC3 Read Frame Error";
constexpr const char* kDecodeError = "AC3 Decode Frame Error";
constexpr const char* kResyncTitle = "Tavrisk resynch";
constexpr const char* kAviTitle = "Tavrisk Internal AVI Parser Error";
constexpr const char* kEndOfFile = "EOF";
constexpr const char* kAviError = "AVIError";
constexpr const char* kBadFormat = "BAD_AC3_FORMAT";

constexpr std::array<const char*, 8> kBsmodNames = {"(CM)", "(ME)", "(VI)", "(HI)",
                                                    "(D)",  "(C)",  "(E)",  "(VO)"};
constexpr std::array<const char*, 8> kAcmodNames = {
    "1+1 (Ch1, Ch2)", "1/0 C",       "2/0 L,R",       "3/0 L,C,R",
    "2/1 L,R,S",      "3/1 L,C,R,S", "2/2 L,R,SL,SR", "3/2 L,C,R,SL,SR"};
constexpr std::array<const char*, 4> kRateTexts = {" 48000 Hz", " 44100 Hz", " 32000 Hz", " ?? Hz"};
enum RecordByte { kRecRate = 0, kRecFrameSize = 1, kRecBsmod = 2, kRecAcmod = 3, kRecLfe = 7 };
constexpr int kAcmodThreeTwo = 7;
constexpr int kLastSupportedRateCode = 1;

constexpr int kMsPerSecond = 1000;
constexpr int64_t kFrameMsNumerator = int64_t{ac3::kSamplesPerFrame} * kMsPerSecond;
constexpr std::size_t kFrameFloats = ac3::kSamplesPerFrame * SampleSource::kChannels;
constexpr float kAnalysisShare = 50.0f;
constexpr float kFullPercent = 100.0f;

}  // namespace

Ac3FileSource::Ac3FileSource(TranscoderDialog& window) : SampleSource(window) {
    currentSource = this;
}

Ac3FileSource::~Ac3FileSource() {
    Close();
    if (currentSource == this) currentSource = nullptr;
}

std::string Ac3FileSource::DescribeStream(const uint8_t* record) {
    const int rate =
        record[kRecRate] < kRateTexts.size() ? record[kRecRate] : kRateTexts.size() - 1;
    return std::string(kBsmodNames[record[kRecBsmod] & 7]) + kRateTexts[rate] + " " +
           kAcmodNames[record[kRecAcmod] & 7] + (record[kRecLfe] == 1 ? " With LFE" : " No LFE");
}

bool Ac3FileSource::Open(const std::string& name) {
    SampleSource::Open(name);
    if (!OpenInput(name)) return false;
    if (ac3_init() != kAc3Ok) {
        CloseInput();
        return false;
    }
    libraryStarted = true;
    Ac3Settings settings;
    settings.output = &OutputCallback;
    settings.streamInfo = &StreamInfoCallback;
    settings.warning = &WarningCallback;
    if (ac3_regsettings(&settings) != kAc3Ok) {
        Close();
        return false;
    }
    const auto channels = static_cast<std::size_t>(ac3_getchannels());
    frameBuffer.assign(ac3::kMaxFrameBytes, 0);
    decodeBuffer.assign(channels * ac3::kSamplesPerFrame, 0.0f);
    sampleBuffer.assign(ac3::kSamplesPerFrame, Frame{});

    framesAvail = 0;
    readCursor = 0;
    ended = false;
    resyncPending = true;
    resyncSamples = window.GetResyncMs();
    window.UpdateProgress(0.0f, true);
    if (!FindFirstFrame()) return false;
    if (normalizeEnabled) {
        if (!AnalysisPass()) return false;
        window.UpdateProgress(kAnalysisShare, true);
    }
    const int32_t frameMs = static_cast<int32_t>(kFrameMsNumerator / window.GetInputRate());
    if (!aviInput && resyncSamples < 0 && -resyncSamples > frameMs) {
        if (!SkipWholeFrames()) return false;
    }
    resyncSamples =
        static_cast<int32_t>(int64_t{window.GetOutputRate()} * resyncSamples / kMsPerSecond);
    return true;
}

bool Ac3FileSource::OpenInput(const std::string& name) {
    aviInput = AviAudioTrack::IsAviInput(name);
    if (aviInput) {
        if (!avi.Open(name)) {
            Report("Unable to open the audio track of '" + name + "'", kAviTitle);
            return false;
        }
        inputSize = avi.Length();
        return true;
    }
    stream.reset(std::fopen(name.c_str(), "rb"));
    if (!stream) return false;
    if (std::fseek(stream.get(), 0, SEEK_END) != 0) return false;
    inputSize = ftello(stream.get());
    return std::fseek(stream.get(), 0, SEEK_SET) == 0;
}

bool Ac3FileSource::RewindInput() {
    if (aviInput) return avi.Rewind();
    return std::fseek(stream.get(), 0, SEEK_SET) == 0;
}

void Ac3FileSource::CloseInput() {
    avi.Close();
    stream.reset();
}

int64_t Ac3FileSource::Position() const {
    if (aviInput) return avi.Position();
    return stream ? ftello(stream.get()) : 0;
}

float Ac3FileSource::OutputPercent() const {
    if (inputSize <= 0) return 0.0f;
    const float percent =
        static_cast<float>(Position()) * kFullPercent / static_cast<float>(inputSize);
    return normalizeEnabled ? percent * 0.5f + kAnalysisShare : percent;
}

const char* Ac3FileSource::ReadRaw(uint8_t* buffer, int length) {
    const auto count = static_cast<std::size_t>(length);
    if (aviInput) {
        switch (avi.Read(buffer, count)) {
            case AviAudioTrack::ReadResult::kOk:
                return nullptr;
            case AviAudioTrack::ReadResult::kEnd:
                return kEndOfFile;
            case AviAudioTrack::ReadResult::kNotAc3:
                Report("Audio track may not in AC3 Format", kAviTitle);
                return kAviError;
            case AviAudioTrack::ReadResult::kError:
                return kAviError;
        }
    }
    if (!stream) return kEndOfFile;
    if (std::fread(buffer, 1, count, stream.get()) == count) return nullptr;
    if (std::feof(stream.get())) return kEndOfFile;
    return std::strerror(errno);
}

const char* Ac3FileSource::CheckFormat(const uint8_t* record) {
    window.SetStatusText(DescribeStream(record));
    if (record[kRecRate] <= kLastSupportedRateCode && record[kRecAcmod] == kAcmodThreeTwo &&
        record[kRecLfe] == 1) {
        return nullptr;
    }
    Report("AC3 Format Not supported", "Tavrisk Internal Encoder Error");
    return kBadFormat;
}

Ac3FileSource::FrameRead Ac3FileSource::ReadFrame() {
    if (pendingFrame) {
        pendingFrame = false;
        return FrameRead::kOk;
    }
    switch (ac3_readframe(frameBuffer.data(), &ReadCallback)) {
        case kAc3Ok:
            return FrameRead::kOk;
        case kAc3EndOfStream:
            return FrameRead::kEnd;
        case kAc3Refused:  // the format check has said why
            return FrameRead::kFailed;
        default:
            Report(kReadError, kParserTitle);
            return FrameRead::kFailed;
    }
}

// A file without a single AC-3 frame would otherwise pass as an empty stream and leave a
// silent output; the first frame also brings the format check before anything is written.
bool Ac3FileSource::FindFirstFrame() {
    switch (ReadFrame()) {
        case FrameRead::kOk:
            pendingFrame = true;
            return true;
        case FrameRead::kEnd:
            Report("No AC3 stream found in '" + fileName + "'", kParserTitle);
            return false;
        case FrameRead::kFailed:
            break;
    }
    return false;
}

bool Ac3FileSource::AnalysisPass() {
    ResetPeaks();
    for (;;) {
        const float percent = inputSize > 0 ? static_cast<float>(Position()) * kAnalysisShare /
                                                  static_cast<float>(inputSize)
                                            : 0.0f;
        window.UpdateProgress(percent, false);
        if (window.jobStopped) return false;
        if (ReadFrame() != FrameRead::kOk) break;
        if (ac3_decode(frameBuffer.data(), decodeBuffer.data()) > 0) {
            Report(kDecodeError, kParserTitle);
            return false;
        }
        for (std::size_t i = 0; i < kFrameFloats; i += kChannels) AnalyzeFrame(&decodeBuffer[i]);
    }
    ComputeNormalizeGains();
    return RewindInput();
}

bool Ac3FileSource::SkipWholeFrames() {
    const FrameRead read = ReadFrame();
    if (read != FrameRead::kOk) return false;
    std::array<uint8_t, 8> record{};
    if (ac3_decodebsi(frameBuffer.data(), record.data()) > 0) {
        Report(kDecodeError, kParserTitle);
        return false;
    }
    const int64_t frameBytes = ac3::FrameBytes(record[kRecFrameSize], record[kRecRate]);
    const int32_t frameMs = static_cast<int32_t>(kFrameMsNumerator / window.GetInputRate());
    const int64_t offset = int64_t{-resyncSamples / frameMs} * frameBytes;
    resyncSamples %= frameMs;
    if (offset > inputSize || fseeko(stream.get(), offset, SEEK_SET) != 0) {
        Report("AC3 Initial frame skip Error", kResyncTitle);
        return false;
    }
    return true;
}

bool Ac3FileSource::DecodeFrame() {
    if (ReadFrame() != FrameRead::kOk) return false;
    if (ac3_decode(frameBuffer.data(), decodeBuffer.data()) > 0) {
        Report(kDecodeError, kParserTitle);
        return false;
    }
    framesAvail = 0;
    readCursor = 0;
    if (resamplingNeeded) {
        Resample();
    } else {
        for (std::size_t i = 0; i < kFrameFloats; i += kChannels) {
            ProcessToRows(&decodeBuffer[i], sampleBuffer[framesAvail++]);
        }
    }
    Trace();
    return true;
}

// The resampler of the base, run over the decoded frames; a step that runs out of them is
// finished with the next decoded frame, so the output is that of one uninterrupted run.
void Ac3FileSource::Resample() {
    std::size_t next = 0;
    for (;;) {
        if (!midStep) phase += ratio;
        midStep = false;
        while (phase >= 1.0f) {
            if (next == kFrameFloats) {
                midStep = true;
                return;
            }
            prevFrame = curFrame;
            ProcessToRows(&decodeBuffer[next], curFrame);
            next += kChannels;
            phase -= 1.0f;
        }
        Frame& out = sampleBuffer[framesAvail++];
        const long double p = phase;
        for (int k = 0; k < kChannels; ++k) {
            out[k] = static_cast<int32_t>((1.0L - p) * prevFrame[k] + p * curFrame[k]);
        }
    }
}

bool Ac3FileSource::ApplyResync() {
    if (resyncSamples > kMaxInsertFrames) {
        Report("Resync overflow", kResyncTitle);
        ended = true;
        return false;
    }
    if (resyncSamples > 0) {
        silenceLeft = resyncSamples;
        return true;
    }
    const int64_t skip = -int64_t{resyncSamples};
    int64_t decoded = 0;
    while (skip > 0) {
        const bool ok = DecodeFrame();
        if (window.UpdateProgress(OutputPercent(), false) || !ok) {
            ended = true;
            return false;
        }
        decoded += framesAvail;
        if (decoded > skip) {
            const int32_t rest = static_cast<int32_t>(decoded - skip);
            readCursor = static_cast<std::size_t>(framesAvail - rest);
            framesAvail = rest;
            break;
        }
    }
    return true;
}

bool Ac3FileSource::ReadBlock(SampleBlock& block) {
    if (window.jobStopped) return false;
    if (resyncPending) {
        resyncPending = false;
        if (!ApplyResync()) return false;
    }
    if (ended) return false;
    static constexpr Frame kSilence{};
    for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
        if (silenceLeft > 0) {
            StoreColumn(block, i, kSilence);
            --silenceLeft;
            continue;
        }
        if (framesAvail == 0) {
            const bool ok = DecodeFrame();
            if (window.UpdateProgress(OutputPercent(), false) || !ok) {
                ended = true;
                for (; i < SampleBlock::kFrames; ++i) StoreColumn(block, i, kSilence);
                return true;
            }
        }
        StoreColumn(block, i, sampleBuffer[readCursor++]);
        --framesAvail;
    }
    return true;
}

void Ac3FileSource::Close() {
    CloseInput();
    if (libraryStarted) ac3_free();
    libraryStarted = false;
    frameBuffer = {};
    decodeBuffer = {};
    sampleBuffer = {};
}

void Ac3FileSource::Trace() const {
    Ac3FrameInfo info;
    ac3_getinfo(&info);
    std::printf("[%02d:%02d:%02d:%03d] Frame: %6ld\r", info.hours, info.minutes, info.seconds,
                info.milliseconds, static_cast<long>(info.frame));
    std::fflush(stdout);
}

void Ac3FileSource::Report(const std::string& text, const std::string& title) {
    lastError = text;
    window.MessageBox(text, title, MessageButtons::Ok, MessageIcon::Stop);
}

const char* Ac3FileSource::ReadCallback(uint8_t* buffer, int length) {
    return currentSource ? currentSource->ReadRaw(buffer, length) : kEndOfFile;
}

const char* Ac3FileSource::StreamInfoCallback(const uint8_t* record) {
    return currentSource ? currentSource->CheckFormat(record) : kBadFormat;
}

const char* Ac3FileSource::OutputCallback(const void* data, int length) {
    std::fwrite(data, 1, static_cast<std::size_t>(length), stdout);
    return nullptr;
}

void Ac3FileSource::WarningCallback(int code, int value, const float* extra) {
    if (code != kAc3WarningSyncLost) return;
    std::printf(ac3_warningmsg(code), value);
    std::printf("%f\n", extra ? static_cast<double>(*extra) : 0.0);
}

}  // namespace tavrisk

#include "sources/ac3/Ac3FileSource.h"

#include <cerrno>
#include <cstring>

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
static_assert(ac3::kSamplesPerFrame <= SampleSource::kMaxRunFrames);

}  // namespace

Ac3FileSource::Ac3FileSource(JobHost& host)
    : SampleSource(host, {.appliesResync = true, .lastBlock = LastBlock::kPaddedAlways}) {
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

bool Ac3FileSource::OpenInput() {
    if (!OpenFile()) return false;
    if (ac3_init() != kAc3Ok) {
        CloseInput();
        return false;
    }
    libraryStarted = true;
    Ac3Settings settings;
    settings.output = &OutputCallback;
    settings.streamInfo = &StreamInfoCallback;
    settings.warning = &WarningCallback;
    if (ac3_regsettings(&settings) != kAc3Ok) return false;
    const auto channels = static_cast<std::size_t>(ac3_getchannels());
    frameBuffer.assign(ac3::kMaxFrameBytes, 0);
    decodeBuffer.assign(channels * ac3::kSamplesPerFrame, 0.0f);
    pendingFrame = false;
    return FindFirstFrame();
}

bool Ac3FileSource::OpenFile() {
    aviInput = AviAudioTrack::IsAviInput(fileName);
    if (aviInput) {
        if (!avi.Open(fileName)) {
            return Fail("Unable to open the audio track of '" + fileName + "'", kAviTitle);
        }
        inputSize = avi.Length();
        return true;
    }
    stream.reset(std::fopen(fileName.c_str(), "rb"));
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

const char* Ac3FileSource::ReadRaw(uint8_t* buffer, int length) {
    const auto count = static_cast<std::size_t>(length);
    if (aviInput) {
        switch (avi.Read(buffer, count)) {
            case AviAudioTrack::ReadResult::kOk:
                return nullptr;
            case AviAudioTrack::ReadResult::kEnd:
                return kEndOfFile;
            case AviAudioTrack::ReadResult::kNotAc3:
                Fail("Audio track may not in AC3 Format", kAviTitle);
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
    host.SetStatusText(DescribeStream(record));
    if (record[kRecRate] <= kLastSupportedRateCode && record[kRecAcmod] == kAcmodThreeTwo &&
        record[kRecLfe] == 1) {
        return nullptr;
    }
    Fail("AC3 Format Not supported", "Tavrisk Internal Encoder Error");
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
            Fail(kReadError, kParserTitle);
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
            return Fail("No AC3 stream found in '" + fileName + "'", kParserTitle);
        case FrameRead::kFailed:
            break;
    }
    return false;
}

SampleSource::InputStatus Ac3FileSource::ReadInput(InputRun& run) {
    switch (ReadFrame()) {
        case FrameRead::kOk:
            break;
        case FrameRead::kEnd:
            return InputStatus::kEnd;
        case FrameRead::kFailed:
            return InputStatus::kFailed;
    }
    if (ac3_decode(frameBuffer.data(), decodeBuffer.data()) > 0) {
        Fail(kDecodeError, kParserTitle);
        return InputStatus::kFailed;
    }
    run = {decodeBuffer.data(), ac3::kSamplesPerFrame};
    return InputStatus::kFrames;
}

bool Ac3FileSource::SkipAhead(int32_t& resyncMs) {
    const int32_t frameMs = static_cast<int32_t>(kFrameMsNumerator / host.GetInputRate());
    if (aviInput || resyncMs >= 0 || -resyncMs <= frameMs) return true;
    if (ReadFrame() != FrameRead::kOk) return false;
    std::array<uint8_t, 8> record{};
    if (ac3_decodebsi(frameBuffer.data(), record.data()) > 0) {
        return Fail(kDecodeError, kParserTitle);
    }
    const int64_t frameBytes = ac3::FrameBytes(record[kRecFrameSize], record[kRecRate]);
    const int64_t offset = int64_t{-resyncMs / frameMs} * frameBytes;
    resyncMs %= frameMs;
    if (offset > inputSize || fseeko(stream.get(), offset, SEEK_SET) != 0) {
        return Fail("AC3 Initial frame skip Error", kResyncTitle);
    }
    return true;
}

void Ac3FileSource::Close() {
    CloseInput();
    if (libraryStarted) ac3_free();
    libraryStarted = false;
    frameBuffer = {};
    decodeBuffer = {};
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

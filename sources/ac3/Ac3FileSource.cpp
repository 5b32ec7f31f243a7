// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3FileSource.h"

#include <algorithm>

#include "sources/ContainerSignature.h"
#include "sources/ac3/Ac3FrameSizes.h"
#include "sources/ac3/Ac3Library.h"

namespace tavrisk {
namespace {

Ac3FileSource* currentSource = nullptr;

constexpr const char* kParserTitle = "AC-3 Decoder Error";
constexpr const char* kEncoderTitle = "Tavrisk Internal Encoder Error";
constexpr const char* kReadError = "AC3 Read Frame Error";
constexpr const char* kDecodeError = "AC3 Decode Frame Error";
constexpr const char* kAviTitle = "Tavrisk Internal AVI Parser Error";
constexpr const char* kDamageTitle = "Damaged AC-3 stream";
constexpr const char* kFormatChangeTitle = "AC-3 stream changes format";
constexpr const char* kContainerTitle = "Not an AC-3 stream";
constexpr const char* kAviError = "AVIError";
constexpr const char* kBadFormat = "BAD_AC3_FORMAT";
constexpr const char* kStopped = "STOPPED";

constexpr std::array<const char*, 8> kBsmodNames = {"(CM)", "(ME)", "(VI)", "(HI)",
                                                    "(D)",  "(C)",  "(E)",  "(VO)"};
constexpr std::array<const char*, 8> kAcmodNames = {
    "1+1 (Ch1, Ch2)", "1/0 C",       "2/0 L,R",       "3/0 L,C,R",
    "2/1 L,R,S",      "3/1 L,C,R,S", "2/2 L,R,SL,SR", "3/2 L,C,R,SL,SR"};
constexpr std::array<const char*, 4> kRateTexts = {" 48000 Hz", " 44100 Hz", " 32000 Hz", " ?? Hz"};
enum RecordByte { kRecRate = 0, kRecFrameSize = 1, kRecBsmod = 2, kRecAcmod = 3, kRecLfe = 7 };
constexpr int kAcmodThreeTwo = 7;
constexpr int kLastSupportedRateCode = 1;

constexpr auto kFrameSamples = static_cast<std::size_t>(ac3::kSamplesPerFrame);
static_assert(ac3::kSamplesPerFrame <= SampleSource::kMaxRunFrames);

std::string DescribeLayout(const uint8_t* record) {
    return std::string(kAcmodNames[record[kRecAcmod] & 7]) +
           (record[kRecLfe] == 1 ? " With LFE" : " No LFE");
}

int LayoutCode(const uint8_t* record) {
    return record[kRecAcmod] * 2 + (record[kRecLfe] & 1);
}

}  // namespace

Ac3FileSource::Ac3FileSource(JobHost& host, const JobSettings& settings)
    : SampleSource(host, settings, {.appliesResync = true, .lastBlock = LastBlock::kPaddedAlways}) {
    currentSource = this;
    ReadInputAhead();
}

Ac3FileSource::~Ac3FileSource() {
    Close();
    if (currentSource == this) currentSource = nullptr;
}

std::string Ac3FileSource::DescribeStream(const uint8_t* record) {
    const int rate =
        record[kRecRate] < kRateTexts.size() ? record[kRecRate] : kRateTexts.size() - 1;
    return std::string(kBsmodNames[record[kRecBsmod] & 7]) + kRateTexts[rate] + " " +
           DescribeLayout(record);
}

bool Ac3FileSource::OpenInput() {
    // A container read as a raw stream would give the AC-3 frames of its packets with the
    // bytes between them as damage: a much longer output of silence and scrambled sound.
    if (!AviAudioTrack::IsAviInput(fileName)) {
        if (const std::optional<std::string> container = ContainerOfFile(fileName)) {
            return Refuse("'" + fileName + "' is " + *container +
                              ": choose GStreamer processing (or --graph) to read it",
                          kContainerTitle);
        }
    }
    switch (input.Open(fileName)) {
        case Ac3ByteInput::OpenResult::kOk:
            break;
        case Ac3ByteInput::OpenResult::kNoFile:
            return false;
        case Ac3ByteInput::OpenResult::kNoAviTrack:
            return Fail("Unable to open the audio track of '" + fileName + "'", kAviTitle);
    }
    if (ac3_init() != kAc3Ok) {
        input.Close();
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
    decodeBuffer.assign(channels * kFrameSamples, 0.0f);
    convertedBuffer.assign(kMaxRunFrames * kChannels, 0.0f);
    outputPass = !normalizeEnabled;
    reported = false;
    streamRate = streamLayout = streamFrameBytes = 0;
    StartPass();
    return FindFirstFrame() && CheckInputRate(streamRate);
}

void Ac3FileSource::StartPass() {
    stopped = heldFrame = endSeen = cutAtEnd = false;
    skippedBytes = bytesSinceFrame = 0;
    gapFrames = -1;
    silentFramesLeft = 0;
    converter.Stop();
    timeline = dropLeft = 0;
    StartFormat();
}

void Ac3FileSource::StartFormat() {
    currentRate = silenceRate = streamRate;
    currentLayout = streamLayout;
    currentFrameBytes = streamFrameBytes;
    damage.Start(streamRate);
}

bool Ac3FileSource::RewindInput() {
    if (!input.Rewind()) return false;
    outputPass = true;
    StartPass();
    return true;
}

const char* Ac3FileSource::ReadRaw(uint8_t* buffer, int length) {
    if (stopped) return kStopped;
    const auto count = static_cast<std::size_t>(length);
    const std::size_t polled = bytesSinceFrame / kStopPollBytes;
    bytesSinceFrame += count;
    if (bytesSinceFrame / kStopPollBytes != polled && PollStop()) {
        stopped = true;
        return kStopped;
    }
    switch (input.Read(buffer, count)) {
        case Ac3ByteInput::ReadResult::kOk:
            return nullptr;
        case Ac3ByteInput::ReadResult::kEnd:
            return ac3::kEndOfInput;
        case Ac3ByteInput::ReadResult::kNotAc3:
            Fail("Audio track may not in AC3 Format", kAviTitle);
            return kAviError;
        case Ac3ByteInput::ReadResult::kError:
            break;
    }
    return input.ErrorText() != nullptr ? input.ErrorText() : kAviError;
}

const char* Ac3FileSource::CheckFormat(const uint8_t* record) {
    ShowStatus(DescribeStream(record));
    if (record[kRecRate] <= kLastSupportedRateCode && record[kRecAcmod] == kAcmodThreeTwo &&
        record[kRecLfe] == 1) {
        return nullptr;
    }
    Fail("AC3 Format Not supported", kEncoderTitle);
    return kBadFormat;
}

Ac3FileSource::Record Ac3FileSource::FrameRecord() const {
    Record record{};
    ac3_decodebsi(frameBuffer.data(), record.data());
    return record;
}

Ac3FileSource::FrameRead Ac3FileSource::ReadFrame() {
    if (heldFrame) {
        heldFrame = false;
        return FrameRead::kFrame;
    }
    skippedBytes = bytesSinceFrame = 0;
    switch (ac3_readframe(frameBuffer.data(), &ReadCallback)) {
        case kAc3Ok:
            break;
        case kAc3EndOfStream:
            return FrameRead::kEnd;
        case kAc3CutFrame:
            cutAtEnd = true;
            return FrameRead::kEnd;
        case kAc3Refused:  // the format check has said why
            return FrameRead::kFailed;
        default:
            if (stopped) return FrameRead::kEnd;
            Fail(kReadError, kParserTitle);
            return FrameRead::kFailed;
    }
    if (skippedBytes == 0) return FrameRead::kFrame;
    // The frames the skipped bytes held, by the size of the frames around them.
    const Record record = FrameRecord();
    const auto frameBytes = static_cast<std::size_t>(
        currentFrameBytes > 0 ? currentFrameBytes
                              : ac3::FrameBytes(record[kRecFrameSize], record[kRecRate]));
    gapFrames = static_cast<int64_t>((skippedBytes + frameBytes / 2) / frameBytes);
    heldFrame = true;
    return FrameRead::kGap;
}

// A file without a single AC-3 frame would otherwise pass as an empty stream and leave a
// silent output; the first frame also brings the format check before anything is written.
bool Ac3FileSource::FindFirstFrame() {
    switch (ReadFrame()) {
        case FrameRead::kFrame:
            heldFrame = true;
            break;
        case FrameRead::kGap:
            break;
        case FrameRead::kEnd:
            if (stopped) return false;
            return Fail("No AC3 stream found in '" + fileName + "'", kParserTitle);
        case FrameRead::kFailed:
            return false;
    }
    const Record record = FrameRecord();
    streamRate = ac3::SampleRate(record[kRecRate]);
    streamLayout = LayoutCode(record.data());
    streamFrameBytes = ac3::FrameBytes(record[kRecFrameSize], record[kRecRate]);
    StartFormat();
    return true;
}

SampleSource::InputStatus Ac3FileSource::ReadInput(InputRun& run) {
    for (;;) {
        if (endSeen) return EndOfInput(run);
        if (BeginGap()) {
            damage.Gap(timeline,
                       silentFramesLeft * ac3::kSamplesPerFrame * streamRate / silenceRate);
        }
        int rate = silenceRate;
        // The frame is decoded where the run goes, when it may be written in place.
        float* decoded = RunRoom() ? RunRoom() : decodeBuffer.data();
        if (silentFramesLeft > 0) {
            --silentFramesLeft;
            std::fill_n(decoded, decodeBuffer.size(), 0.0f);
        } else {
            switch (ReadFrame()) {
                case FrameRead::kFrame:
                    break;
                case FrameRead::kGap:
                    continue;
                case FrameRead::kEnd:
                    endSeen = !PadCutFrame();
                    continue;
                case FrameRead::kFailed:
                    return InputStatus::kFailed;
            }
            rate = DecodeFrame(decoded);
        }
        if (!Emit(rate, decoded, run)) return InputStatus::kFailed;
        if (run.count > 0) return InputStatus::kFrames;
    }
}

bool Ac3FileSource::PadCutFrame() {
    if (!cutAtEnd || stopped) return false;
    cutAtEnd = false;
    silentFramesLeft = 1;
    silenceRate = currentRate;
    damage.EndedInsideFrame(timeline, ac3::kSamplesPerFrame * streamRate / silenceRate);
    return true;
}

bool Ac3FileSource::BeginGap() {
    if (gapFrames < 0) return false;
    silentFramesLeft = gapFrames;
    silenceRate = currentRate;
    gapFrames = -1;
    return true;
}

int Ac3FileSource::DecodeFrame(float* decoded) {
    if (ac3_decode(frameBuffer.data(), decoded) > 0) {
        damage.DamagedFrame(timeline);
        std::fill_n(decoded, decodeBuffer.size(), 0.0f);
    } else {
        NoteFormat(FrameRecord());
    }
    return currentRate;
}

void Ac3FileSource::NoteFormat(const Record& record) {
    const int layout = LayoutCode(record.data());
    if (layout != currentLayout && layout != streamLayout) {
        damage.LayoutStretch(DescribeLayout(record.data()), timeline);
    }
    currentLayout = layout;
    const int rate = ac3::SampleRate(record[kRecRate]);
    if (rate != currentRate && rate != streamRate) damage.RateStretch(rate, timeline);
    currentRate = rate;
    currentFrameBytes = ac3::FrameBytes(record[kRecFrameSize], record[kRecRate]);
}

bool Ac3FileSource::Emit(int rate, const float* decoded, InputRun& run) {
    run = {};
    std::size_t count = 0;
    if (converter.Active() && converter.FromRate() != rate && !FinishConversion(count)) {
        return false;
    }
    float* converted = convertedBuffer.data();
    if (rate != streamRate) {
        if (!converter.Active() && !converter.Start(rate, streamRate)) {
            return Fail(kDecodeError, kParserTitle);
        }
        const long written = converter.Convert(
            decoded, kFrameSamples, converted + count * kChannels, kMaxRunFrames - count);
        if (written < 0) return Fail(kDecodeError, kParserTitle);
        Deliver(converted, count + static_cast<std::size_t>(written), run);
    } else if (count > 0) {
        std::copy_n(decoded, decodeBuffer.size(), converted + count * kChannels);
        Deliver(converted, count + kFrameSamples, run);
    } else {
        Deliver(decoded, kFrameSamples, run);
    }
    return true;
}

bool Ac3FileSource::FinishConversion(std::size_t& count) {
    const long written = converter.Finish(convertedBuffer.data(), kMaxRunFrames);
    if (written < 0) return Fail(kDecodeError, kParserTitle);
    count = static_cast<std::size_t>(written);
    return true;
}

void Ac3FileSource::Deliver(const float* frames, std::size_t count, InputRun& run) {
    const auto dropped = static_cast<std::size_t>(std::min<int64_t>(dropLeft, count));
    dropLeft -= static_cast<int64_t>(dropped);
    timeline += static_cast<int64_t>(count);
    run = {frames + dropped * kChannels, count - dropped};
}

SampleSource::InputStatus Ac3FileSource::EndOfInput(InputRun& run) {
    if (stopped) return InputStatus::kEnd;
    if (converter.Active()) {  // the last frames of a converted stretch
        std::size_t count = 0;
        if (!FinishConversion(count)) return InputStatus::kFailed;
        Deliver(convertedBuffer.data(), count, run);
        if (run.count > 0) return InputStatus::kFrames;
    }
    if (outputPass && !reported && !damage.Empty()) {
        reported = true;
        Warn(damage.Report(fileName), damage.HasDamage() ? kDamageTitle : kFormatChangeTitle);
    }
    return InputStatus::kEnd;
}

bool Ac3FileSource::SkipAhead(int32_t& resyncMs) {
    if (input.IsAvi() || resyncMs >= 0) return true;
    const int64_t samples = -int64_t{resyncMs} * streamRate / kMsPerSecond;
    const int64_t wholeFrames = samples / ac3::kSamplesPerFrame;
    if (wholeFrames == 0) return true;  // less than a frame: skipped after decoding
    for (int64_t left = wholeFrames; left > 0;) {
        BeginGap();
        if (silentFramesLeft > 0) {
            const int64_t taken = std::min(left, silentFramesLeft);
            silentFramesLeft -= taken;
            left -= taken;
            continue;
        }
        switch (ReadFrame()) {
            case FrameRead::kFrame:
                break;
            case FrameRead::kGap:
                continue;
            case FrameRead::kEnd:
                if (stopped) return false;
                return Fail("AC3 Initial frame skip Error", kResyncTitle);
            case FrameRead::kFailed:
                return false;
        }
        // The last frame skipped is decoded (and dropped), so that the first one delivered
        // overlaps with it as in the stream.
        if (--left == 0) ac3_decode(frameBuffer.data(), decodeBuffer.data());
    }
    timeline = wholeFrames * ac3::kSamplesPerFrame;
    dropLeft = samples - timeline;
    resyncMs = 0;
    return true;
}

void Ac3FileSource::Close() {
    StopReading();
    input.Close();
    converter.Stop();
    if (libraryStarted) ac3_free();
    libraryStarted = false;
    frameBuffer = {};
    decodeBuffer = {};
    convertedBuffer = {};
}

const char* Ac3FileSource::ReadCallback(uint8_t* buffer, int length) {
    return currentSource ? currentSource->ReadRaw(buffer, length) : ac3::kEndOfInput;
}

const char* Ac3FileSource::StreamInfoCallback(const uint8_t* record) {
    return currentSource ? currentSource->CheckFormat(record) : kBadFormat;
}

// The library has no text of its own to show; a source never prints, so any would be
// dropped here.
const char* Ac3FileSource::OutputCallback(const void*, int) {
    return nullptr;
}

// Skipped bytes become silence and are reported with the other damage at the end.
void Ac3FileSource::WarningCallback(int code, int value, const float*) {
    if (code == kAc3WarningSyncLost && currentSource != nullptr && value > 0) {
        currentSource->skippedBytes = static_cast<std::size_t>(value);
    }
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "sources/ac3/Ac3FrameSizes.h"
#include "sources/ac3/Ac3Header.h"
#include "sources/ac3/Ac3Library.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

constexpr std::size_t kFrameFloats = ac3::kSamplesPerFrame * kAc3Channels;

struct Recorded {
    std::vector<ac3::Ac3Header::Record> records;
    const char* answer = nullptr;
    std::vector<int> warnings;
};
Recorded recorded;

const char* RecordStreamInfo(const uint8_t* record) {
    ac3::Ac3Header::Record copy{};
    std::copy(record, record + copy.size(), copy.begin());
    recorded.records.push_back(copy);
    return recorded.answer;
}
void RecordWarning(int code, int value, const float*) {
    if (code == kAc3WarningSyncLost) recorded.warnings.push_back(value);
}

// The library set up over bytes in memory, freed at the end of the test.
class Ac3LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { recorded = {}; }
    void TearDown() override { ac3_free(); }

    void Start(std::vector<uint8_t> bytes) {
        MemoryStream::Load(std::move(bytes));
        ASSERT_EQ(ac3_init(), kAc3Ok);
        Ac3Settings settings;
        settings.streamInfo = &RecordStreamInfo;
        settings.warning = &RecordWarning;
        ASSERT_EQ(ac3_regsettings(&settings), kAc3Ok);
        ASSERT_EQ(ac3_getchannels(), kAc3Channels);
    }
    // Decodes until the first non-zero result, which it returns.
    int32_t DecodeAll(std::vector<float>& out) {
        for (;;) {
            if (int32_t r = ac3_readframe(frame.data(), &MemoryStream::Read); r != kAc3Ok) return r;
            if (int32_t r = ac3_decode(frame.data(), decoded.data()); r != kAc3Ok) return r;
            out.insert(out.end(), decoded.begin(), decoded.end());
        }
    }

    std::vector<uint8_t> frame = std::vector<uint8_t>(ac3::kMaxFrameBytes);
    std::vector<float> decoded = std::vector<float>(kFrameFloats);
};

std::vector<double> ChannelOf(const std::vector<float>& frames, int channel) {
    std::vector<double> out;
    for (std::size_t i = channel; i < frames.size(); i += kAc3Channels) out.push_back(frames[i]);
    return out;
}

TEST_F(Ac3LibraryTest, DecodesSixChannelsInOrderAsFfmpegDoes) {
    TempDir dir;
    const std::string path = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(path, {.seconds = 1.0}));
    Start(ReadBytes(path));
    std::vector<float> ours;
    EXPECT_EQ(DecodeAll(ours), kAc3EndOfStream);
    ASSERT_EQ(recorded.records.size(), 1u);
    EXPECT_EQ(recorded.records[0], (ac3::Ac3Header::Record{0, 30, 0, 7, 0, 0, 0, 1}));

    const std::vector<float> reference = FfmpegDecode(path);
    ASSERT_EQ(ours.size(), 32 * kFrameFloats);
    ASSERT_EQ(reference.size(), ours.size());
    double worst = 0.0;
    for (std::size_t i = 0; i < ours.size(); ++i)
        worst = std::max(worst, double(std::fabs(ours[i] - reference[i])));
    EXPECT_LT(worst, 1e-6);
    for (int channel = 0; channel < kAc3Channels; ++channel) {
        const auto signal = ChannelOf(ours, channel);
        const double own = ToneAmplitude(signal, kAc3Tones[channel], 48000);
        EXPECT_GT(own, 0.1) << channel;
        for (int other = 0; other < kAc3Channels; ++other) {
            if (other != channel) {
                EXPECT_LT(ToneAmplitude(signal, kAc3Tones[other], 48000), own / 100) << channel;
            }
        }
    }
}

TEST_F(Ac3LibraryTest, DecodesTheSameAfterTheInputIsRewoundAtItsEnd) {
    TempDir dir;
    const std::string path = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(path, {.seconds = 0.5}));
    Start(ReadBytes(path));
    std::vector<float> first, second;
    EXPECT_EQ(DecodeAll(first), kAc3EndOfStream);
    MemoryStream::Rewind();
    EXPECT_EQ(DecodeAll(second), kAc3EndOfStream);
    EXPECT_EQ(first, second);
    EXPECT_EQ(recorded.records.size(), 1u);
}

TEST_F(Ac3LibraryTest, GivesTheCodesTimeAndNumberOfTheLastFrame) {
    TempDir dir;
    const std::string path = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(path, {.rate = 44100, .seconds = 1.0, .kbps = 192}));
    Start(ReadBytes(path));
    std::array<uint8_t, 8> bsi{};
    Ac3FrameInfo info;
    for (int n = 0; n < 29; ++n)
        ASSERT_EQ(ac3_readframe(frame.data(), &MemoryStream::Read), kAc3Ok);
    ASSERT_EQ(ac3_decodebsi(frame.data(), bsi.data()), kAc3Ok);
    EXPECT_EQ(bsi[0], 1);
    EXPECT_TRUE(bsi[1] == 20 || bsi[1] == 21);
    ASSERT_EQ(ac3_getinfo(&info), kAc3Ok);
    // Frame 28 starts at 28 x 1536 / 44100 s = 975.2 ms.
    EXPECT_EQ(info.frame, 28);
    EXPECT_EQ(info.hours + info.minutes + info.seconds, 0);
    EXPECT_EQ(info.milliseconds, 975);
}

TEST_F(Ac3LibraryTest, RefusesAStreamTheCallbackRefuses) {
    TempDir dir;
    const std::string path = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(path, {.seconds = 0.2, .layout = "stereo", .kbps = 192}));
    recorded.answer = "BAD_AC3_FORMAT";
    Start(ReadBytes(path));
    EXPECT_EQ(ac3_readframe(frame.data(), &MemoryStream::Read), kAc3Refused);
    ASSERT_EQ(recorded.records.size(), 1u);
    EXPECT_EQ(recorded.records[0][3], 2);
    EXPECT_EQ(recorded.records[0][7], 0);
}

TEST_F(Ac3LibraryTest, ReportsADamagedFrameAsADecodeErrorAndSkippedBytesAsAWarning) {
    TempDir dir;
    const std::string path = dir.File("in.ac3");
    ASSERT_TRUE(MakeAc3(path, {.seconds = 0.5}));
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.insert(bytes.begin() + 2 * 1792, 100, 0xAA);  // garbage before frame 2
    bytes[4 * 1792 + 100 + 900] ^= 0x01;                // damage inside frame 4
    Start(bytes);
    std::vector<float> out;
    EXPECT_EQ(DecodeAll(out), kAc3Error);
    EXPECT_EQ(out.size(), 4 * kFrameFloats);
    EXPECT_EQ(recorded.warnings, std::vector<int>{100});
}

TEST_F(Ac3LibraryTest, RefusesCallsOutOfOrder) {
    EXPECT_EQ(ac3_readframe(frame.data(), &MemoryStream::Read), kAc3NotReady);
    ASSERT_EQ(ac3_init(), kAc3Ok);
    EXPECT_EQ(ac3_readframe(frame.data(), &MemoryStream::Read), kAc3NotReady);
    EXPECT_EQ(ac3_decode(frame.data(), decoded.data()), kAc3NotReady);
}

}  // namespace
}  // namespace tavrisk::test

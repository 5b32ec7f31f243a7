// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>

#include "sources/ContainerSignature.h"
#include "sources/DamageLog.h"
#include "sources/StreamTimeline.h"
#include "sources/ac3/Ac3FileSource.h"
#include "sources/ac3/Ac3FrameReader.h"
#include "sources/ac3/Ac3RateProbe.h"
#include "tests/ac3/Ac3SourceRun.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/support/FakeJobHost.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

// Appends bytes [from, to): vector::insert of a range trips a false -Warray-bounds of GCC 12
// at -O3.
template <typename Iterator>
void Append(std::vector<uint8_t>& bytes, Iterator from, Iterator to) {
    const auto count = static_cast<std::size_t>(std::distance(from, to));
    const std::size_t at = bytes.size();
    bytes.resize(at + count);
    std::copy(from, to, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

using Message = FakeJobHost::Message;

constexpr std::size_t kFrame = 1536;
constexpr std::size_t kFrameBytes = 1792;  // 448 kbit/s at 48 kHz
constexpr std::size_t kBlock = 1152;
// Frames after a frame the decoder did not see differ from the clean decode by its dither.
constexpr double kDitherUnits = 16.0;
constexpr const char* kDamageTitle = "Damaged AC-3 stream";
constexpr const char* kFormatTitle = "AC-3 stream changes format";

// Blocks of a source that delivered `frames` input frames: the last one padded.
std::size_t BlocksFor(std::size_t frames) {
    return frames / kBlock + 1;
}

std::string Report(const std::string& path, const std::string& lines) {
    return "'" + path + "' was read to its end, keeping its timeline:\n" + lines;
}

std::vector<uint8_t> Noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// An AC-3 source whose read position can be watched, at every progress poll as well.
class WatchedSource : public Ac3FileSource {
  public:
    using Ac3FileSource::Ac3FileSource;
    // Where reading stands as the job's thread sees it.
    int64_t Position() const { return static_cast<int64_t>(ProgressPosition()); }
};

// One clean 10 s stream for the whole suite, with the source's delivery of it.
class Ac3DamageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        suiteDir = std::make_unique<TempDir>();
        cleanPath = new std::string(suiteDir->File("clean.ac3"));
        ASSERT_TRUE(MakeAc3(*cleanPath, {.seconds = 10.0}));
        cleanBytes = new std::vector<uint8_t>(ReadBytes(*cleanPath));
        FakeJobHost host;
        Ac3FileSource source(host, host.Settings());
        clean = new Delivered(RunSource(source, *cleanPath));
        ASSERT_TRUE(clean->opened);
    }
    static void TearDownTestSuite() {
        delete clean;
        delete cleanBytes;
        delete cleanPath;
        suiteDir.reset();
    }

    static std::size_t CleanFrames() { return cleanBytes->size() / kFrameBytes; }

    Delivered Run(const std::string& path) {
        Ac3FileSource source(host, host.Settings());
        return RunSource(source, path);
    }
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name) {
        const std::string path = dir.File(name);
        WriteBytes(path, bytes);
        return path;
    }
    // Only what the source reported as warnings; no error messages.
    void ExpectOneWarning(const std::string& text, const std::string& title) {
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.warnings, (std::vector<Message>{{text, title}}));
        host.warnings.clear();
    }

    static inline std::unique_ptr<TempDir> suiteDir;
    static inline std::string* cleanPath = nullptr;
    static inline std::vector<uint8_t>* cleanBytes = nullptr;
    static inline Delivered* clean = nullptr;

    FakeJobHost host;
    TempDir dir;
};

TEST_F(Ac3DamageTest, ADamagedFrameBecomesOneFrameOfSilenceAndTheRestDecodesAsBefore) {
    struct Case {
        const char* name;
        std::size_t frame;
        std::vector<std::size_t> flipped;  // bytes inside the frame
        std::string line;
        std::size_t keptBytes = 0;  // of the frame, where the input is cut inside it
    };
    const std::vector<Case> cases = {
        {"three flipped bits",
         100,
         {300, 901, 1500},
         "1 damaged frame replaced by silence at 00:00:03.20"},
        {"a flipped CRC word",
         120,
         {kFrameBytes - 1},
         "1 damaged frame replaced by silence at 00:00:03.84"},
        // The frame cannot even be found: its bytes are a gap of one frame.
        {"a flipped syncword",
         140,
         {0},
         "1 gap of unreadable bytes (0.03 s of silence in its place) at 00:00:04.48"},
        {"the input cut inside its last frame",
         CleanFrames() - 1,
         {},
         "ends inside its last frame at 00:00:09.98: that frame (0.03 s) is cut short and "
         "replaced by silence",
         1000},
        {"the input cut inside its last frame's header",
         CleanFrames() - 1,
         {},
         "ends inside its last frame at 00:00:09.98: that frame (0.03 s) is cut short and "
         "replaced by silence",
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = *cleanBytes;
        for (std::size_t at : c.flipped) bytes[c.frame * kFrameBytes + at] ^= 0x14;
        if (c.keptBytes > 0) bytes.resize(c.frame * kFrameBytes + c.keptBytes);
        const std::string path = Write(bytes, "damaged.ac3");
        const Delivered d = Run(path);
        ASSERT_EQ(d.blocks, clean->blocks);
        const std::size_t start = c.frame * kFrame;
        EXPECT_EQ(WorstDifference(d, *clean, 0, start), 0.0);
        EXPECT_TRUE(AllZero(d, start, start + kFrame));
        // The frame after it lacks the overlap of the silent one; from the next on it is clean.
        const std::size_t resumed = std::min(start + 2 * kFrame, d.Frames());
        EXPECT_LE(WorstDifference(d, resumed, *clean, resumed, d.Frames() - resumed), kDitherUnits);
        ExpectOneWarning(Report(path, c.line), kDamageTitle);
    }
}

TEST_F(Ac3DamageTest, DamageIsReportedOnceWithItsCountAfterTheAnalysisPass) {
    host.channels.normalize = true;
    std::vector<uint8_t> bytes = *cleanBytes;
    for (std::size_t frame : {std::size_t{3}, std::size_t{200}, std::size_t{201}}) {
        bytes[frame * kFrameBytes + 1000] ^= 0x01;
    }
    const std::string path = Write(bytes, "damaged.ac3");
    const Delivered d = Run(path);
    EXPECT_EQ(d.blocks, clean->blocks);
    ExpectOneWarning(Report(path, "3 damaged frames replaced by silence, the first at 00:00:00.09"),
                     kDamageTitle);
}

TEST_F(Ac3DamageTest, GarbageBetweenFramesBecomesTheSilenceOfTheFramesItCouldHold) {
    const std::vector<uint8_t> shortGarbage = Noise(333, 1);  // a fifth of a frame: none
    const std::vector<uint8_t> longGarbage = Noise(3700, 2);  // 2.06 frames: two
    std::vector<uint8_t> bytes(cleanBytes->begin(), cleanBytes->begin() + 50 * kFrameBytes);
    Append(bytes, shortGarbage.begin(), shortGarbage.end());
    Append(bytes, cleanBytes->begin() + 50 * kFrameBytes, cleanBytes->begin() + 200 * kFrameBytes);
    Append(bytes, longGarbage.begin(), longGarbage.end());
    Append(bytes, cleanBytes->begin() + 200 * kFrameBytes, cleanBytes->end());
    const std::string path = Write(bytes, "garbage.ac3");

    const Delivered d = Run(path);
    ASSERT_EQ(d.blocks, BlocksFor((CleanFrames() + 2) * kFrame));
    // Every frame was decoded in turn: the stream is the clean one with two silent frames.
    EXPECT_EQ(WorstDifference(d, *clean, 0, 200 * kFrame), 0.0);
    EXPECT_TRUE(AllZero(d, 200 * kFrame, 202 * kFrame));
    EXPECT_EQ(
        WorstDifference(d, 202 * kFrame, *clean, 200 * kFrame, (CleanFrames() - 200) * kFrame),
        0.0);
    ExpectOneWarning(Report(path,
                            "2 gaps of unreadable bytes (0.06 s of silence in their place), the "
                            "first at 00:00:01.60"),
                     kDamageTitle);
}

TEST_F(Ac3DamageTest, FramesCutOutOfTheMiddleLeaveTheDurationOfWhatRemains) {
    // Cut inside frames: frame 100 runs into the tail of frame 130 and fails its CRC, then
    // the 400 bytes before frame 131 are skipped.
    const std::size_t from = 100 * kFrameBytes + 700;
    const std::size_t to = 130 * kFrameBytes + 300;
    std::vector<uint8_t> bytes(cleanBytes->begin(), cleanBytes->begin() + from);
    Append(bytes, cleanBytes->begin() + to, cleanBytes->end());
    const std::string path = Write(bytes, "cut.ac3");
    const Delivered d = Run(path);
    const double duration = static_cast<double>(bytes.size()) / kFrameBytes * kFrame;
    const auto frames = static_cast<double>((CleanFrames() - 30) * kFrame);
    EXPECT_NEAR(frames, duration, kFrame);
    EXPECT_EQ(d.blocks, BlocksFor((CleanFrames() - 30) * kFrame));
    EXPECT_EQ(WorstDifference(d, *clean, 0, 100 * kFrame), 0.0);
    EXPECT_TRUE(AllZero(d, 100 * kFrame, 101 * kFrame));
    ExpectOneWarning(Report(path,
                            "1 damaged frame replaced by silence at 00:00:03.20\n"
                            "1 gap of unreadable bytes (0.00 s of silence in its place) at "
                            "00:00:03.23"),
                     kDamageTitle);
}

TEST_F(Ac3DamageTest, StretchesInOtherLayoutsAreMappedIntoFiveOneByPosition) {
    const std::string surround = dir.File("surround.ac3");
    const std::string stereo = dir.File("stereo.ac3");
    const std::string mono = dir.File("mono.ac3");
    ASSERT_TRUE(MakeAc3(surround, {.seconds = 1.0}));
    ASSERT_TRUE(MakeAc3(stereo, {.seconds = 1.0, .layout = "stereo", .kbps = 192}));
    ASSERT_TRUE(MakeAc3(mono, {.seconds = 1.0, .layout = "mono", .kbps = 96}));
    const std::vector<uint8_t> piece = ReadBytes(surround);
    std::vector<uint8_t> bytes = piece;
    for (const std::string& other : {stereo, mono}) {
        const std::vector<uint8_t> more = ReadBytes(other);
        Append(bytes, more.begin(), more.end());
    }
    Append(bytes, piece.begin(), piece.end());
    const std::string path = Write(bytes, "switching.ac3");
    const std::size_t pieceFrames = piece.size() / kFrameBytes;  // 32, 1.024 s

    const Delivered d = Run(path);
    ASSERT_EQ(d.blocks, BlocksFor(4 * pieceFrames * kFrame));
    EXPECT_EQ(host.status, "(CM) 48000 Hz 3/2 L,C,R,SL,SR With LFE");
    Delivered first;
    {
        Ac3FileSource source(host, host.Settings());
        first = RunSource(source, surround);
    }
    EXPECT_EQ(WorstDifference(d, first, 0, pieceFrames * kFrame), 0.0);

    // Inside the stretches (a frame off their edges): the tones of the channels they have
    // in the slots of those channels, every other slot silent.
    const std::size_t stereoFrom = (pieceFrames + 1) * kFrame;
    const std::size_t monoFrom = (2 * pieceFrames + 1) * kFrame;
    const std::size_t stretch = (pieceFrames - 2) * kFrame;
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        SCOPED_TRACE(slot);
        const auto inStereo = d.Stretch(slot, stereoFrom, stereoFrom + stretch);
        const auto inMono = d.Stretch(slot, monoFrom, monoFrom + stretch);
        const bool front = slot == 0 || slot == 2;
        EXPECT_EQ(ToneAmplitude(inStereo, kAc3Tones[slot], 48000) > 3000.0, front);
        EXPECT_EQ(Rms(inStereo) == 0.0, !front);
        EXPECT_EQ(ToneAmplitude(inMono, kAc3Tones[slot], 48000) > 3000.0, slot == 1);
        EXPECT_EQ(Rms(inMono) == 0.0, slot != 1);
    }
    // All six again after the switch back, as ffmpeg decodes the same stream.
    const std::vector<float> reference = FfmpegDecode(path);
    ASSERT_EQ(reference.size(), 4 * pieceFrames * kFrame * kAc3Channels);
    double worst = 0.0;
    for (std::size_t i = (3 * pieceFrames + 1) * kFrame; i < 4 * pieceFrames * kFrame; ++i) {
        for (int slot = 0; slot < kAc3Channels; ++slot) {
            const double theirs = std::lround(reference[i * kAc3Channels + slot] * 32768.0);
            worst = std::max(worst, std::fabs(d.Slot(slot)[i] - theirs));
        }
    }
    EXPECT_LE(worst, 2.0);

    ExpectOneWarning(Report(path,
                            "a stretch in 2/0 L,R No LFE from 00:00:01.02, mapped into 5.1\n"
                            "a stretch in 1/0 C No LFE from 00:00:02.04, mapped into 5.1"),
                     kFormatTitle);
}

TEST_F(Ac3DamageTest, AStretchAtAnotherRateIsConvertedToTheStreamsRate) {
    const std::string fast = dir.File("48.ac3");
    const std::string slow = dir.File("44.ac3");
    ASSERT_TRUE(MakeAc3(fast, {.seconds = 1.0}));
    ASSERT_TRUE(MakeAc3(slow, {.rate = 44100, .seconds = 1.0}));
    const std::vector<uint8_t> piece = ReadBytes(fast);
    const std::vector<uint8_t> other = ReadBytes(slow);
    std::vector<uint8_t> bytes = piece;
    Append(bytes, other.begin(), other.end());
    Append(bytes, piece.begin(), piece.end());
    const std::string path = Write(bytes, "switching.ac3");

    const Delivered d = Run(path);
    const std::size_t pieceFrames = piece.size() / kFrameBytes * kFrame;
    // 44.1 kHz frames of 448 kbit/s alternate between 1950 and 1952 bytes.
    const std::size_t otherFrames =
        static_cast<std::size_t>(std::lround(other.size() / 1950.5)) * kFrame;
    const double duration = 2.0 * pieceFrames + otherFrames * 48000.0 / 44100.0;
    // The last frame that is not silence ends the stream's own frames.
    std::size_t end = d.Frames();
    while (end > 0 && d.Slot(0)[end - 1] == 0.0) --end;
    EXPECT_NEAR(static_cast<double>(end), duration, kFrame);
    EXPECT_EQ(d.blocks, BlocksFor(static_cast<std::size_t>(duration)));

    // Each stretch carries its tones at their own pitch.
    const std::size_t middle = pieceFrames + kFrame;
    const std::size_t length = otherFrames - 2 * kFrame;
    for (int slot = 0; slot < kAc3Channels; ++slot) {
        const auto converted = d.Stretch(slot, middle, middle + length);
        const auto after = d.Stretch(slot, end - pieceFrames + kFrame, end - kFrame);
        EXPECT_GT(ToneAmplitude(converted, kAc3Tones[slot], 48000), 3000.0) << slot;
        EXPECT_GT(ToneAmplitude(after, kAc3Tones[slot], 48000), 3000.0) << slot;
    }
    ExpectOneWarning(Report(path, "a stretch at 44100 Hz from 00:00:01.02, converted to 48000 Hz"),
                     kFormatTitle);
}

TEST_F(Ac3DamageTest, TheSearchForAFirstFrameEndsAfterOneMebibyte) {
    const std::vector<uint8_t> zeros(ac3::kFirstFrameSearchBytes + 2 * kFrameBytes, 0);
    std::vector<uint8_t> late = zeros;
    Append(late, cleanBytes->begin(), cleanBytes->begin() + 10 * kFrameBytes);
    const std::string tooLate = Write(late, "late.ac3");
    const std::vector<uint8_t> noise = Noise(2 * ac3::kFirstFrameSearchBytes, 3);
    const std::string random = Write(noise, "random.ac3");
    for (const std::string& path : {tooLate, random}) {
        EXPECT_FALSE(Run(path).opened);
        EXPECT_EQ(host.messages, (std::vector<Message>{{"No AC3 stream found in '" + path + "'",
                                                        "AC-3 Decoder Error"}}));
        EXPECT_FALSE(ProbeAc3Rate(path));
        host.messages.clear();
    }

    // Within the bound, the leading bytes are a gap: the stream starts after their silence.
    std::vector<uint8_t> early(ac3::kFirstFrameSearchBytes / 2, 0);
    Append(early, cleanBytes->begin(), cleanBytes->begin() + 10 * kFrameBytes);
    const std::string path = Write(early, "early.ac3");
    EXPECT_EQ(ProbeAc3Rate(path), 48000);
    const Delivered d = Run(path);
    const std::size_t silent = (ac3::kFirstFrameSearchBytes / 2 + kFrameBytes / 2) / kFrameBytes;
    ASSERT_EQ(d.blocks, BlocksFor((silent + 10) * kFrame));
    EXPECT_TRUE(AllZero(d, 0, silent * kFrame));
    EXPECT_EQ(WorstDifference(d, silent * kFrame, *clean, 0, 10 * kFrame), 0.0);
    ExpectOneWarning(Report(path,
                            "1 gap of unreadable bytes (9.38 s of silence in its place) at "
                            "00:00:00.00"),
                     kDamageTitle);
}

TEST_F(Ac3DamageTest, AStopDuringASearchEndsItWithinOnePollAsAStopNotAnError) {
    // While looking for the first frame: the stop at the first poll is the last read.
    const std::string zeros =
        Write(std::vector<uint8_t>(ac3::kFirstFrameSearchBytes, 0), "zeros.ac3");
    int64_t stoppedAt = -1;
    {
        WatchedSource source(host, host.Settings());
        host.onProgress = [&] {
            if (host.progress.size() == 2) {
                stoppedAt = source.Position();
                host.RequestStop();
            }
        };
        EXPECT_FALSE(source.Open(zeros));
    }
    EXPECT_EQ(host.progress.size(), 2u);
    EXPECT_LE(stoppedAt, static_cast<int64_t>(Ac3FileSource::kStopPollBytes));
    EXPECT_TRUE(host.messages.empty());

    // Inside a stream, in front of 16 MiB without a frame: reading stops one poll after.
    host.ClearStop();
    host.progress.clear();
    constexpr std::size_t kHead = 20 * kFrameBytes;
    std::vector<uint8_t> bytes(kHead + (std::size_t{16} << 20) + kHead, 0);
    std::copy_n(cleanBytes->begin(), kHead, bytes.begin());
    std::copy_n(cleanBytes->begin(), kHead, bytes.end() - static_cast<std::ptrdiff_t>(kHead));
    const std::string gap = Write(bytes, "gap.ac3");
    constexpr int64_t kStopFrom = int64_t{2} << 20;
    WatchedSource source(host, host.Settings());
    host.onProgress = [&] {
        if (stoppedAt < 0 && source.Position() > kStopFrom) {
            stoppedAt = source.Position();
            host.RequestStop();
        }
    };
    stoppedAt = -1;
    ASSERT_TRUE(source.Open(gap));
    SampleBlock block;
    std::size_t blocks = 0;
    while (source.ReadBlock(block).HasBlock()) ++blocks;
    ASSERT_GT(stoppedAt, kStopFrom);
    EXPECT_LE(source.Position(), stoppedAt + static_cast<int64_t>(Ac3FileSource::kStopPollBytes));
    EXPECT_EQ(blocks, BlocksFor(20 * kFrame));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.warnings.empty());

    // The same in the analysis pass: the source does not open.
    host.ClearStop();
    host.channels.normalize = true;
    stoppedAt = -1;
    WatchedSource analysed(host, host.Settings());
    host.onProgress = [&] {
        if (stoppedAt < 0 && analysed.Position() > kStopFrom) {
            stoppedAt = analysed.Position();
            host.RequestStop();
        }
    };
    EXPECT_FALSE(analysed.Open(gap));
    EXPECT_GT(stoppedAt, kStopFrom);
    EXPECT_LT(host.progress.back(), 50.0f);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Ac3DamageTest, TheRateOfTheFirstFrameMustBeTheJobsInputRate) {
    const std::string slow = dir.File("slow.ac3");
    ASSERT_TRUE(MakeAc3(slow, {.rate = 44100, .seconds = 0.5}));
    const std::string avi = dir.File("movie.avi");
    ASSERT_TRUE(MakeAvi(avi, *cleanPath));
    EXPECT_EQ(ProbeAc3Rate(slow), 44100);
    EXPECT_EQ(ProbeAc3Rate(avi), 48000);
    EXPECT_FALSE(ProbeAc3Rate(dir.File("missing.ac3")));

    EXPECT_FALSE(Run(slow).opened);
    EXPECT_EQ(host.messages,
              (std::vector<Message>{{"The input '" + slow +
                                         "' is at 44100 Hz, but the input frequency is set to "
                                         "48000 Hz",
                                     "Tavrisk Internal Encoder Error"}}));
    host.inputRate = 44100;
    EXPECT_TRUE(Run(slow).opened);
}

TEST(DamageLog, CountsEachKindAndTellsItsFirstTime) {
    DamageLog log;
    log.Start(48000);
    EXPECT_TRUE(log.Empty());
    EXPECT_EQ(log.Report("x.ac3"), "");
    const int64_t hour = int64_t{3600} * 48000;
    log.DamagedFrame(hour + 74 * 48000 + 14400);  // 01:01:14.30
    log.DamagedFrame(2 * hour);
    log.Gap(4800, 1536);
    log.Gap(9600, 3 * 1536);
    log.Gap(19200, 0);
    log.LayoutStretch("2/0 L,R No LFE", 600 * 48000);
    log.LayoutStretch("1/0 C No LFE", 700 * 48000);
    log.LayoutStretch("2/0 L,R No LFE", 800 * 48000);
    log.RateStretch(44100, 1);
    EXPECT_TRUE(log.HasDamage());
    EXPECT_EQ(log.Report("x.ac3"),
              "'x.ac3' was read to its end, keeping its timeline:\n"
              "2 damaged frames replaced by silence, the first at 01:01:14.30\n"
              "3 gaps of unreadable bytes (0.13 s of silence in their place), the first at "
              "00:00:00.10\n"
              "2 stretches in 2/0 L,R No LFE, the first from 00:10:00.00, mapped into 5.1\n"
              "a stretch in 1/0 C No LFE from 00:11:40.00, mapped into 5.1\n"
              "a stretch at 44100 Hz from 00:00:00.00, converted to 48000 Hz");
    log.Start(48000);
    log.LeadingSilence(96000);
    EXPECT_FALSE(log.HasWarnings());
    log.TimestampGap(384000, 144000);
    log.DamagedFrames(460800, 5);
    log.EndedEarly(3297600, 5760000);
    EXPECT_TRUE(log.HasWarnings());
    EXPECT_EQ(log.Report("f.mkv"),
              "'f.mkv' was read to its end, short of its stated length:\n"
              "2.000 s of silence before the first audio\n"
              "5 damaged frames replaced by silence, the first at 00:00:09.60\n"
              "3.000 s gap at 00:00:08.0 filled with silence\n"
              "input ended at 1:08.7 of 2:00.0");
    log.Start(44100);
    log.RateStretch(48000, 44100);
    EXPECT_FALSE(log.HasDamage());
    EXPECT_EQ(log.Report("y.ac3"),
              "'y.ac3' was read to its end, keeping its timeline:\n"
              "a stretch at 48000 Hz from 00:00:01.00, converted to 44100 Hz");
}

// Overlapping buffers lose their front (late starts and gaps are measured end to end); after
// a stamp far past the stated length, or far back, the stream follows on.
TEST(StreamTimeline, DropsOverlapsAndFollowsResets) {
    constexpr int kRate = 48000;
    constexpr uint64_t kMs = 1'000'000;
    struct Buffer {
        std::optional<uint64_t> startNs;
        int64_t frames, silence, drop;
    };
    const struct {
        std::vector<Buffer> buffers;
        const char* report;
    } cases[] = {
        {{{0, 4800, 0, 0}, {95 * kMs, 480, 0, 240}, {100 * kMs, 480, 0, 240}},
         "2 overlaps dropped (0.010 s in all), the first at 00:00:00.1"},
        {{{0, 1536, 0, 0},
          {3600'000 * kMs, 1536, 0, 0},
          {3600'032 * kMs, 1536, 0, 0},
          {64 * kMs, 1536, 0, 0},
          {std::nullopt, 1536, 0, 0},
          {128 * kMs, 1536, 0, 0}},
         ""},
    };
    for (const auto& c : cases) {
        DamageLog log;
        log.Start(kRate);
        StreamTimeline timeline;
        timeline.Start(kRate, log);
        for (const Buffer& buffer : c.buffers) {
            const StreamTimeline::Placement placed =
                timeline.Place(buffer.startNs, buffer.frames, 10 * kRate);
            EXPECT_EQ(placed.silence, buffer.silence) << c.report;
            EXPECT_EQ(placed.drop, buffer.drop) << c.report;
        }
        const std::string report = log.Report("x.mkv");
        EXPECT_EQ(report.empty() ? "" : report.substr(report.find('\n') + 1), c.report);
    }
}

// A film in a container given to the native AC-3 reader is refused by its leading bytes before
// anything is written; a raw stream is read, with junk before its first frame or not.
TEST(NativeContainerTest, ContainersAreRefusedOnceWithNothingWrittenAndRawStreamsRead) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the inputs";
    TempDir dir;
    const std::string ac3 = dir.File("film.ac3");
    ASSERT_TRUE(MakeAc3(ac3, {.seconds = 2.0}));
    const struct {
        const char* name;
        const char* ffmpegOutput;  // the file is written after these
        const char* says;          // nullptr: a raw stream
    } inputs[] = {
        {"film.vob", "-c copy -f vob", "an MPEG program stream"},
        {"film.ts", "-c copy -f mpegts", "an MPEG transport stream"},
        {"film.m2ts", "-c copy -f mpegts -mpegts_m2ts_mode 1", "an MPEG transport stream"},
        {"film.mkv", "-c copy -f matroska", "a Matroska file"},
        {"film.webm", "-ac 2 -c:a libopus -f webm", "a WebM file"},
        {"film.mp4", "-c copy -f mp4", "an MP4 file"},
        {"film.mov", "-c copy -f mov", "a QuickTime file"},
        {"film.ogg", "-c:a flac -f ogg", "an Ogg file"},
        {"film.flac", "-c:a flac -f flac", "a FLAC file"},
        {"wav.ac3", "-c:a pcm_s16le -f wav", "a WAV file"},
        {"avi.ac3", "-c copy -f avi", "an AVI file"},
        {"copy.ac3", "-c copy -f ac3", nullptr},
        {"junk.ac3", "-c copy -f ac3 - | (yes junk | head -c 4000; cat) >", nullptr},
    };
    for (const auto& input : inputs) {
        const std::string path = dir.File(input.name), output = path + ".wav";
        ASSERT_TRUE(Ffmpeg("-i " + Quote(ac3) + " " + input.ffmpegOutput + " " + Quote(path)));
        EXPECT_EQ(ContainerOfFile(path).value_or("none"), input.says ? input.says : "none");
        const CommandResult run = RunCli("--yes --engine wav " + Quote(path) + " " + Quote(output));
        if (!input.says) {
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 3) << run.output;
            EXPECT_GE(ReadWav(output).Frames(), 2u * 48000u) << input.name;
            continue;
        }
        EXPECT_EQ(run.exitCode, 2) << run.output;
        const std::string says = "'" + path + "' is " + input.says +
                                 ": choose GStreamer processing (or --graph) to read it";
        EXPECT_TRUE(Says(run, says, 1));
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

}  // namespace
}  // namespace tavrisk::test

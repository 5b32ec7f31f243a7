// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engines/MonoFilesEngine.h"
#include "engines/WavEngine.h"
#include "sources/WavFileSource.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/io/IoTestSupport.h"
#include "tests/support/BlockFrames.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

namespace fs = std::filesystem;
using test::FakeJobHost;
using test::TempDir;

using test::kBlock;
// Input channels L, C, R, LS, RS, LFE.
constexpr std::array<int16_t, 6> kInputValue = {-32767, 3000, 2000, 4000, 5000, 6000};

class EnginesTest : public ::testing::Test {
  protected:
    std::string WriteInput(std::size_t frames) {
        test::WavLayout layout;
        layout.samples =
            test::MakeFrames(frames, 6, [](std::size_t, int k) { return kInputValue[k]; });
        const std::string path = dir.File("in.wav");
        test::WriteBytes(path, test::BuildWav(layout));
        return path;
    }
    // Runs a whole native job: source, Init, Run.
    bool RunJob(OutputEngine& engine, const std::string& input, const std::string& output,
                int rate = 48000) {
        JobSettings settings = host.Settings(input, output);
        settings.outputRate = rate;
        engine.SetSource(std::make_unique<WavFileSource>(host, settings));
        return engine.Init(settings) && engine.Run();
    }
    TempDir dir;
    FakeJobHost host;
};

TEST_F(EnginesTest, WavEngineInterleavesInTheStandardOrderUnderItsMask) {
    const std::string out = dir.File("out.wav");
    WavEngine engine(host);
    ASSERT_TRUE(RunJob(engine, WriteInput(kBlock * 2 + 100), out, 44100));
    // Read back in the input's order, as the file's mask says FL FR FC LFE BL BR.
    const test::PcmAudio audio = test::ReadWav(out);
    EXPECT_EQ(audio.channels, 6);
    EXPECT_EQ(audio.rate, 44100);
    ASSERT_EQ(audio.Frames(), kBlock * 3);  // the last 100 frames padded to a block
    for (std::size_t i = 0; i < audio.Frames(); i += 101) {
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(audio.At(i, k), i < kBlock * 2 + 100 ? kInputValue[k] : 0);
        }
    }
    const auto bytes = test::ReadBytes(out);
    EXPECT_EQ(bytes.size(), 68 + kBlock * 3 * 12);  // the 40-byte extensible record
    EXPECT_EQ(GetLe32(bytes.data() + 40), 0x3Fu);
}

TEST_F(EnginesTest, AnInputWithoutSamplesFailsBeforeAnyOutputIsCreated) {
    const std::string out = dir.File("out.wav");
    WavEngine wav(host);
    EXPECT_FALSE(RunJob(wav, WriteInput(0), out));
    EXPECT_FALSE(fs::exists(out));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("holds no samples"), std::string::npos);

    const std::string folder = dir.File("pcm");
    MonoFilesEngine pcm(host, false);
    EXPECT_FALSE(RunJob(pcm, WriteInput(0), folder));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(EnginesTest, MonoFilesHoldOneRowEachAndCreateTheFolder) {
    // Files l, r, c, lfe, ls, rs take the input channels L, R, C, LFE, LS, RS.
    constexpr std::array<int, 6> kInputOfFile = {0, 2, 1, 5, 3, 4};
    for (const bool wavMode : {true, false}) {
        const std::string folder = dir.File(wavMode ? "wav/new" : "pcm/new");
        MonoFilesEngine engine(host, wavMode);
        ASSERT_TRUE(RunJob(engine, WriteInput(kBlock * 3), folder, 44100));
        for (int k = 0; k < 6; ++k) {
            const std::string path = MonoFilesEngine::FilePath(folder, k, wavMode);
            std::vector<int16_t> samples;
            if (wavMode) {
                const test::PcmAudio audio = test::ReadWav(path);
                EXPECT_EQ(audio.channels, 1);
                EXPECT_EQ(audio.rate, 44100);
                samples = audio.samples;
            } else {
                EXPECT_EQ(fs::file_size(path), 3 * 2304u);
                samples = test::ReadRawPcm(path);
            }
            ASSERT_EQ(samples.size(), kBlock * 3) << path;
            for (std::size_t i = 0; i < samples.size(); i += 113) {
                EXPECT_NEAR(samples[i], kInputValue[kInputOfFile[k]], 1) << path;
            }
        }
    }
    EXPECT_TRUE(fs::exists(dir.File("wav/new/stream_lfe.wav")));
    const auto bytes = test::ReadBytes(dir.File("pcm/new/stream_l.pcm"));
    EXPECT_EQ(bytes[0], 0x01);  // -32767
    EXPECT_EQ(bytes[1], 0x80);
}

TEST_F(EnginesTest, ALaterMonoFileThatCannotBeCreatedRemovesTheEarlierOnes) {
    const std::string folder = dir.File("out");
    fs::create_directories(MonoFilesEngine::FilePath(folder, 2, true));  // stream_c.wav
    MonoFilesEngine engine(host, true);
    EXPECT_FALSE(RunJob(engine, WriteInput(kBlock), folder));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Unable to create file:\n" +
                                         MonoFilesEngine::FilePath(folder, 2, true) +
                                         ": Is a directory");
    EXPECT_EQ(host.messages[0].title, "File Creation Error");
    EXPECT_FALSE(fs::exists(MonoFilesEngine::FilePath(folder, 0, true)));
    EXPECT_FALSE(fs::exists(MonoFilesEngine::FilePath(folder, 1, true)));

    // A folder that cannot be made: nothing is left, not even the folders made on the way.
    test::WriteBytes(dir.File("plain"), {1});
    MonoFilesEngine blocked(host, false);
    EXPECT_FALSE(RunJob(blocked, WriteInput(kBlock), dir.File("plain/sub")));
    EXPECT_EQ(host.messages.back().title, "File Creation Error");
}

TEST_F(EnginesTest, ASixChannelFileThatCannotBeCreatedIsReported) {
    WavEngine engine(host);
    const std::string out = dir.File("missing/out.wav");
    EXPECT_FALSE(RunJob(engine, WriteInput(kBlock), out));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Unable to create file:\n" + out + ": No such file or directory");
    EXPECT_EQ(host.messages[0].title, "File Creation Error");
}

TEST_F(EnginesTest, AFailedWriteEndsTheJobAndLeavesValidPartialFilesBesideTheEarlierOnes) {
    const std::string input = WriteInput(kBlock * 40);
    const std::string out = dir.File("out.wav");
    const std::vector<uint8_t> earlier = {7, 7, 7};
    test::WriteBytes(out, earlier);
    {
        test::FileSizeLimit limit(100000);
        WavEngine engine(host);
        EXPECT_FALSE(RunJob(engine, input, out));
        EXPECT_TRUE(engine.Failed());
        ASSERT_EQ(engine.KeptOutputs().size(), 1u);
        EXPECT_TRUE(engine.KeptOutputs()[0].earlierKept);
    }
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Unable to write file:\n" + out);
    EXPECT_EQ(host.messages[0].title, "File I/O Error");
    EXPECT_EQ(test::ReadBytes(out), earlier);
    const std::string partial = dir.File("out.partial.wav");
    const auto bytes = test::ReadBytes(partial);
    const test::PcmAudio audio = test::ReadWav(partial);     // sizes agree with the file
    EXPECT_EQ(68 + audio.samples.size() * 2, bytes.size());  // the extensible header
    EXPECT_EQ(GetLe32(bytes.data() + 4), bytes.size() - 8);
    EXPECT_GT(audio.Frames(), 0u);
    EXPECT_LT(audio.Frames(), kBlock * 40);

    host.messages.clear();
    const std::string folder = dir.File("mono");
    {
        test::FileSizeLimit limit(20000);
        MonoFilesEngine engine(host, true);
        EXPECT_FALSE(RunJob(engine, input, folder));
        EXPECT_EQ(engine.KeptOutputs().size(), 6u);
    }
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "File I/O Error");
    for (int k = 0; k < 6; ++k) {
        const std::string path = MonoFilesEngine::FilePath(folder, k, true);
        EXPECT_FALSE(fs::exists(path)) << "a failed job's file never takes its name";
        const std::string kept = OutputFile::PartialName(path);
        const test::PcmAudio channel = test::ReadWav(kept);
        EXPECT_EQ(46 + channel.samples.size() * 2, fs::file_size(kept)) << kept;
    }
}

TEST_F(EnginesTest, AJobWithoutAWholeBlockLeavesTheEarlierOutputsAndNoTemporary) {
    const std::string input = WriteInput(kBlock * 4);
    const std::vector<uint8_t> earlier = {7, 7, 7};
    const std::string out = dir.File("out.wav");
    test::WriteBytes(out, earlier);
    {
        test::FileSizeLimit limit(10000);  // the header, not the first block
        WavEngine engine(host);
        EXPECT_FALSE(RunJob(engine, input, out));
    }
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Unable to write file:\n" + out);
    EXPECT_EQ(test::ReadBytes(out), earlier);

    const std::string folder = dir.File("mono");
    fs::create_directory(folder);
    for (int k = 0; k < 6; ++k)
        test::WriteBytes(MonoFilesEngine::FilePath(folder, k, false), earlier);
    {
        test::FileSizeLimit limit(1000);
        MonoFilesEngine engine(host, false);
        EXPECT_FALSE(RunJob(engine, input, folder));
    }
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(test::ReadBytes(MonoFilesEngine::FilePath(folder, k, false)), earlier) << k;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 6);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 3) << "in, out, mono";

    // An engine dropped before it finished leaves nothing of its own.
    {
        MonoFilesEngine dropped(host, true);
        dropped.SetSource(std::make_unique<WavFileSource>(host, host.Settings()));
        ASSERT_TRUE(dropped.Init(host.Settings(input, folder)));
        ASSERT_TRUE(dropped.FetchBlock());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 6);
}

}  // namespace
}  // namespace tavrisk

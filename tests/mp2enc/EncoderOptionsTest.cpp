// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "engines/EncoderOptions.h"
#include "engines/Mp2Engine.h"

namespace tavrisk::mp2 {
namespace {

struct Parsed {
    EncoderOptions options;
    bool ok = false;
    std::string messages;
};

Parsed Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    Parsed p;
    EncoderLog log;
    p.ok = ParseOptions(static_cast<int>(args.size()), args.data(), p.options, log);
    for (const EncoderMessage& message : log.Take()) p.messages += message.text;
    return p;
}

TEST(EncoderOptions, TheJobsArgumentVector) {
    const auto p = Parse({"-r", "44.100", "-b", "256", "-B", "256", "-m", "s", "-n", "d", "-o",
                          "-L", "in.wav", "out.mp2"});
    ASSERT_TRUE(p.ok) << p.messages;
    EXPECT_EQ(p.options.samplingFrequency, 0);
    EXPECT_EQ(p.options.totalBitrate, 256);
    EXPECT_EQ(p.options.compatibleBitrate, 256);
    EXPECT_EQ(p.options.nAdBytes, 0);
    EXPECT_EQ(p.options.original, 1);
    EXPECT_EQ(p.options.lfe, 1);
    EXPECT_EQ(p.options.inputPath, "in.wav");
    EXPECT_EQ(p.options.outputPath, "out.mp2");
    EXPECT_EQ(p.messages, "");
}

TEST(EncoderOptions, BitrateOrderDecidesWhichWins) {
    auto p = Parse({"-b", "256", "-B", "384", "x"});
    EXPECT_EQ(p.options.compatibleBitrate, 384);
    EXPECT_EQ(p.options.totalBitrate, 256);
    p = Parse({"-B", "384", "-b", "256", "x"});
    EXPECT_EQ(p.options.compatibleBitrate, 256);
    EXPECT_EQ(p.options.totalBitrate, 256);
    p = Parse({"-b", "384", "-B", "256", "x"});
    EXPECT_EQ(p.options.compatibleBitrate, 256);
    EXPECT_EQ(p.options.totalBitrate, 384);
}

TEST(EncoderOptions, LettersShareAWordAndValuesAttach) {
    auto p = Parse({"-eo", "-b320", "-x-1", "-k", "-1", "in"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.errorProtection, 1);
    EXPECT_EQ(p.options.original, 1);
    EXPECT_EQ(p.options.totalBitrate, 320);
    EXPECT_EQ(p.options.dematrixChoice, -1);
    EXPECT_EQ(p.options.tcAllocChoice, -1);
    p = Parse({"-x", "3", "in"});
    EXPECT_EQ(p.options.tcAllocChoice, 0) << "procedure 3 fixes the allocation";
}

TEST(EncoderOptions, ErrorsAreReportedAndParsingGoesOn) {
    auto p =
        Parse({"-m", "x", "-q", "-l", "3", "-d", "z", "-r", "11.025", "-v", "2", "a", "b", "c"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.messages,
              "tavrisk: -m mode must be s/d/j/m not x\n"
              "tavrisk: unrec option q\n"
              "tavrisk: -l layer must be 1 or 2, not 3\n"
              "tavrisk: -d emp must be n/5/c not z\n"
              "SmpFrqIndex: 11025 is not a legal sample rate\n"
              "tavrisk: excess arg c\n");
    EXPECT_EQ(p.options.verbosity, 2);
    EXPECT_FALSE(Parse({"-o"}).ok) << "no input path";
}

// A job's configuration travels in the argument vector: -C with the code, -L for the LFE;
// without -C the stream is the full 5.1.
TEST(EncoderOptions, ChannelConfigurationFromTheJobsArguments) {
    for (const ChannelConfiguration channels : std::initializer_list<ChannelConfiguration>{
             {3, 2, true}, {3, 2, false}, {2, 1, true}, {1, 0, false}}) {
        JobSettings job;
        job.inputName = job.outputName = "x";
        job.streamChannels = channels;
        const std::vector<std::string> arguments = Mp2Engine::Arguments(job);
        std::vector<const char*> argv;
        for (const std::string& argument : arguments) argv.push_back(argument.c_str());
        EncoderOptions options;
        EncoderLog log;
        ASSERT_TRUE(ParseOptions(static_cast<int>(argv.size()), argv.data(), options, log));
        EXPECT_EQ(SettingsFromOptions(options).channels, channels)
            << ChannelConfigurationName(channels);
    }
    EXPECT_EQ(SettingsFromOptions(Parse({"in"}).options).channels, (ChannelConfiguration{}));
}

}  // namespace
}  // namespace tavrisk::mp2

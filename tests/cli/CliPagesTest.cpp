// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "app/model/TranscoderDialog.h"
#include "cli/CliOptionTable.h"
#include "cli/CommandLine.h"
#include "tests/support/RecordingInterface.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

const std::string kPages = TAVRISK_PAGES_DIR;

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
        found.insert(std::regex_replace((*it)[1].str(), std::regex(R"(\\-)"), "-"));
    return found;
}

std::string Read(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The options the program's help prints are those its manual page describes.
TEST(CliPages, HelpAndManualPageListTheSameOptions) {
    const test::CommandResult help = test::RunCommand(test::BinPath("tavrisk-cli") + " --help");
    ASSERT_EQ(help.exitCode, 0) << help.output;
    const std::set<std::string> helped = Matches(help.output, std::regex(R"(\n  (--[a-z-]*))"));
    const std::set<std::string> described =
        Matches(Read(kPages + "/tavrisk-cli.1"), std::regex(R"(\n\.BI? "?((\\-){2}[a-z\\-]*))"));
    EXPECT_EQ(helped.size(), CliOptionTable().size());
    EXPECT_EQ(helped, described);
    EXPECT_NE(Read(kPages + "/tavrisk.1").find(".BR tavrisk\\-cli (1)"), std::string::npos);
}

// The program, its pages and the window's title show the one version of the project.
TEST(CliPages, VersionIsTheProjectsEverywhere) {
    const test::CommandResult run = test::RunCommand(test::BinPath("tavrisk-cli") + " --version");
    EXPECT_EQ(run.output,
              "Tavrisk Transcoder v" TAVRISK_VERSION " (tavrisk-cli " TAVRISK_VERSION ")\n");
    for (const char* page : {"/tavrisk.1", "/tavrisk-cli.1"})
        EXPECT_NE(Read(kPages + page).find("\"tavrisk " TAVRISK_VERSION "\""), std::string::npos)
            << page;
}

// Every value the completion offers is one the program takes.
TEST(CliPages, OfferedValuesAreAccepted) {
    for (const CliOption& option : CliOptionTable()) {
        for (const std::string& choice : option.choices) {
            std::string error;
            // At 44100 Hz out, both input rates are possible.
            const auto parsed = CommandLine::Parse(
                {"in.ac3", "out.mp2", "--rate", "44100", option.name, choice}, error);
            test::RecordingInterface ui;
            TranscoderDialog window(ui);
            EXPECT_TRUE(parsed && CommandLine::Apply(*parsed, window, error))
                << option.name << " " << choice << ": " << error;
        }
    }
}

// What the completion gives after a command line, in a folder of a few files.
TEST(CliPages, CompletionOffersOptionsValuesAndFilesByPlace) {
    const test::TempDir dir;
    for (const char* name :
         {"film.VOB", "film.mkv", "my film.vob", "notes.txt", "out.mp2", "sound.wav"})
        std::ofstream(dir.File(name)).put('x');
    std::filesystem::create_directory(dir.Path() / "sub");
    const struct {
        const char* line;
        const char* offered;
    } cases[] = {
        {"--engine ", "mp2 pcm wav wav-mono"},
        {"--bitrate 3", "320 384"},
        {"--nor", "--normalize --normalize-link"},
        {"", "check decode demo film.VOB film.mkv my film.vob sound.wav sub"},
        {"film.VOB ", "out.mp2 sound.wav sub"},
        {"my\\ film.vob ", "out.mp2 sound.wav sub"},
        {"\"my fi", "my film.vob"},
        {"--rate 44100 film.mkv --engine wav ", "out.mp2 sound.wav sub"},
        {"check ", "out.mp2 sub"},
        {"decode out.mp2 ", "sound.wav sub"},
        {"decode out.mp2 x.wav --s", "--stereo"},
        {"demo ", "sub"},
        {"--batch film.mkv ", "film.VOB film.mkv my film.vob sound.wav sub"},
        {"--curve ", "C= L= LFE= LS= R= RS="},
        {"--curve L=n", "notes.txt"},
        {"--route C=L", "L LFE LS"},
        {"--resync ", ""},
    };
    for (const auto& c : cases) {
        const std::string line = std::string("tavrisk-cli ") + c.line;
        const test::CommandResult run = test::RunCommand(
            "cd " + test::Quote(dir.Path().string()) + " && bash -c " +
            test::Quote("source " + test::Quote(kPages + "/tavrisk-cli") + "; COMP_LINE=" +
                        test::Quote(line) + "; COMP_POINT=${#COMP_LINE}; _tavrisk_cli; " +
                        "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | paste -sd' '"));
        EXPECT_EQ(run.output, std::string(c.offered) + "\n") << line;
    }
}

}  // namespace
}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/OutputFile.h"
#include "platform/SameFile.h"
#include "tests/io/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const std::vector<uint8_t> kEarlier = {7, 7, 7};
const std::vector<uint8_t> kNew = {1, 2, 3, 4, 5};

std::vector<std::string> Names(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t Permissions(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

// Sets the umask for a scope.
class Umask {
  public:
    explicit Umask(mode_t mask) : saved(::umask(mask)) {}
    ~Umask() { ::umask(saved); }

  private:
    mode_t saved;
};

TEST(OutputFile, TheTargetChangesOnlyWhenCommitted) {
    TempDir dir;
    const std::string target = dir.File("out.mp2");
    WriteBytes(target, kEarlier);
    {
        OutputFile file;
        ASSERT_TRUE(file.Create(target));
        ASSERT_TRUE(file.Write(kNew.data(), kNew.size()));
        file.Discard();
        EXPECT_FALSE(file.IsOpen());
        ASSERT_TRUE(file.Create(target));  // a second file, dropped unfinished
        ASSERT_TRUE(file.Write(kNew.data(), kNew.size()));
    }
    EXPECT_EQ(ReadBytes(target), kEarlier);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"out.mp2"});

    OutputFile file;
    ASSERT_TRUE(file.Create(target));
    ASSERT_TRUE(file.Write(kNew.data(), kNew.size()));
    EXPECT_EQ(ReadBytes(target), kEarlier);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"out.mp2"}) << "an unnamed temporary";
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(file.Commit()) << "harmless when closed";
    EXPECT_EQ(ReadBytes(target), kNew);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"out.mp2"});

    // A new name that is never committed does not appear at all.
    ASSERT_TRUE(file.Create(dir.File("new.mp2")));
    file.Discard();
    EXPECT_FALSE(fs::exists(dir.File("new.mp2")));
}

TEST(OutputFile, TheEndOfTheJobChoosesTheNameAndAnEarlierFileOutlivesEveryUnfinishedEnd) {
    const struct {
        OutputEnd end;
        bool earlier, keptAtTarget;  // else as out.partial.mp2
    } cases[] = {{OutputEnd::kComplete, true, true}, {OutputEnd::kComplete, false, true},
                 {OutputEnd::kStopped, true, false}, {OutputEnd::kStopped, false, true},
                 {OutputEnd::kFailed, true, false},  {OutputEnd::kFailed, false, false}};
    for (const auto kind :
         {OutputFile::Temporary::kUnnamedWherePossible, OutputFile::Temporary::kNamed}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.end)) + (c.earlier ? " over" : " new"));
            TempDir dir;
            const std::string target = dir.File("out.mp2"), partial = dir.File("out.partial.mp2");
            if (c.earlier) WriteBytes(target, kEarlier);
            OutputFile file(kind);
            ASSERT_TRUE(file.Create(target) && file.Write(kNew.data(), kNew.size()));
            ASSERT_TRUE(file.Commit(c.end));
            EXPECT_EQ(file.Kept()->earlierKept, c.earlier && !c.keptAtTarget);
            EXPECT_EQ(ReadBytes(c.keptAtTarget ? target : partial), kNew);
            EXPECT_EQ(c.earlier && !c.keptAtTarget ? ReadBytes(target) : kEarlier, kEarlier);
            EXPECT_EQ(Names(dir).size(), c.keptAtTarget || !c.earlier ? 1u : 2u) << "no temporary";
        }
    }
}

TEST(OutputFile, AReplacedFileLeavesNothingBehindAndItsOtherNamesKeepIt) {
    for (const auto end : {OutputEnd::kComplete, OutputEnd::kFailed}) {
        SCOPED_TRACE(static_cast<int>(end));
        TempDir dir;
        const std::string target = dir.File("out.mp2"), partial = dir.File("out.partial.mp2");
        const std::string replaced = end == OutputEnd::kComplete ? target : partial;
        WriteBytes(target, kEarlier);
        WriteBytes(partial, kEarlier);
        ASSERT_EQ(::link(replaced.c_str(), dir.File("other").c_str()), 0);
        OutputFile file;
        ASSERT_TRUE(file.Create(target) && file.Write(kNew.data(), kNew.size()));
        file.Commit(end);
        EXPECT_EQ(ReadBytes(replaced), kNew);
        EXPECT_EQ(ReadBytes(dir.File("other")), kEarlier);
        EXPECT_EQ(Names(dir), (std::vector<std::string>{"other", "out.mp2", "out.partial.mp2"}));
    }
}

TEST(OutputFile, NamedTemporariesGoOnASignalAndWhenTheirProcessIsGone) {
    TempDir dir;
    OutputFile first(OutputFile::Temporary::kNamed), second(OutputFile::Temporary::kNamed);
    ASSERT_TRUE(first.Create(dir.File("a.wav")) && second.Create(dir.File("b.wav")));
    EXPECT_EQ(Names(dir)[0].rfind(".a.wav.part-" + std::to_string(::getpid()) + "-", 0), 0u);
    OutputFile::RemoveTemporaries();  // as a signal handler does
    EXPECT_TRUE(Names(dir).empty());
    // Temporaries of a process that ended go when another output is created in the folder;
    // those of a running process, or named for none, stay.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::vector<std::string> staying = {
        ".f.mp2.part-" + std::to_string(::getpid()) + "-Ab12Cd", ".f.mp2.part-Ab12Cd"};
    for (const std::string& name : staying) WriteBytes(dir.File(name), kEarlier);
    WriteBytes(dir.File(".f.mp2.part-" + std::to_string(gone) + "-Ab12Cd"), kEarlier);
    ASSERT_TRUE(first.Create(dir.File("c.wav")));
    first.Discard();
    EXPECT_EQ(Names(dir), staying);
}

TEST(OutputFile, PermissionsAreThoseOfACreatedFileOrOfTheFileReplaced) {
    TempDir dir;
    const Umask mask(027);
    const std::string created = dir.File("new.pcm");
    OutputFile file;
    ASSERT_TRUE(file.Create(created));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Permissions(created), 0640u) << "0666 less the umask, not a temporary's 0600";

    const std::string replaced = dir.File("old.pcm");
    WriteBytes(replaced, kEarlier);
    ::chmod(replaced.c_str(), 0604);
    ASSERT_TRUE(file.Create(replaced));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Permissions(replaced), 0604u);

    if (::geteuid() == 0) {
        std::printf("running as root: a read-only file can be written, not checked\n");
        return;
    }
    ::chmod(replaced.c_str(), 0444);
    EXPECT_FALSE(file.Create(replaced)) << "a file that may not be written is not replaced";
    EXPECT_EQ(ReadBytes(replaced), std::vector<uint8_t>{});
}

TEST(OutputFile, ALinkKeepsLeadingToTheReplacedFile) {
    TempDir dir;
    const std::string real = dir.File("real.wav");
    WriteBytes(real, kEarlier);
    fs::create_directory(dir.File("links"));
    const std::string link = dir.File("links/link.wav");
    fs::create_symlink("../real.wav", link);
    OutputFile file(OutputFile::Temporary::kNamed);
    ASSERT_TRUE(file.Create(link));
    EXPECT_TRUE(fs::equivalent(fs::path(file.WorkingPath()).parent_path(), dir.Path()))
        << "beside the real file";
    ASSERT_TRUE(file.Write(kNew.data(), kNew.size()));
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), kNew);

    // A dangling link is followed too: the file it names is created.
    const std::string dangling = dir.File("dangling.wav");
    fs::create_symlink("made.wav", dangling);
    ASSERT_TRUE(file.Create(dangling));
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_TRUE(fs::is_regular_file(dir.File("made.wav")));
}

TEST(OutputFile, DevicesAreWrittenInPlaceAndFoldersRefused) {
    TempDir dir;
    OutputFile file;
    ASSERT_TRUE(file.Create("/dev/null"));
    EXPECT_EQ(file.WorkingPath(), "/dev/null");
    EXPECT_TRUE(file.Write(kNew.data(), kNew.size()));
    EXPECT_TRUE(file.Commit());
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    ASSERT_TRUE(file.Create("/dev/full"));
    EXPECT_FALSE(file.Write(kNew.data(), kNew.size()));
    EXPECT_FALSE(file.Commit()) << "the failed write is told";
    file.Discard();
    EXPECT_TRUE(fs::is_character_file("/dev/full"));

    EXPECT_FALSE(file.Create(dir.Path().string()));
    EXPECT_FALSE(file.Create(dir.File("sub/")));
    EXPECT_FALSE(file.Create(dir.File("missing/out.wav")));
    EXPECT_TRUE(Names(dir).empty());
}

TEST(OutputFile, ALongNameStillGetsItsTemporary) {
    TempDir dir;
    const std::string target = dir.File(std::string(250, 'n') + ".wav");
    OutputFile file;
    ASSERT_TRUE(file.Create(target));
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(fs::exists(target));
}

TEST(OutputFile, AFailedWriteIsToldAndWhatWasWrittenIsKept) {
    TempDir dir;
    const std::string target = dir.File("limited.bin");
    const std::vector<uint8_t> block(3000, 'x');
    OutputFile file;
    {
        test::FileSizeLimit limit(4000);
        ASSERT_TRUE(file.Create(target));
        EXPECT_TRUE(file.Write(block.data(), block.size()));
        EXPECT_FALSE(file.Write(block.data(), block.size()));
        EXPECT_EQ(file.Size(), 4000u) << "a short write leaves what it wrote";
        EXPECT_TRUE(file.Truncate(3000));
    }
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(fs::exists(target)) << "a failed output never takes the target's name";
    EXPECT_EQ(ReadBytes(dir.File("limited.partial.bin")), block);
}

TEST(SameFile, EverySpellingOfOneFileAndNoOther) {
    TempDir dir;
    const std::string path = dir.File("in.wav");
    WriteBytes(path, kEarlier);
    fs::create_directory(dir.File("sub"));
    fs::create_symlink(path, dir.File("link.wav"));
    fs::create_hard_link(path, dir.File("hard.wav"));
    for (const std::string& name :
         {path, dir.File("./in.wav"), dir.File("sub/../in.wav"), dir.File("link.wav"),
          dir.File("hard.wav"), dir.File("sub/.//../link.wav")}) {
        EXPECT_TRUE(IsSameFile(path, name)) << name;
    }
    WriteBytes(dir.File("copy.wav"), kEarlier);
    EXPECT_FALSE(IsSameFile(path, dir.File("copy.wav")));
    EXPECT_FALSE(IsSameFile(path, dir.File("missing.wav")));
    EXPECT_FALSE(IsSameFile(dir.File("missing.wav"), dir.File("missing.wav")));
}

}  // namespace
}  // namespace tavrisk

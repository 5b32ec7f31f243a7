#include <gtest/gtest.h>
#include <sys/stat.h>
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
    // The work goes to a hidden file beside the target.
    EXPECT_EQ(fs::path(file.WorkingPath()).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(file.WorkingPath()).filename().string().rfind(".out.mp2.part-", 0), 0u);
    EXPECT_EQ(ReadBytes(file.WorkingPath()), kNew);
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(file.Commit()) << "harmless when closed";
    EXPECT_EQ(ReadBytes(target), kNew);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"out.mp2"});

    // A new name that is never committed does not appear at all.
    ASSERT_TRUE(file.Create(dir.File("new.mp2")));
    file.Discard();
    EXPECT_FALSE(fs::exists(dir.File("new.mp2")));
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
    OutputFile file;
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
    EXPECT_EQ(ReadBytes(target), block);
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/model/TranscoderApp.h"
#include "platform/IniFile.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

namespace fs = std::filesystem;

// Points the per-user folders into a temporary folder for one test.
class TranscoderAppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedConfig = Get("XDG_CONFIG_HOME");
        savedAppPath = Get(TranscoderApp::kAppPathVariable);
        setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        unsetenv(TranscoderApp::kAppPathVariable);
    }
    void TearDown() override {
        Restore("XDG_CONFIG_HOME", savedConfig);
        Restore(TranscoderApp::kAppPathVariable, savedAppPath);
    }
    static std::optional<std::string> Get(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }

    test::TempDir dir;
    std::optional<std::string> savedConfig, savedAppPath;
};

TEST_F(TranscoderAppTest, WithoutAppPathThePerUserFolderIsUsedAndCreated) {
    TranscoderApp app;
    app.InitInstance();
    EXPECT_EQ(app.appPath, dir.File("config") + "/tavrisk");
    EXPECT_EQ(app.iniPath, app.appPath + "/tavrisk.ini");
    EXPECT_TRUE(fs::is_directory(app.filtersPath));
}

TEST_F(TranscoderAppTest, AppPathComesFromTheSettingsFileOrTheEnvironment) {
    IniFile settings(TranscoderApp::SettingsFilePath());
    settings.Set(TranscoderApp::kRegistryKey, TranscoderApp::kAppPathValue, dir.File("prog"));
    ASSERT_TRUE(settings.Save());
    TranscoderApp app;
    app.InitInstance();
    EXPECT_EQ(app.appPath, dir.File("prog"));
    EXPECT_EQ(app.filtersPath, dir.File("prog") + "/filters");
    EXPECT_TRUE(fs::is_directory(app.filtersPath));

    setenv(TranscoderApp::kAppPathVariable, dir.File("env").c_str(), 1);
    TranscoderApp overridden;
    overridden.InitInstance();
    EXPECT_EQ(overridden.iniPath, dir.File("env") + "/tavrisk.ini");
}

TEST_F(TranscoderAppTest, FilterListLivesOnlyWhileTheProgramRuns) {
    TranscoderApp app;
    app.InitInstance();
    test::WriteBytes(app.filterListPath, {'x', '\n'});
    app.ExitInstance();
    EXPECT_FALSE(fs::exists(app.filterListPath));
}

TEST(IniFile, KeepsSectionsAndKeysAcrossSaveAndLoad) {
    test::TempDir dir;
    IniFile ini(dir.File("sub/x.ini"));
    ini.Set("Preset A", "points", "3");
    ini.Set("Preset A", "release", "300");
    ini.Set("Preset B", "points", "2");
    ini.Set("Preset A", "points", "4");
    ASSERT_TRUE(ini.Save());
    IniFile again(dir.File("sub/x.ini"));
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Get("Preset A", "points"), "4");
    EXPECT_EQ(again.Get("Preset B", "missing", "d"), "d");
    EXPECT_EQ(again.Sections(), (std::vector<std::string>{"Preset A", "Preset B"}));
    again.RemoveSection("Preset A");
    EXPECT_EQ(again.Keys("Preset A").size(), 0u);
}

}  // namespace
}  // namespace tavrisk

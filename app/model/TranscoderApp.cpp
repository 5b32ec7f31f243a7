// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/TranscoderApp.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/IniFile.h"

namespace tavrisk {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string TranscoderApp::UserConfigFolder() {
    std::string base = Environment("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = Environment("HOME");
        base = (home.empty() ? std::string(".") : home) + "/.config";
    }
    return base + "/tavrisk";
}

std::string TranscoderApp::SettingsFilePath() {
    return UserConfigFolder() + "/" + kSettingsFileName;
}

void TranscoderApp::InitInstance() {
    appPath = Environment(kAppPathVariable);
    if (appPath.empty()) {
        IniFile settings(SettingsFilePath());
        if (settings.Load()) appPath = settings.Get(kRegistryKey, kAppPathValue);
    }
    std::error_code ec;
    if (appPath.empty()) {
        // Not the current folder: a program started from a desktop menu would litter $HOME.
        appPath = UserConfigFolder();
        std::filesystem::create_directories(appPath, ec);
    }
    iniPath = appPath + "/tavrisk.ini";
    filtersPath = appPath + "/filters";
    filterListPath = appPath + "/FilterList.txt";
    // An existing folder is no error, and a failure is not reported.
    std::filesystem::create_directories(filtersPath, ec);
}

void TranscoderApp::ExitInstance() const {
    std::remove(filterListPath.c_str());
}

}  // namespace tavrisk

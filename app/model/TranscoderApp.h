// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

// Start-up paths: the installation folder and the files derived from it. The folder comes
// from the "APP_PATH" value of the settings file (the registry's place on this system), or
// from the TAVRISK_APP_PATH environment variable, which overrides it; when both are empty it
// is the per-user folder $XDG_CONFIG_HOME/tavrisk (~/.config/tavrisk), created on demand.
class TranscoderApp {
  public:
    static constexpr const char* kRegistryKey =
        "Software/Tavrisk Softwares/Tavrisk Transcoder/2.00.000";
    static constexpr const char* kAppPathValue = "APP_PATH";
    static constexpr const char* kAppPathVariable = "TAVRISK_APP_PATH";
    static constexpr const char* kSettingsFileName = "settings.ini";

    // Reads the installation folder, derives the paths and creates the filters folder.
    void InitInstance();
    // What the application does when its main window has closed: removes the filter list.
    void ExitInstance() const;

    // The per-user configuration folder: $XDG_CONFIG_HOME/tavrisk or ~/.config/tavrisk.
    static std::string UserConfigFolder();
    // The settings file holding the "APP_PATH" value.
    static std::string SettingsFilePath();

    std::string appPath;
    std::string filtersPath;
    std::string iniPath;
    std::string filterListPath;
};

}  // namespace tavrisk

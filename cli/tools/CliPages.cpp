// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the manual pages of tavrisk-cli and tavrisk and the bash completion of tavrisk-cli
// into a folder, from the option table the help prints. Run by the build:
//   tavrisk-cli-pages DATE FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/CompletionScript.h"
#include "cli/ManPage.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file) return true;
    std::fprintf(stderr, "tavrisk-cli-pages: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: tavrisk-cli-pages DATE FOLDER\n");
        return 64;
    }
    const std::string date = argv[1], folder = argv[2];
    const bool written = Write(folder + "/tavrisk-cli.1", tavrisk::CliManPage(date)) &&
                         Write(folder + "/tavrisk.1", tavrisk::WindowManPage(date)) &&
                         Write(folder + "/tavrisk-cli", tavrisk::CliCompletionScript());
    return written ? 0 : 1;
}

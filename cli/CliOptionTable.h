// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace tavrisk {

// The names of the values the options take, shared by the parser and the table.
inline constexpr const char* kCliChannelNames[] = {"L", "R", "C", "LFE", "LS", "RS"};
inline constexpr const char* kCliPriorityNames[] = {"normal", "idle", "high"};
// In the order of ResamplerKind.
inline constexpr const char* kCliResamplerNames[] = {"soxr", "linear"};
inline constexpr int kCliMaxLinkItem = 3;
// The MP2 bitrates in kbit/s of a multichannel stream (those of a single channel are refused).
inline constexpr int kCliBitrates[] = {64, 96, 112, 128, 160, 192, 224, 256, 320, 384};

// What the word after an option is, for the shell's completion.
enum class CliValueKind {
    kNone,           // the option takes no value
    kChoice,         // one of `choices`
    kText,           // free text (a number, a time)
    kChannelNumber,  // "CH=NUMBER"
    kChannelPair,    // "CH=CH"
    kChannelFile,    // "CH=FILE"
    kInputFiles,     // the option is followed by input files
};

// One option of tavrisk-cli as the help, the manual page and the completion show it.
struct CliOption {
    std::string name;   // "--engine"
    std::string value;  // its value in the help ("mp2|pcm|wav", "KBPS"), or ""
    CliValueKind kind = CliValueKind::kNone;
    std::vector<std::string> choices;  // for kChoice
    std::string text;                  // the description, wrapped by the help
};

// The command forms of the synopsis, without the program's name.
const std::vector<std::string>& CliSynopsis();
// What the program does, as the lines of the help between the synopsis and the options.
std::vector<std::string> CliSummary();
// Every option, in the order of the help.
const std::vector<CliOption>& CliOptionTable();
// The channel names, as options take them before "=".
std::vector<std::string> CliChannelNames();
// The words, each followed by `suffix`, with `separator` between them.
std::string CliJoined(const std::vector<std::string>& words, const std::string& separator,
                      const std::string& suffix = "");
// The extensions (lower case, without the dot) of the inputs INPUT and --batch take, natively
// or through the graph.
const std::vector<std::string>& CliInputExtensions();
// The extensions of the files an output may be named with.
std::vector<std::string> CliOutputExtensions();

}  // namespace tavrisk

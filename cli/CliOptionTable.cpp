// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOptionTable.h"

#include "app/InputKinds.h"
#include "app/OutputEngines.h"

namespace tavrisk {

namespace {

template <typename Names>
std::vector<std::string> Words(const Names& names) {
    std::vector<std::string> words;
    for (const auto& name : names) words.emplace_back(std::string(name));
    return words;
}

std::vector<std::string> LinkItems() {
    std::vector<std::string> items;
    for (int item = 0; item <= kCliMaxLinkItem; ++item) items.push_back(std::to_string(item));
    return items;
}

std::vector<std::string> BitrateNames() {
    std::vector<std::string> names;
    for (const int kbps : kCliBitrates) names.push_back(std::to_string(kbps));
    return names;
}

// "a, b, c or d".
std::string Enumeration(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
        text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return text;
}

CliOption Flag(const char* name, std::string text) {
    return {name, "", CliValueKind::kNone, {}, std::move(text)};
}

CliOption Valued(const char* name, const char* value, CliValueKind kind, std::string text) {
    return {name, value, kind, {}, std::move(text)};
}

CliOption Choice(const char* name, const std::vector<std::string>& choices, std::string text) {
    return {name, CliJoined(choices, "|"), CliValueKind::kChoice, choices, std::move(text)};
}

CliOption EngineOption() {
    std::vector<std::string> names, folderNames;
    for (const OutputEngineKind& engine : OutputEngineKinds()) {
        names.emplace_back(engine.cliName);
        if (engine.writesFolder) folderNames.emplace_back(engine.cliName);
    }
    const std::string folderEngines = CliJoined(folderNames, " and ");
    return Choice("--engine", names,
                  "output engine (default " + names.front() + "); " + folderEngines +
                      " write six mono files into the folder OUTPUT");
}

std::vector<CliOption> MakeOptions() {
    const std::vector<std::string> rates = {"44100", "48000"};
    std::vector<std::string> bitrates = BitrateNames();
    CliOption bitrate =
        Choice("--bitrate", bitrates,
               "MP2 bitrate: " + Enumeration(bitrates) + " (default " + bitrates.back() + ")");
    bitrate.value = "KBPS";
    return {
        EngineOption(),
        Choice("--rate", rates, "output sample rate (default 48000)"),
        Choice("--input-rate", rates, "input sample rate (default: the input file's)"),
        Choice("--resampler", Words(kCliResamplerNames),
               "rate conversion: band-limited by libsoxr (default) or, 48000 -> 44100 Hz only, "
               "linear interpolation"),
        Choice("--wav-order", {"standard", "film"},
               "six-channel WAV output: FL FR FC LFE BL BR with its channel mask (default), or "
               "L C R LS RS LFE without a mask (also [OUTPUT] WAV_ORDER in tavrisk.ini)"),
        bitrate,
        Valued("--threads", "N", CliValueKind::kText,
               "threads the MP2 encoder codes frames on (default: the cores the process may "
               "use); 1 codes them one after the other"),
        Valued("--channels", "F/S[.1]", CliValueKind::kText,
               "channels of the MP2 stream: front/surround, .1 with LFE (default 3/2.1; 3/2, "
               "3/1, 3/0, 2/2, 2/1 with or without .1, 2/0, 1/0); the six channels are folded "
               "into them as a downmix would"),
        Flag("--graph",
             "read the input through a GStreamer graph (VOB, MKV, MP4, DTS, E-AC-3, AAC, FLAC, "
             "...; any layout and rate)"),
        Valued("--stream", "N", CliValueKind::kText,
               "the input's audio track N (see --list-streams); default: the first with the most "
               "channels up to 5.1; implies --graph"),
        Flag("--list-streams", "lists the input's audio tracks, one a line"),
        Valued("--programme", "N", CliValueKind::kText,
               "decode: 1 writes the stream's main programme (default), 2 the second stereo "
               "programme a stream may carry in place of its surrounds, as a stereo WAV"),
        Valued("--normalize", "[peak|loudness[:LUFS]]", CliValueKind::kText,
               "two-pass normalisation: to the gain sliders (peak, the default), or of the "
               "mix's loudness (EBU R 128) to LUFS (default -23), one gain for all channels"),
        Valued("--true-peak", "DBTP", CliValueKind::kText,
               "true-peak ceiling of loudness normalisation (default -1): the gain stops short "
               "of it"),
        Valued("--report", "FILE.json", CliValueKind::kText,
               "write the input's and output's loudness as JSON"),
        Flag("--no-loudness", "do not measure the job's loudness (faster)"),
        Choice("--normalize-link", LinkItems(), "normalisation link groups (default 0)"),
        Valued("--gain", "CH=POS", CliValueKind::kChannelNumber,
               "normalisation target 0..100 of channel CH (" + CliJoined(CliChannelNames(), " ") +
                   "; 0 mutes it); takes effect with --normalize"),
        Valued("--route", "CH=CH", CliValueKind::kChannelPair,
               "output channel fed by an input channel"),
        Flag("--drp", "dynamic range processing along the curves"),
        Choice("--drp-link", LinkItems(), "DRP link groups (default 1)"),
        Valued("--curve", "CH=FILE", CliValueKind::kChannelFile,
               "curve of CH: one \"in out\" pair in dB a line"),
        Valued("--release", "CH=MS", CliValueKind::kChannelNumber,
               "release time of CH's curve (default 300)"),
        Valued("--resync", "[+|-]H:M:S.MS", CliValueKind::kText,
               "+ inserts silence, - skips input"),
        Choice("--priority", Words(kCliPriorityNames), "process priority"),
        Valued("--settings", "FILE", CliValueKind::kText,
               "start from the window's settings saved in FILE "
               "(~/.config/tavrisk/tavrisk.ini); the options given override them"),
        Flag("--yes", "answer OK to the overwrite question"),
        Flag("--verbose", "print the decoders' own messages, each with the input's name"),
        Valued("--batch", "FILE...", CliValueKind::kInputFiles,
               "transcode each FILE to FILE.mp2 (or .wav)"),
        Flag("--", "ends the options: the words after it are files"),
        Flag("--help", "print this help"),
        Flag("--version", "print the program's version"),
    };
}

}  // namespace

const std::vector<std::string>& CliSynopsis() {
    static const std::vector<std::string> synopsis = {
        "INPUT OUTPUT [options]",
        "--batch FILE... [options]",
        "check FILE [--stream N]",
        "decode FILE OUT.wav [--stereo] [--wav-order film] [--stream N] [--programme 2]",
        "info FILE",
        "--list-streams FILE",
        "measure INPUT [--graph] [--route CH=CH] [--report FILE.json]",
        "demo [OUTPUT]",
    };
    return synopsis;
}

std::vector<std::string> CliSummary() {
    return {"Transcodes the six-channel soundtrack of INPUT (" + NativeInputHelpList() + "; with",
            "--graph any soundtrack GStreamer decodes, and a DVD title from its VIDEO_TS",
            "folder or one of its VOB files)."};
}

std::string CliJoined(const std::vector<std::string>& words, const std::string& separator,
                      const std::string& suffix) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : separator) + word + suffix;
    return text;
}

std::vector<std::string> CliChannelNames() {
    return Words(kCliChannelNames);
}

const std::vector<CliOption>& CliOptionTable() {
    static const std::vector<CliOption> options = MakeOptions();
    return options;
}

const std::vector<std::string>& CliInputExtensions() {
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> all;
        for (const InputKind& kind : NativeInputKinds()) all.emplace_back(kind.extension);
        // What the graph reads besides: DVD and transport streams, Matroska, MP4, and raw
        // film soundtracks.
        for (const char* extension : {"vob", "mpg", "mpeg", "ts", "m2ts", "mkv", "mka", "mp4",
                                      "m4a", "mov", "dts", "eac3", "ec3", "aac", "flac"})
            all.emplace_back(extension);
        return all;
    }();
    return extensions;
}

std::vector<std::string> CliOutputExtensions() {
    std::vector<std::string> extensions;
    for (const OutputEngineKind& engine : OutputEngineKinds()) {
        const std::string extension = engine.extension;
        if (!extension.empty()) extensions.push_back(extension.substr(1));
    }
    return extensions;
}

}  // namespace tavrisk

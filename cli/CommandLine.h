// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dsp/ChannelConfiguration.h"
#include "dsp/LoudnessTarget.h"
#include "dsp/Resampler.h"
#include "platform/WavChannelOrder.h"

namespace tavrisk {

class TranscoderDialog;

// Options of `tavrisk-cli INPUT OUTPUT [options]`, as a user would set them in the window.
struct CliOptions {
    std::string input;
    std::string output;
    int engineItem = 0;
    std::optional<int> outputRate;
    std::optional<int> inputRate;
    ResamplerKind resampler = ResamplerKind::kSoxr;
    std::optional<WavChannelOrder> wavOrder;  // unset: the settings file's
    std::optional<int> bitrate;
    std::optional<int> threads;  // --threads N: the MP2 encoder's
    std::optional<ChannelConfiguration> channels;  // --channels F/S[.1]
    bool normalize = false;
    // --normalize peak|loudness[:LUFS]: the kind, and the loudness target.
    std::optional<NormalizeKind> normalizeKind;
    std::optional<double> loudnessTarget;
    std::optional<double> truePeak;     // --true-peak DBTP: the ceiling
    std::optional<std::string> report;  // --report FILE.json
    bool measure = false;               // `measure FILE`: nothing is written
    bool noLoudness = false;            // --no-loudness: the job's loudness is not measured
    bool graph = false;  // filter-graph processing (GStreamer) instead of the native readers
    std::optional<int> stream;  // the input's audio track read by the graph, from 1
    bool listStreams = false;   // list the input's audio tracks instead of transcoding
    std::optional<int> normalizeLink;
    std::vector<std::pair<int, int>> gains;   // column, slider position
    std::vector<std::pair<int, int>> routes;  // column, input column
    bool drp = false;
    std::optional<int> drpLink;
    std::vector<std::pair<int, std::string>> curves;  // column, file of "in out" dB pairs
    std::vector<std::pair<int, int>> releases;        // column, ms
    std::optional<std::string> resync;                // [+|-]H:M:S.MS
    std::optional<int> priorityItem;
    bool yes = false;
    bool verbose = false;  // the libraries' messages are printed, not only counted
    bool batch = false;
    std::vector<std::string> batchFiles;
    bool help = false;
    bool version = false;
    // The window's settings file to start from ("" for none); the options given override it.
    std::string settingsFile;
    // The options given, by name ("--engine").
    std::set<std::string> given;

    bool Given(const char* option) const { return given.count(option) != 0; }
};

class CommandLine {
  public:
    // The help: the commands, then every option (the engines and inputs from their tables).
    static std::string Usage();

    // Parses the words after the program name; nullopt with `error` set on a bad option.
    // With `measure`, the words are those after `measure`: one INPUT and options.
    static std::optional<CliOptions> Parse(const std::vector<std::string>& args, std::string& error,
                                           bool measure = false);
    // Sets the model as a user would: input, engine, output, then the options.
    static bool Apply(const CliOptions& options, TranscoderDialog& window, std::string& error);
    // What the options set that will not do what a user may think.
    static std::vector<std::string> Warnings(const CliOptions& options);
    // Reads a curve file of "in out" pairs in dB: a regular file of at most kMaxCurveBytes
    // with at most kMaxCurvePoints pairs.
    static bool ReadCurveFile(const std::string& path, std::vector<float>& in,
                              std::vector<float>& out, std::string& error);
    static constexpr std::size_t kMaxCurveBytes = 64 * 1024;
    static constexpr std::size_t kMaxCurvePoints = 256;
};

}  // namespace tavrisk

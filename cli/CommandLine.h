#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

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
    bool normalize = false;
    bool graph = false;  // filter-graph processing (GStreamer) instead of the native readers
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
};

class CommandLine {
  public:
    static constexpr const char* kUsage =
        "Usage: tavrisk-cli INPUT OUTPUT [options]\n"
        "       tavrisk-cli --batch FILE... [options]\n"
        "       tavrisk-cli check FILE.mp2\n"
        "       tavrisk-cli decode FILE.mp2 OUT.wav [--stereo] [--wav-order film]\n"
        "       tavrisk-cli demo [OUTPUT]\n"
        "\n"
        "Transcodes the six-channel soundtrack of INPUT (.ac3, .avi, six-channel .wav; with\n"
        "--graph any 5.1 soundtrack GStreamer decodes).\n"
        "Options:\n"
        "  --engine mp2|pcm|wav|wav-mono  output engine (default mp2); pcm and wav-mono write\n"
        "                                 six mono files into the folder OUTPUT\n"
        "  --rate 44100|48000             output sample rate (default 48000)\n"
        "  --input-rate 44100|48000       input sample rate (default: the input file's)\n"
        "  --resampler soxr|linear        48000 -> 44100 Hz conversion: band-limited by\n"
        "                                 libsoxr (default) or linear interpolation\n"
        "  --wav-order standard|film      six-channel WAV output: FL FR FC LFE BL BR with its\n"
        "                                 channel mask (default), or L C R LS RS LFE without\n"
        "                                 a mask (also [OUTPUT] WAV_ORDER in tavrisk.ini)\n"
        "  --bitrate KBPS                 MP2 bitrate: 64, 96, 112, 128, 160, 192, 224, 256,\n"
        "                                 320 or 384 (default 384)\n"
        "  --graph                        read the input through a GStreamer graph (VOB, MKV,\n"
        "                                 MP4, DTS, E-AC-3, AAC, FLAC, ...; 5.1 audio)\n"
        "  --normalize                    two-pass normalisation to the gain sliders\n"
        "  --normalize-link 0..3          normalisation link groups (default 0)\n"
        "  --gain CH=POS                  normalisation target 0..100 of channel CH (L R C\n"
        "                                 LFE LS RS; 0 mutes it); takes effect with --normalize\n"
        "  --route CH=CH                  output channel fed by an input channel\n"
        "  --drp                          dynamic range processing along the curves\n"
        "  --drp-link 0..3                DRP link groups (default 1)\n"
        "  --curve CH=FILE                curve of CH: one \"in out\" pair in dB a line\n"
        "  --release CH=MS                release time of CH's curve (default 300)\n"
        "  --resync [+|-]H:M:S.MS         + inserts silence, - skips input\n"
        "  --priority normal|idle|high    process priority\n"
        "  --yes                          answer OK to the overwrite question\n"
        "  --verbose                      print the decoders' own messages, each with the\n"
        "                                 input's name\n"
        "  --batch FILE...                transcode each FILE to FILE.mp2 (or .wav)\n"
        "  --                             ends the options: the words after it are files\n"
        "  --help, --version\n";

    // Parses the words after the program name; nullopt with `error` set on a bad option.
    static std::optional<CliOptions> Parse(const std::vector<std::string>& args,
                                           std::string& error);
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

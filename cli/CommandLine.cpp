// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/InputKinds.h"
#include "app/model/LoudnessSetting.h"
#include "app/model/TranscoderDialog.h"
#include "app/model/WindowSettings.h"
#include "cli/CliOptionTable.h"
#include "platform/IniFile.h"

namespace tavrisk {

namespace {

bool ParseWhole(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < -1000000000L || parsed > 1000000000L) return false;
    value = static_cast<int>(parsed);
    return true;
}

template <std::size_t N>
int IndexOf(const char* const (&names)[N], const std::string& name) {
    for (std::size_t i = 0; i < N; ++i)
        if (name == names[i]) return static_cast<int>(i);
    return -1;
}

int ChannelOf(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return IndexOf(kCliChannelNames, upper);
}

// "CH=VALUE" into a column and the value text.
bool SplitAssignment(const std::string& text, int& column, std::string& value) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) return false;
    column = ChannelOf(text.substr(0, equals));
    value = text.substr(equals + 1);
    return column >= 0 && !value.empty();
}

bool ParseRate(const std::string& text, int& item) {
    if (text == "44100")
        item = TranscoderDialog::kFreq44100;
    else if (text == "48000")
        item = TranscoderDialog::kFreq48000;
    else
        return false;
    return true;
}

struct ResyncFields {
    bool insert = false;
    int hours = 0, minutes = 0, seconds = 0, millis = 0;
};

// [+|-]H:M:S.MS, the fraction read as decimals of a second (".5" is 500 ms). A field out of
// its range is named in `problem`.
bool ParseResync(const std::string& text, ResyncFields& fields, std::string& problem) {
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) return false;
    fields.insert = text[0] == '+';
    std::string rest = text.substr(1);
    std::string fraction;
    if (const auto dot = rest.find('.'); dot != std::string::npos) {
        fraction = rest.substr(dot + 1);
        rest = rest.substr(0, dot);
        if (fraction.empty() || fraction.size() > 3) return false;
        for (char c : fraction)
            if (c < '0' || c > '9') return false;
        while (fraction.size() < 3) fraction += '0';
    }
    std::vector<std::string> parts;
    std::stringstream stream(rest);
    std::string part;
    while (std::getline(stream, part, ':')) parts.push_back(part);
    if (parts.size() != 3) return false;
    int* const values[] = {&fields.hours, &fields.minutes, &fields.seconds};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const IntegerField& field = TranscoderDialog::kResyncFields[i];
        const std::optional<int> value = field.Read(parts[i]);
        if (!value) {
            problem = field.Refusal();
            return false;
        }
        *values[i] = *value;
    }
    fields.millis = fraction.empty() ? 0 : std::atoi(fraction.c_str());
    return true;
}

// "peak", "loudness" or "loudness:LUFS", the word after --normalize.
bool IsNormalizeKind(const std::string& text) {
    return text == "peak" || text == "loudness" || text.rfind("loudness:", 0) == 0;
}

bool ParseNormalizeKind(const std::string& text, CliOptions& options) {
    if (text == "peak") {
        options.normalizeKind = NormalizeKind::kPeak;
        return true;
    }
    options.normalizeKind = NormalizeKind::kLoudness;
    if (text == "loudness") return true;
    double target = 0.0;
    if (!LoudnessSetting::ParseLevel(text.substr(text.find(':') + 1),
                                     LoudnessNormalization::kLowestTargetLufs,
                                     LoudnessNormalization::kHighestTargetLufs, target))
        return false;
    options.loudnessTarget = target;
    return true;
}

// Column of the options' descriptions in the help, and the width it wraps them to.
constexpr std::size_t kHelpColumn = 33;
constexpr std::size_t kHelpWidth = 80;

std::string HelpOption(const std::string& option, const std::string& text) {
    std::string line = "  " + option;
    line.append(line.size() < kHelpColumn ? kHelpColumn - line.size() : 1, ' ');
    return line + text + "\n";
}

// The description's words in lines that end before kHelpWidth, the first after the option.
std::string HelpEntry(const CliOption& option) {
    std::string head = option.name + (option.value.empty() ? "" : " " + option.value);
    std::string entry, line;
    std::istringstream words(option.text);
    for (std::string word; words >> word;) {
        if (!line.empty() && kHelpColumn + line.size() + 1 + word.size() > kHelpWidth) {
            entry += HelpOption(head, line);
            head.clear();
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return entry + HelpOption(head, line);
}

}  // namespace

std::string CommandLine::Usage() {
    std::string text;
    for (const std::string& form : CliSynopsis())
        text += (text.empty() ? "Usage: " : "       ") + std::string("tavrisk-cli ") + form + "\n";
    text += "\n";
    for (const std::string& line : CliSummary()) text += line + "\n";
    text += "Options:\n";
    for (const CliOption& option : CliOptionTable()) text += HelpEntry(option);
    return text;
}

std::optional<CliOptions> CommandLine::Parse(const std::vector<std::string>& args,
                                             std::string& error, bool measure) {
    CliOptions options;
    options.measure = measure;
    std::vector<std::string> positional;
    bool optionsEnded = false;  // after "--" every word is a file name
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded) {
            positional.push_back(arg);
            continue;
        }
        auto next = [&](std::string& value) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto fail = [&](const std::string& value) {
            error = "invalid value '" + value + "' for " + arg;
            return std::nullopt;
        };
        std::string value;
        int number = 0, column = 0;
        if (arg.rfind("--", 0) == 0) options.given.insert(arg);
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--yes" || arg == "-y") {
            options.yes = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--graph") {
            options.graph = true;
        } else if (arg == "--list-streams") {
            options.listStreams = true;
        } else if (arg == "--stream") {
            if (!next(value)) return std::nullopt;
            if (!ParseWhole(value, number) || number < 1) return fail(value);
            options.stream = number;
            options.graph = true;
        } else if (arg == "--normalize") {
            options.normalize = true;
            if (i + 1 < args.size() && IsNormalizeKind(args[i + 1])) {
                value = args[++i];
                if (!ParseNormalizeKind(value, options)) return fail(value);
            }
        } else if (arg == "--true-peak") {
            if (!next(value)) return std::nullopt;
            double ceiling = 0.0;
            if (!LoudnessSetting::ParseLevel(value, LoudnessNormalization::kLowestCeilingDbtp,
                                             LoudnessNormalization::kHighestCeilingDbtp, ceiling))
                return fail(value);
            options.truePeak = ceiling;
        } else if (arg == "--report") {
            if (!next(value)) return std::nullopt;
            if (value.empty()) return fail(value);
            options.report = value;
        } else if (arg == "--no-loudness") {
            options.noLoudness = true;
        } else if (arg == "--drp") {
            options.drp = true;
        } else if (arg == "--batch") {
            options.batch = true;
        } else if (arg == "--engine") {
            if (!next(value)) return std::nullopt;
            options.engineItem = OutputEngineItemNamed(value);
            if (options.engineItem < 0) return fail(value);
        } else if (arg == "--rate" || arg == "--input-rate") {
            if (!next(value)) return std::nullopt;
            if (!ParseRate(value, number)) return fail(value);
            (arg == "--rate" ? options.outputRate : options.inputRate) = number;
        } else if (arg == "--resampler") {
            if (!next(value)) return std::nullopt;
            const int kind = IndexOf(kCliResamplerNames, value);
            if (kind < 0) return fail(value);
            options.resampler = static_cast<ResamplerKind>(kind);
        } else if (arg == "--wav-order") {
            if (!next(value)) return std::nullopt;
            options.wavOrder = WavChannelOrderNamed(value);
            if (!options.wavOrder) return fail(value);
        } else if (arg == "--channels") {
            if (!next(value)) return std::nullopt;
            options.channels = ParseChannelConfiguration(value);
            if (!options.channels) return fail(value);
        } else if (arg == "--bitrate") {
            if (!next(value)) return std::nullopt;
            if (!ParseWhole(value, number)) return fail(value);
            options.bitrate = number;
        } else if (arg == "--threads") {
            if (!next(value)) return std::nullopt;
            if (!ParseWhole(value, number) || number < 1 ||
                number > TranscoderDialog::kMaxEncoderThreads)
                return fail(value);
            options.threads = number;
        } else if (arg == "--normalize-link" || arg == "--drp-link") {
            if (!next(value)) return std::nullopt;
            if (!ParseWhole(value, number) || number < 0 || number > kCliMaxLinkItem)
                return fail(value);
            (arg == "--drp-link" ? options.drpLink : options.normalizeLink) = number;
        } else if (arg == "--gain" || arg == "--release") {
            if (!next(value)) return std::nullopt;
            std::string amount;
            if (!SplitAssignment(value, column, amount) || !ParseWhole(amount, number))
                return fail(value);
            if (arg == "--gain") {
                if (number < 0 || number > 100) return fail(value);
                options.gains.emplace_back(column, number);
            } else {
                if (number < 0 || number > 60000) return fail(value);
                options.releases.emplace_back(column, number);
            }
        } else if (arg == "--route") {
            if (!next(value)) return std::nullopt;
            std::string from;
            if (!SplitAssignment(value, column, from) || ChannelOf(from) < 0) return fail(value);
            options.routes.emplace_back(column, ChannelOf(from));
        } else if (arg == "--curve") {
            if (!next(value)) return std::nullopt;
            std::string path;
            if (!SplitAssignment(value, column, path)) return fail(value);
            options.curves.emplace_back(column, path);
        } else if (arg == "--resync") {
            if (!next(value)) return std::nullopt;
            ResyncFields fields;
            std::string problem;
            if (!ParseResync(value, fields, problem)) {
                fail(value);
                if (!problem.empty()) error += ": " + problem;
                return std::nullopt;
            }
            options.resync = value;
        } else if (arg == "--settings") {
            if (!next(value)) return std::nullopt;
            options.settingsFile = value;
        } else if (arg == "--priority") {
            if (!next(value)) return std::nullopt;
            options.priorityItem = IndexOf(kCliPriorityNames, value);
            if (*options.priorityItem < 0) return fail(value);
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            positional.push_back(arg);
        }
    }
    if (options.help || options.version) return options;
    if (measure) {
        if (positional.size() != 1 || options.batch) {
            error = "measure expects one INPUT";
            return std::nullopt;
        }
        options.input = positional[0];
        return options;
    }
    if (options.listStreams) {
        if (positional.size() != 1) {
            error = "--list-streams takes one FILE";
            return std::nullopt;
        }
        options.input = positional[0];
        options.graph = true;
        return options;
    }
    if (options.batch) {
        if (positional.empty()) {
            error = "--batch needs at least one file";
            return std::nullopt;
        }
        options.batchFiles = positional;
        return options;
    }
    if (positional.size() != 2) {
        error = "expected INPUT and OUTPUT";
        return std::nullopt;
    }
    options.input = positional[0];
    options.output = positional[1];
    return options;
}

std::vector<std::string> CommandLine::Warnings(const CliOptions& options) {
    std::vector<std::string> warnings;
    if (options.truePeak && options.normalizeKind != NormalizeKind::kLoudness) {
        warnings.push_back(
            "--true-peak limits loudness normalisation: without --normalize loudness it changes "
            "nothing");
    }
    if (!options.gains.empty() && !options.normalize) {
        warnings.push_back(
            "--gain sets normalisation targets: without --normalize it changes nothing");
    }
    return warnings;
}

bool CommandLine::ReadCurveFile(const std::string& path, std::vector<float>& in,
                                std::vector<float>& out, std::string& error) {
    // A device or a pipe as a curve would be read for ever.
    std::error_code status;
    if (!std::filesystem::is_regular_file(path, status)) {
        error = "curve file '" + path + "' is not a regular file";
        return false;
    }
    if (std::filesystem::file_size(path, status) > kMaxCurveBytes) {
        error =
            "curve file '" + path + "' is larger than " + std::to_string(kMaxCurveBytes) + " bytes";
        return false;
    }
    std::ifstream file(path);
    if (!file) {
        error = "cannot open curve file '" + path + "'";
        return false;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
        std::istringstream fields(line);
        float x = 0.0f, y = 0.0f;
        if (!(fields >> x >> y) || x < -100.0f || x > 0.0f || y < -100.0f || y > 0.0f) {
            error = path + ":" + std::to_string(lineNumber) +
                    ": expected \"in out\" levels in dB between -100 and 0";
            return false;
        }
        if (in.size() == kMaxCurvePoints) {
            error = "curve file '" + path + "' has more than " + std::to_string(kMaxCurvePoints) +
                    " points";
            return false;
        }
        in.push_back(x);
        out.push_back(y);
    }
    return true;
}

bool CommandLine::Apply(const CliOptions& options, TranscoderDialog& window, std::string& error) {
    // The input is chosen before graph processing is: the job builds the file's graph, and
    // says once why it cannot, where a choice in graph processing would build it first.
    // The window's settings first; the processing follows --graph, since the graph side is
    // started for it.
    const bool settings = !options.settingsFile.empty();
    if (settings) {
        IniFile file(options.settingsFile);
        if (!file.Load() || !std::filesystem::is_regular_file(options.settingsFile)) {
            error = "cannot read the settings file '" + options.settingsFile + "'";
            return false;
        }
        WindowSettings(options.settingsFile).Restore(window);
    }
    // Without a settings file every option has its default; with one, only those given.
    const auto set = [&options, settings](const char* option) {
        return !settings || options.Given(option);
    };
    window.SelectProcessingType(TranscoderDialog::kProcessingNative);
    if (!options.batch) window.OnInputChosen(options.input);
    if (options.graph) window.SelectProcessingType(TranscoderDialog::kProcessingGraph);
    if (options.stream) window.SelectAudioTrack(*options.stream - 1);
    if (set("--engine")) window.SelectOutputEngine(options.engineItem);
    if (!options.batch) window.SetOutputName(options.output);

    // The input frequency is the input file's own now (when it could be read).
    if (options.outputRate) window.SelectOutputFrequency(*options.outputRate);
    if (options.inputRate) window.SelectInputFrequency(*options.inputRate);
    if (set("--resampler")) window.SetHighQuality(options.resampler == ResamplerKind::kSoxr);
    if (options.wavOrder) window.SetWavOrder(*options.wavOrder);
    if (options.channels) {
        const std::string problem = ChannelConfigurationProblem(*options.channels);
        if (!problem.empty()) {
            error = "--channels " + ChannelConfigurationName(*options.channels) + ": " + problem;
            return false;
        }
        window.SetStreamChannels(*options.channels);
    }
    if (options.bitrate) {
        const int found = TranscoderDialog::BitrateItemOf(*options.bitrate);
        if (found < 0) {
            error = "unsupported bitrate " + std::to_string(*options.bitrate) + " kbit/s";
            return false;
        }
        window.SelectBitrate(found);
    }
    if (options.threads) window.SetEncoderThreads(*options.threads);
    window.SetMeasureOnly(options.measure);
    window.SetMeasureLoudness(!options.noLoudness);
    // A measurement reads the input once, as it is: nothing is normalised.
    if (set("--normalize") || options.measure)
        window.SetNormalize(options.normalize && !options.measure);
    if (set("--normalize"))
        window.SelectNormalizeKind(options.normalizeKind == NormalizeKind::kLoudness
                                       ? LoudnessControlStates::kLoudnessItem
                                       : LoudnessControlStates::kPeakItem);
    if (options.loudnessTarget) window.SetLoudnessTarget(*options.loudnessTarget);
    if (options.truePeak) window.SetTruePeakCeiling(*options.truePeak);
    if (options.normalizeLink) window.SelectNormalizeLink(*options.normalizeLink);
    for (const auto& [column, position] : options.gains) window.OnSliderScroll(column, position);
    for (const auto& [column, from] : options.routes) window.SelectRouting(column, from);
    if (set("--drp")) window.SetDrp(options.drp);
    if (options.drpLink) window.SelectDrpLink(*options.drpLink);
    for (const auto& [column, path] : options.curves) {
        std::vector<float> in, out;
        if (!ReadCurveFile(path, in, out, error)) return false;
        window.SetCurvePoints(column, in, out);
    }
    for (const auto& [column, ms] : options.releases) window.SetReleaseTime(column, ms);
    if (options.resync) {
        ResyncFields fields;
        std::string problem;
        ParseResync(*options.resync, fields, problem);
        window.SelectResyncDirection(fields.insert ? TranscoderDialog::kResyncInsert
                                                   : TranscoderDialog::kResyncSkip);
        const int values[] = {fields.hours, fields.minutes, fields.seconds, fields.millis};
        for (int i = 0; i < TranscoderDialog::kResyncFieldCount; ++i)
            window.SetResyncText(TranscoderDialog::kResyncFieldIds[i], std::to_string(values[i]));
    }
    if (options.priorityItem) window.SelectPriority(*options.priorityItem);
    window.SetBatch(options.batchFiles);
    return true;
}

}  // namespace tavrisk

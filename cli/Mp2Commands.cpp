// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Mp2Commands.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iomanip>

#include "cli/Mp2Input.h"
#include "cli/ProgressLine.h"
#include "cli/WavFileSink.h"
#include "mp2dec/ChannelConfigurations.h"
#include "mp2dec/StreamChecker.h"
#include "mp2dec/StreamDecoder.h"
#include "platform/SameFile.h"
#include "platform/UsableCores.h"

namespace tavrisk {

namespace {

using mp2dec::ProblemLog;
using mp2dec::StreamChecker;
using mp2dec::StreamDecoder;

constexpr const char* kStereoOption = "--stereo";
constexpr const char* kYesOption = "--yes";
constexpr const char* kWavOrderOption = "--wav-order";
constexpr const char* kStreamOption = "--stream";
constexpr const char* kProgrammeOption = "--programme";
constexpr const char* kCheckUsage = "usage: tavrisk-cli check FILE [--stream N]\n";
constexpr const char* kInfoUsage = "usage: tavrisk-cli info FILE\n";
constexpr const char* kDecodeUsage =
    "usage: tavrisk-cli decode FILE OUT.wav [--stereo] [--wav-order standard|film] "
    "[--stream N] [--programme 1|2] [--yes]\n";

// The value of --stream at args[i + 1] (i moves past it); false when it is not a stream
// number.
bool TakeStreamIndex(const std::vector<std::string>& args, std::size_t& i,
                     std::optional<int>& index) {
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[++i];
    if (value.empty() || value.size() > 4 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    index = std::stoi(value);
    return true;
}

// Delays the samples by silence that puts them at their stream's start on the container's
// timeline.
class TimelineSink : public mp2dec::SampleSink {
  public:
    TimelineSink(mp2dec::SampleSink& sink, double startSeconds)
        : sink(sink), startSeconds(startSeconds) {}
    bool Start(int channels, int sampleRate) override {
        return sink.Start(channels, sampleRate) && WriteSilence(channels, sampleRate);
    }
    bool Start(const mp2dec::OutputLayout& layout, int sampleRate) override {
        return sink.Start(layout, sampleRate) && WriteSilence(layout.count, sampleRate);
    }
    bool Write(std::span<const int16_t> samples) override { return sink.Write(samples); }
    std::string Name() const override { return sink.Name(); }

  private:
    bool WriteSilence(int channels, int sampleRate) {
        constexpr std::size_t kChunkFrames = 4096;
        const auto frames = static_cast<std::size_t>(std::lround(startSeconds * sampleRate));
        const std::vector<int16_t> silence(kChunkFrames * static_cast<std::size_t>(channels), 0);
        for (std::size_t done = 0; done < frames; done += kChunkFrames) {
            const std::size_t count = std::min(kChunkFrames, frames - done);
            if (!sink.Write({silence.data(), count * static_cast<std::size_t>(channels)}))
                return false;
        }
        return true;
    }

    mp2dec::SampleSink& sink;
    double startSeconds;
};

// "3/2" for a stream with its extension's configuration, "2/0" or "1/0" for plain frames;
// a limited centre and a second stereo programme are named after it.
std::string Configuration(const StreamChecker::Summary& summary) {
    if (summary.withExtension == 0) return summary.firstHeader.Channels() == 1 ? "1/0" : "2/0";
    const mp2dec::ExtensionInfo& e = summary.firstExtension;
    const bool second = mp2dec::CarriesSecondProgramme(e);
    const int front = 2 + (mp2dec::HasCentre(e) ? 1 : 0);
    const int surround = second ? 0 : e.surround;
    std::string text = std::to_string(front) + "/" + std::to_string(surround);
    if (mp2dec::IsLimitedCentre(e)) text += " (centre of limited bandwidth)";
    if (second) text += " and a second stereo programme";
    return text;
}

// The value of --programme at args[i + 1] (i moves past it); false when it is neither 1 nor 2.
bool TakeProgramme(const std::vector<std::string>& args, std::size_t& i,
                   StreamDecoder::Programme& programme) {
    if (i + 1 >= args.size() || (args[i + 1] != "1" && args[i + 1] != "2")) return false;
    programme =
        args[++i] == "2" ? StreamDecoder::Programme::kSecond : StreamDecoder::Programme::kMain;
    return true;
}

std::string Procedures(unsigned procedures) {
    std::string text;
    for (int p = 0; p < 4; ++p) {
        if ((procedures & (1u << p)) == 0) continue;
        text += (text.empty() ? "" : ", ") + std::to_string(p);
    }
    return text.empty() ? "none" : text;
}

// "extension bit stream 528 kbit/s, 912 kbit/s in all", from the bytes of the extension
// frames over the stream's duration, or "extension bit stream none".
std::string ExtensionBitrate(const StreamChecker::Summary& summary) {
    if (summary.extensionBytes == 0) return "extension bit stream none";
    const double seconds =
        static_cast<double>(summary.samplesPerChannel) / summary.firstHeader.SampleRate();
    const long extension = std::lround(8.0 * summary.extensionBytes / seconds / 1000.0);
    return "extension bit stream " + std::to_string(extension) + " kbit/s, " +
           std::to_string(summary.firstHeader.BitrateKbps() + extension) + " kbit/s in all";
}

void PrintProblems(ProblemLog& log, std::ostream& out) {
    for (const std::string& line : log.TakeNewLines()) out << line << '\n';
}

std::string Counts(const ProblemLog& log) {
    return std::to_string(log.ErrorCount()) + " error(s), " + std::to_string(log.WarningCount()) +
           " warning(s)";
}

}  // namespace

ExitStatus RunCheckCommand(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err, bool showProgress) {
    std::vector<std::string> names;
    std::optional<int> streamIndex;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kStreamOption) {
            if (!TakeStreamIndex(args, i, streamIndex)) {
                err << kCheckUsage;
                return kExitUsage;
            }
        } else {
            names.push_back(args[i]);
        }
    }
    if (names.size() != 1) {
        err << kCheckUsage;
        return kExitUsage;
    }
    const std::string& path = names[0];
    Mp2Input input;
    if (!input.Open(path, streamIndex, err)) return kExitRefused;
    ProgressLine progress(err, "Checking", showProgress);
    ProblemLog log;
    const auto summary = StreamChecker().Check(input.Stream(), log, [&](uint64_t done) {
        progress.Update(input.Done(done), input.Total());
    });
    progress.Finish();
    PrintProblems(log, out);
    out << path;
    if (input.StreamIndex()) out << " stream " << *input.StreamIndex();
    out << ": " << summary.frames << " frame(s), " << summary.withExtension
        << " with multichannel extension, " << summary.damaged << " damaged; " << Counts(log)
        << '\n';
    return log.ErrorCount() == 0 ? kExitDone : kExitFailed;
}

ExitStatus RunInfoCommand(const std::vector<std::string>& args, std::ostream& out,
                          std::ostream& err) {
    if (args.size() != 1) {
        err << kInfoUsage;
        return kExitUsage;
    }
    const std::string& path = args[0];
    std::vector<std::optional<int>> streams;
    for (const ContainerAudio::Track& track : Mp2Input::TracksOf(path))
        streams.emplace_back(track.index);
    if (streams.empty()) streams.emplace_back(std::nullopt);
    bool damaged = false;
    for (const std::optional<int>& index : streams) {
        Mp2Input input;
        if (!input.Open(path, index, err)) return kExitRefused;
        ProblemLog log;
        const auto summary = StreamChecker().Check(input.Stream(), log);
        const int rate = summary.frames > 0 ? summary.firstHeader.SampleRate() : 0;
        out << path;
        if (index) out << " stream " << *index;
        out << ":\n";
        if (summary.frames == 0) {
            out << "  no MPEG audio frames\n";
            damaged = true;
            continue;
        }
        const bool lfe = summary.withExtension > 0 && summary.firstExtension.lfe;
        out << "  configuration " << Configuration(summary) << ", LFE " << (lfe ? "yes" : "no")
            << ", " << rate << " Hz\n";
        out << "  bitrate " << summary.firstHeader.BitrateKbps() << " kbit/s (base frame), "
            << ExtensionBitrate(summary) << '\n';
        out << "  matrix procedure " << Procedures(summary.procedures) << '\n';
        if (summary.multiLingualChannels > 0)
            out << "  multilingual channels " << summary.multiLingualChannels << " (not decoded)\n";
        out << "  duration " << std::fixed << std::setprecision(3)
            << static_cast<double>(summary.samplesPerChannel) / rate << " s";
        if (input.StartSeconds() > 0.0) out << ", starting at " << input.StartSeconds() << " s";
        out.unsetf(std::ios::floatfield);
        out << "; " << summary.frames << " frame(s), " << summary.withExtension
            << " with multichannel extension, " << summary.damaged << " damaged; "
            << Counts(log) << '\n';
        damaged = damaged || log.ErrorCount() > 0;
    }
    return damaged ? kExitFailed : kExitDone;
}

ExitStatus RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err, bool showProgress, WavChannelOrder order) {
    std::vector<std::string> names;
    bool stereo = false;
    auto programme = StreamDecoder::Programme::kMain;
    bool overwrite = false;
    std::optional<int> streamIndex;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == kStreamOption) {
            if (!TakeStreamIndex(args, i, streamIndex)) {
                err << kDecodeUsage;
                return kExitUsage;
            }
        } else if (arg == kProgrammeOption) {
            if (!TakeProgramme(args, i, programme)) {
                err << kDecodeUsage;
                return kExitUsage;
            }
        } else if (arg == kStereoOption) {
            stereo = true;
        } else if (arg == kYesOption) {
            overwrite = true;
        } else if (arg == kWavOrderOption) {
            const auto named = i + 1 < args.size() ? WavChannelOrderNamed(args[++i]) : std::nullopt;
            if (!named) {
                err << "invalid value for " << kWavOrderOption << ": use " << kWavOrderNames << '\n'
                    << kDecodeUsage;
                return kExitUsage;
            }
            order = *named;
        } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
            err << kDecodeUsage;
            return kExitUsage;
        } else {
            names.push_back(arg);
        }
    }
    if (names.size() != 2) {
        err << kDecodeUsage;
        return kExitUsage;
    }
    if (stereo && programme == StreamDecoder::Programme::kSecond) {
        err << kStereoOption << " and " << kProgrammeOption << " 2 exclude each other\n"
            << kDecodeUsage;
        return kExitUsage;
    }
    Mp2Input input;
    if (!input.Open(names[0], streamIndex, err)) return kExitRefused;
    if (IsSameFile(names[0], names[1])) {
        err << "the output " << names[1] << " would overwrite the input\n";
        return kExitRefused;
    }
    std::error_code ec;
    if (std::filesystem::exists(names[1], ec) && !std::filesystem::is_directory(names[1], ec) &&
        !overwrite) {
        err << "the output " << names[1] << " exists: use --yes to overwrite it\n";
        return kExitRefused;
    }
    ProgressLine progress(err, "Decoding", showProgress);
    ProblemLog log;
    StreamDecoder::Summary summary;
    WavFileSink wav(names[1], order);
    TimelineSink timeline(wav, input.StartSeconds());
    bool written = StreamDecoder(stereo, programme, UsableCores())
                       .Decode(input.Stream(), timeline, log, summary, [&](uint64_t done) {
                           progress.Update(input.Done(done), input.Total());
                       });
    if (!wav.Finish()) {
        log.Error(0, "cannot write " + names[1]);
        written = false;
    }
    progress.Finish();
    PrintProblems(log, err);
    if (summary.stereoOnly && summary.channels <= 2)
        err << "warning: no multichannel extension found; the "
            << (summary.channels == 1 ? "mono channel" : "stereo pair") << " is written\n";
    if (summary.frames > 0) {
        out << "Decoded " << summary.frames << " frame(s) to " << names[1] << " ("
            << summary.channels << " channels, " << summary.sampleRate << " Hz)";
        if (summary.muted > 0) out << ", " << summary.muted << " damaged frame(s) muted";
        if (summary.stereoFallbacks > 0)
            out << ", " << summary.stereoFallbacks
                << " frame(s) from the compatible pair alone (extension unusable)";
        out << '\n';
    }
    if (!written || log.ErrorCount() > 0) {
        err << names[0] << ": " << Counts(log) << '\n';
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace tavrisk

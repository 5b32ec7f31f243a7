#include "cli/Mp2Commands.h"

#include <filesystem>
#include <fstream>

#include "cli/ProgressLine.h"
#include "cli/WavFileSink.h"
#include "mp2dec/StreamChecker.h"
#include "mp2dec/StreamDecoder.h"
#include "platform/SameFile.h"

namespace tavrisk {

namespace {

using mp2dec::ProblemLog;
using mp2dec::StreamChecker;
using mp2dec::StreamDecoder;

constexpr const char* kStereoOption = "--stereo";
constexpr const char* kYesOption = "--yes";
constexpr const char* kWavOrderOption = "--wav-order";
constexpr const char* kDecodeUsage =
    "usage: tavrisk-cli decode FILE.mp2 OUT.wav [--stereo] [--wav-order standard|film] [--yes]\n";

uint64_t FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
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
    if (args.size() != 1) {
        err << "usage: tavrisk-cli check FILE.mp2\n";
        return kExitUsage;
    }
    const std::string& path = args[0];
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "cannot open " << path << '\n';
        return kExitRefused;
    }
    ProgressLine progress(err, "Checking", showProgress);
    const uint64_t total = FileSize(path);
    ProblemLog log;
    const auto summary =
        StreamChecker().Check(in, log, [&](uint64_t done) { progress.Update(done, total); });
    progress.Finish();
    PrintProblems(log, out);
    out << path << ": " << summary.frames << " frame(s), " << summary.withExtension
        << " with multichannel extension, " << summary.damaged << " damaged; " << Counts(log)
        << '\n';
    return log.ErrorCount() == 0 ? kExitDone : kExitFailed;
}

ExitStatus RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err, bool showProgress, WavChannelOrder order) {
    std::vector<std::string> names;
    bool stereo = false;
    bool overwrite = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == kStereoOption) {
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
    std::ifstream in(names[0], std::ios::binary);
    if (!in) {
        err << "cannot open " << names[0] << '\n';
        return kExitRefused;
    }
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
    const uint64_t total = FileSize(names[0]);
    ProblemLog log;
    StreamDecoder::Summary summary;
    WavFileSink wav(names[1], order);
    bool written = StreamDecoder(stereo).Decode(
        in, wav, log, summary, [&](uint64_t done) { progress.Update(done, total); });
    if (!wav.Finish()) {
        log.Error(0, "cannot write " + names[1]);
        written = false;
    }
    progress.Finish();
    PrintProblems(log, err);
    if (summary.stereoOnly)
        err << "warning: no multichannel extension found; C, LS, RS and LFE are silent\n";
    if (summary.frames > 0) {
        out << "Decoded " << summary.frames << " frame(s) to " << names[1] << " ("
            << (stereo ? 2 : 6) << " channels, " << summary.sampleRate << " Hz)";
        if (summary.muted > 0) out << ", " << summary.muted << " damaged frame(s) muted";
        out << '\n';
    }
    if (!written || log.ErrorCount() > 0) {
        err << names[0] << ": " << Counts(log) << '\n';
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace tavrisk

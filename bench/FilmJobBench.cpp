// SPDX-License-Identifier: GPL-3.0-or-later
// The film jobs people run, each through tavrisk-cli as a user would and against a peer on
// the same input in the same run: the two run back to back, three times, and the best time
// of each counts. Prints one Markdown table row a job (the README's table) with the load
// average when the job started, and the ratio of the processor times (user and system),
// which a loaded machine changes less than the wall clock. `--busy` keeps one core busy meanwhile
// (a load of about 2 on the 2-core machine); `--only WORD` runs the rows whose work names WORD;
// `--threads N` gives our MP2 jobs the encoder's threads (`--threads 1`: frames one after the
// other, as before the encoder shared them out).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/ac3/Ac3TestInputs.h"
#include "tests/graphjob/FilmInputs.h"
#include "tests/support/TestSupport.h"

namespace {

using tavrisk::bench::RunQuiet;
using tavrisk::test::Quote;

constexpr double kFilmSeconds = 600.0;
constexpr int kMaterialSeconds = 120;
constexpr std::size_t kTitleFiles = 3;

struct FilmJob {
    std::string work;
    std::string peerName;
    std::string ours;  // command lines
    std::string peer;
};

std::string Cli() {
    return Quote(tavrisk::test::BinPath("tavrisk-cli"));
}

// Keeps one core busy until destroyed.
class BusyCore {
  public:
    BusyCore()
        : spinner_([this] {
              volatile unsigned long n = 0;
              while (!stop_.load(std::memory_order_relaxed)) n = n + 1;
          }) {}
    ~BusyCore() {
        stop_ = true;
        spinner_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread spinner_;
};

bool MakeInputs(const tavrisk::test::TempDir& dir) {
    const std::string material = Quote(dir.File("material.wav"));
    // Six channels of tones under a tremolo with pink noise beneath: the allocation changes
    // from frame to frame as in program material.
    return tavrisk::test::MakeFilm(dir.File("film.vob"), tavrisk::test::FilmKind::kVob,
                                   kFilmSeconds) &&
           tavrisk::test::SplitIntoDvdTitle(dir.File("film.vob"), dir.File("dvd"), kTitleFiles)
                   .size() == kTitleFiles &&
           tavrisk::test::MakeAc3(dir.File("film.ac3"),
                                  {.rate = 48000, .seconds = kFilmSeconds, .kbps = 448}) &&
           RunQuiet("sox -n -r 48000 -c 6 -b 16 " + Quote(dir.File("tones.wav")) + " synth " +
                    std::to_string(kMaterialSeconds) +
                    " sine 440 sine 554 sine 659 sine 55 sine 880 sine 1318 vol 0.4 tremolo 0.3 "
                    "60") &&
           RunQuiet("sox -n -r 48000 -c 6 -b 16 " + Quote(dir.File("noise.wav")) + " synth " +
                    std::to_string(kMaterialSeconds) + " pinknoise vol 0.05") &&
           RunQuiet("sox -m " + Quote(dir.File("tones.wav")) + " " + Quote(dir.File("noise.wav")) +
                    " " + material) &&
           // The peer's stereo: L + C/sqrt2 + LS/sqrt2, R + C/sqrt2 + RS/sqrt2 (file order
           // L R C LFE LS RS), scaled to stay below full scale.
           RunQuiet("sox " + material + " " + Quote(dir.File("downmix.wav")) +
                    " remix 1v0.414,3v0.293,5v0.293 2v0.414,3v0.293,6v0.293") &&
           RunQuiet(Cli() + " " + material + " " + Quote(dir.File("decode-in.mp2")) +
                    " --engine mp2 --bitrate 384 --yes");
}

// The title's files as ffmpeg's concat protocol names them: "a|b|c".
std::string TitleParts(const tavrisk::test::TempDir& dir) {
    std::string parts;
    for (std::size_t part = 1; part <= kTitleFiles; ++part) {
        if (part > 1) parts += '|';
        parts += dir.File("dvd/VIDEO_TS/VTS_01_" + std::to_string(part) + ".VOB");
    }
    return parts;
}

std::vector<FilmJob> FilmJobs(const tavrisk::test::TempDir& dir) {
    const std::string vob = Quote(dir.File("film.vob"));
    const std::string ac3 = Quote(dir.File("film.ac3"));
    const std::string material = Quote(dir.File("material.wav"));
    const std::string decodeIn = Quote(dir.File("decode-in.mp2"));
    const std::string ourMp2 = Quote(dir.File("ours.mp2"));
    const std::string peerMp2 = Quote(dir.File("peer.mp2"));
    const std::string ourWav = Quote(dir.File("ours.wav"));
    const std::string peerWav = Quote(dir.File("peer.wav"));
    const std::string ffmpeg = "ffmpeg -v error -y -i ";
    return {
        {"10-minute 5.1 VOB to 384 kbit/s multichannel MP2 through the graph",
         "`ffmpeg -map 0:a -ac 2 -c:a mp2 -b:a 384k` (stereo)",
         Cli() + " --graph " + vob + " " + ourMp2 + " --engine mp2 --bitrate 384 --yes",
         ffmpeg + vob + " -map 0:a -ac 2 -c:a mp2 -b:a 384k " + peerMp2},
        {"10-minute 5.1 AC-3 to 384 kbit/s multichannel MP2, native",
         "`ffmpeg -ac 2 -c:a mp2 -b:a 384k` (stereo)",
         Cli() + " " + ac3 + " " + ourMp2 + " --engine mp2 --bitrate 384 --yes",
         ffmpeg + ac3 + " -ac 2 -c:a mp2 -b:a 384k " + peerMp2},
        {"120 s of six channels to 384 kbit/s multichannel MP2",
         "`twolame -b 384` on the stereo downmix",
         Cli() + " " + material + " " + ourMp2 + " --engine mp2 --bitrate 384 --yes",
         "twolame --quiet -b 384 " + Quote(dir.File("downmix.wav")) + " " + peerMp2},
        {"10-minute VOB to six-channel WAV through the graph", "`ffmpeg -map 0:a -c:a pcm_s16le`",
         Cli() + " --graph " + vob + " " + ourWav + " --engine wav --yes",
         ffmpeg + vob + " -map 0:a -c:a pcm_s16le " + peerWav},
        {"10-minute DVD title of three VOB files to six-channel WAV through the graph",
         "`ffmpeg -i concat:VTS_01_1.VOB\\|… -map 0:a -c:a pcm_s16le`",
         Cli() + " --graph " + Quote(dir.File("dvd")) + " " + ourWav + " --engine wav --yes",
         ffmpeg + Quote("concat:" + TitleParts(dir)) + " -map 0:a -c:a pcm_s16le " + peerWav},
        {"10-minute AC-3 to WAV", "`ffmpeg -i in.ac3 out.wav`",
         Cli() + " " + ac3 + " " + ourWav + " --engine wav --yes", ffmpeg + ac3 + " " + peerWav},
        {"Our decoder, 120 s of 5.1 MP2 to WAV", "ffmpeg decoding its stereo",
         Cli() + " decode " + decodeIn + " " + ourWav + " --yes",
         ffmpeg + decodeIn + " " + peerWav},
    };
}

}  // namespace

int main(int argc, char** argv) {
    bool busy = false;
    std::string only;
    std::string threads;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) threads = argv[++i];
        if (std::strcmp(argv[i], "--busy") == 0) busy = true;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    }
    tavrisk::test::TempDir dir;
    std::fprintf(stderr, "making the inputs with ffmpeg and sox ...\n");
    if (!MakeInputs(dir)) {
        std::fprintf(stderr, "cannot make the inputs (ffmpeg, sox, tavrisk-cli)\n");
        return 1;
    }
    std::unique_ptr<BusyCore> busyCore;
    if (busy) busyCore = std::make_unique<BusyCore>();
    std::printf(
        "| Work | Peer | Ratio | Ours | Peer | Processor time ratio | Load (1 min) |\n"
        "|---|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const FilmJob& job : FilmJobs(dir)) {
        if (!only.empty() && job.work.find(only) == std::string::npos) continue;
        std::string ours = job.ours;
        if (!threads.empty() && ours.find("--engine mp2") != std::string::npos)
            ours += " --threads " + threads;
        const double load = tavrisk::bench::LoadAverage();
        const tavrisk::bench::BestTimes best = tavrisk::bench::BestOfBackToBack(
            [&] { return RunQuiet(ours); }, [&] { return RunQuiet(job.peer); });
        if (!best.Valid()) {
            std::printf("| %s | %s | failed | | | | %.1f |\n", job.work.c_str(),
                        job.peerName.c_str(), load);
            ++failures;
            continue;
        }
        std::printf("| %s | %s | %.2f | %.3f s | %.3f s | %.2f (%.2f s / %.2f s) | %.1f |\n",
                    job.work.c_str(), job.peerName.c_str(), best.ours / best.peer, best.ours,
                    best.peer, best.oursCpu / best.peerCpu, best.oursCpu, best.peerCpu, load);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}

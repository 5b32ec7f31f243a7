// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/graphjob/FilmInputs.h"

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

// ffmpeg's channel names of our channels L, C, R, LS, RS, LFE.
constexpr std::array<const char*, 6> kNames = {"FL", "FC", "FR", "SL", "SR", "LFE"};

}  // namespace

bool MakeFilm(const std::string& path, FilmKind kind, double seconds, int rate) {
    std::vector<const char*> names(kNames.begin(), kNames.end());
    std::vector<double> tones(kFilmTones.begin(), kFilmTones.end());
    std::string layout = "5.1(side)";
    if (kind == FilmKind::kStereoMp3) {
        names = {"FL", "FR"};
        tones = {400.0, 800.0};
        layout = "stereo";
    } else if (kind == FilmKind::kFlac71) {
        names = {"FL", "FC", "FR", "SL", "SR", "LFE", "BL", "BR"};
        tones.push_back(2000.0);
        tones.push_back(2400.0);
        layout = "7.1";
    }
    std::string command = "ffmpeg -v error -y";
    const bool video = kind == FilmKind::kVob;
    const ToneGraph tonesGraph = MakeToneGraph(names, tones, layout, rate, seconds);
    command += tonesGraph.inputs;
    // The picture is the input after the tones.
    if (video) {
        command += " -f lavfi -i testsrc=size=176x144:rate=25:d=";
        command += std::to_string(seconds);
    }
    command += tonesGraph.filter;
    if (video) {
        command += " -map ";
        command += std::to_string(names.size());
        command += ":v -c:v mpeg2video";
    }
    switch (kind) {
        case FilmKind::kVob:
            command += " -c:a ac3 -b:a 448k -f vob";
            break;
        case FilmKind::kDts:
            command += " -c:a dca -strict -2 -b:a 1509k -f dts";
            break;
        case FilmKind::kMkvEac3:
            command += " -c:a eac3 -b:a 640k -f matroska";
            break;
        case FilmKind::kMp4Aac:
            command += " -c:a aac -b:a 384k -f mp4";
            break;
        case FilmKind::kFlac:
            command += " -c:a flac -f flac";
            break;
        case FilmKind::kWav:
            command += " -c:a pcm_s16le -f wav";
            break;
        case FilmKind::kAc3:
            command += " -c:a ac3 -b:a 448k -f ac3";
            break;
        case FilmKind::kStereoMp3:
            command += " -c:a libmp3lame -b:a 192k -f mp3";
            break;
        case FilmKind::kFlac71:
            command += " -c:a flac -f flac";
            break;
    }
    command += ' ';
    command += Quote(path);
    const CommandResult result = RunCommand(command);
    return result.exitCode == 0;
}

std::vector<std::string> SplitIntoDvdTitle(const std::string& program, const std::string& folder,
                                           std::size_t parts) {
    constexpr std::size_t kSectorBytes = 2048;
    const std::vector<uint8_t> bytes = ReadBytes(program);
    const std::size_t share = bytes.size() / parts / kSectorBytes * kSectorBytes;
    std::filesystem::create_directories(folder + "/VIDEO_TS");
    std::vector<std::string> files;
    for (std::size_t part = 0; part < parts; ++part) {
        const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(part * share);
        const auto to = part + 1 == parts ? bytes.end() : from + static_cast<std::ptrdiff_t>(share);
        files.push_back(folder + "/VIDEO_TS/VTS_01_" + std::to_string(part + 1) + ".VOB");
        WriteBytes(files.back(), {from, to});
    }
    return files;
}

}  // namespace tavrisk::test

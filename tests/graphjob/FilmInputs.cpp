// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/graphjob/FilmInputs.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <utility>
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

namespace {

// ffmpeg's channel, its tone, and the slot (L C R LS RS LFE) or slots it lands in.
const PlacedTone kFl{"FL", 400, {0}}, kFr{"FR", 800, {2}}, kFc{"FC", 600, {1}},
    kLfe{"LFE", 60, {5}}, kBl{"BL", 1200, {3}}, kBr{"BR", 1600, {4}}, kSl{"SL", 1200, {3}},
    kSr{"SR", 1600, {4}}, kBackSl{"SL", 2000, {3}}, kBackSr{"SR", 2400, {4}},
    kBc{"BC", 2000, {3, 4}};
const std::vector<PlacedTone> kSide = {kFl, kFc, kFr, kSl, kSr, kLfe};
const std::vector<PlacedTone> kBack = {kFl, kFc, kFr, kBl, kBr, kLfe};

// `seconds` of the tones in `layout` at `rate`, coded by the ffmpeg output options `codec`.
std::function<bool(const std::string&)> Tones(const std::vector<PlacedTone>& tones,
                                              const std::string& layout, const std::string& codec,
                                              double seconds = 1.0, int rate = 48000) {
    return [=](const std::string& path) {
        std::vector<const char*> names;
        std::vector<double> frequencies;
        for (const PlacedTone& tone : tones) {
            names.push_back(tone.channel.c_str());
            frequencies.push_back(tone.frequency);
        }
        const ToneGraph graph = MakeToneGraph(names, frequencies, layout, rate, seconds);
        return Ffmpeg(graph.inputs + graph.filter + " " + codec + " " + Quote(path));
    };
}

std::function<bool(const std::string&)> Kind(FilmKind kind, double seconds, int rate = 48000) {
    return [=](const std::string& path) { return MakeFilm(path, kind, seconds, rate); };
}

FilmCase Film(std::string name, std::function<bool(const std::string&)> make,
              std::vector<PlacedTone> tones, double seconds = 1.0) {
    return {std::move(name), std::move(make), std::move(tones), seconds, ""};
}

FilmCase Layout(const char* layout, std::vector<PlacedTone> tones, const char* told) {
    // FLAC has no 4.0 (it would read its four channels as quad): a WAV with its mask.
    const bool flac = std::string(layout) != "4.0";
    return {layout + std::string(flac ? ".flac" : ".wav"),
            Tones(tones, layout, flac ? "-c:a flac" : "-c:a pcm_s16le"), tones, 1.0, told};
}

}  // namespace

std::string FilmCase::Problems(const PcmAudio& audio) const {
    constexpr int kRate = 48000;
    constexpr double kBlock = 1152.0;
    std::string problems;
    if (audio.rate != kRate) problems += "the rate is " + std::to_string(audio.rate) + "; ";
    if (std::abs(static_cast<double>(audio.Frames()) - seconds * kRate) > kBlock)
        problems += "the length is " + std::to_string(audio.Frames()) + " frames; ";
    return problems + MisplacedTones(audio, tones);
}

std::vector<FilmCase> FilmCatalogue() {
    const std::string mixed =
        "-map 0:a -map 1:a -c:a:0 aac -ac:a:0 2 -c:a:1 copy"
        " -metadata:s:a:0 title=Commentary";
    std::vector<FilmCase> films = {
        Film(
            "commentary.mkv",
            [mixed](const std::string& path) {
                return MakeFilm(path + ".mix.mkv", FilmKind::kMkvEac3, 1.0) &&
                       Ffmpeg("-f lavfi -i sine=f=300:r=44100:d=1 -i " + Quote(path + ".mix.mkv") +
                              " " + mixed + " " + Quote(path));
            },
            // The mix starts 23 ms in, after the commentary's codec delay, and E-AC-3 codes
            // whole frames of 1536: 1.047 s of film.
            kSide, 1.047),
        Film(
            "disc",
            [](const std::string& path) {
                return MakeFilm(path + ".vob", FilmKind::kVob, 2.0) &&
                       SplitIntoDvdTitle(path + ".vob", path, 3).size() == 3;
            },
            kSide, 2.0),
        Layout("7.1", {kFl, kFr, kFc, kLfe, kBl, kBr, kBackSl, kBackSr},
               "7.1 folded to 5.1: back channels into the surrounds at \u2212"
               "3 dB"),
        Layout("5.0", {kFl, kFr, kFc, kBl, kBr}, "5.0 mapped to 5.1: the LFE stays silent"),
        Layout("4.0", {kFl, kFr, kFc, kBc},
               "4.0 mapped to 5.1: the LFE stays silent; the rear centre feeds both surrounds at "
               "\u2212"
               "3 dB"),
        Layout("quad", {kFl, kFr, kBl, kBr}, "quad mapped to 5.1: C and the LFE stay silent"),
        Layout("3.0", {kFl, kFr, kFc}, "3.0 mapped to 5.1: LS, RS and the LFE stay silent"),
        Layout("stereo", {kFl, kFr}, "stereo mapped to 5.1: C, LS, RS and the LFE stay silent"),
        Layout("mono", {kFc}, "mono mapped to 5.1 as C: L, R, LS, RS and the LFE stay silent"),
        Film("deep.flac", Tones(kSide, "5.1(side)", "-c:a flac -sample_fmt s32"), kSide),
        Film("truehd.mkv", Tones(kSide, "5.1(side)", "-c:a truehd -strict -2"), kSide),
        Film("opus.mkv", Tones(kBack, "5.1", "-c:a libopus -b:a 256k"), kBack),
        // Vorbis in MKV keeps its last packet whole: 48704 frames for 1 s, as ffmpeg decodes
        // it too.
        Film("vorbis.mkv", Tones(kSide, "5.1(side)", "-c:a libvorbis"), kSide, 48704.0 / 48000),
        Film("aac.mp4", Kind(FilmKind::kMp4Aac, 1.0), kSide),
    };
    for (const int rate : {44100, 32000, 96000})
        films.push_back(
            Film("film" + std::to_string(rate) + ".flac", Kind(FilmKind::kFlac, 1.0, rate), kSide));
    return films;
}

}  // namespace tavrisk::test

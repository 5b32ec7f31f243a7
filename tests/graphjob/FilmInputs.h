// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace tavrisk::test {

// Tone of each channel of a film input, in the order L, C, R, LS, RS, LFE (the LFE's below
// the codecs' LFE low-pass).
inline constexpr std::array<double, 6> kFilmTones = {400.0, 600.0, 800.0, 1200.0, 1600.0, 60.0};

// The soundtracks a user brings, made by ffmpeg from the six tones (or, for the stereo and
// 7.1 kinds, tones in their own layouts).
enum class FilmKind { kVob, kDts, kMkvEac3, kMp4Aac, kFlac, kWav, kAc3, kStereoMp3, kFlac71 };

struct FilmInput {
    FilmKind kind;
    const char* name;  // file name, with the container's extension
};

// Writes `seconds` of the kind at `rate` to `path`; false when ffmpeg failed.
bool MakeFilm(const std::string& path, FilmKind kind, double seconds, int rate = 48000);

// Splits a program stream (a VOB) into the files VTS_01_1.VOB onwards of a DVD title in
// `folder`/VIDEO_TS, each of whole 2048-byte sectors as on a disc; their names, in order.
std::vector<std::string> SplitIntoDvdTitle(const std::string& program, const std::string& folder,
                                           std::size_t parts);

}  // namespace tavrisk::test

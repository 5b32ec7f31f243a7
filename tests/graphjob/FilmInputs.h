// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

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

}  // namespace tavrisk::test

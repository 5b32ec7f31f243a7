// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

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

// One of the films people have, as every front end must transcode it with default settings:
// each input channel's tone in its slots, the others 40 dB below, the input's length kept.
struct FilmCase {
    std::string name;  // the input's file (or DVD folder) name
    std::function<bool(const std::string& path)> make;
    std::vector<PlacedTone> tones;
    double seconds = 1.0;  // its length, which the output keeps within a frame (1152)
    std::string told;      // the layout's mapping, told once as a warning; "" when none

    // What is wrong with the output of a transcode with default settings, "" when nothing:
    // its rate, its length, and where the tones landed.
    std::string Problems(const PcmAudio& audio) const;
};

// The films of every kind the graph takes: a stereo commentary before a 5.1 film mix in MKV, a
// DVD title split over three VOBs (its folder), 7.1, 5.0, 4.0, quad, 3.0, stereo and mono;
// 5.1 FLAC at 44.1, 32 and 96 kHz and of 24 bits; TrueHD, Opus and Vorbis in MKV, AAC in MP4.
std::vector<FilmCase> FilmCatalogue();

}  // namespace tavrisk::test

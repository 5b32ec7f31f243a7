// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <vector>

namespace tavrisk::test {

// Tone of each channel in the order L, C, R, LS, RS, LFE.
inline constexpr std::array<double, 6> kAc3Tones = {440.0, 660.0, 880.0, 1320.0, 1760.0, 55.0};
inline constexpr int kAc3Channels = 6;

// An AC-3 stream made by ffmpeg with one tone per channel.
struct Ac3Input {
    int rate = 48000;
    double seconds = 1.0;
    std::string layout = "5.1(side)";  // or "stereo", "mono"
    int kbps = 448;
};

// Writes the stream; false when ffmpeg failed.
bool MakeAc3(const std::string& path, const Ac3Input& input = {});
// An AVI with a small video stream and the given audio file as its audio track, copied.
bool MakeAvi(const std::string& path, const std::string& audioPath);
// ffmpeg's own decode without compression, reordered to L, C, R, LS, RS, LFE.
std::vector<float> FfmpegDecode(const std::string& path);

}  // namespace tavrisk::test

namespace tavrisk::test {

// Serves the decoder's read callback from bytes in memory; one stream at a time.
class MemoryStream {
  public:
    static void Load(std::vector<uint8_t> bytes);
    static const char* Read(uint8_t* buffer, int length);
    static void Rewind() { position = 0; }
    static std::size_t Position() { return position; }

  private:
    static inline std::vector<uint8_t> data;
    static inline std::size_t position = 0;
};

}  // namespace tavrisk::test

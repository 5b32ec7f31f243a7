// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrisk::test {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path; }
    std::string File(const std::string& name) const { return (path / name).string(); }

  private:
    std::filesystem::path path;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// Runs a shell command, capturing its output.
CommandResult RunCommand(const std::string& command);
// True when a program is on the PATH.
bool HaveProgram(const std::string& name);
// Quotes a string for the shell.
std::string Quote(const std::string& text);
// Path of one of the project's executables in the build's bin folder.
std::string BinPath(const std::string& name);
// Runs ffmpeg -v error -y <arguments>; false when it fails.
bool Ffmpeg(const std::string& arguments);
// Runs tavrisk-cli <arguments> after the shell words `environment` (NAME=value ...): the
// output is what it says on standard error, its standard output dropped.
CommandResult RunCli(const std::string& arguments, const std::string& environment = "");
// How many times `part` occurs in `text`.
int Occurrences(const std::string& text, const std::string& part);
// Whether a command's output has `part` in it `times` times (0: at least once); a failure
// shows the output.
::testing::AssertionResult Says(const CommandResult& run, const std::string& part, int times = 0);

// Interleaved 16-bit audio with its layout.
struct PcmAudio {
    int channels = 0;
    int rate = 0;
    std::vector<int16_t> samples;  // interleaved
    std::size_t Frames() const { return channels ? samples.size() / channels : 0; }
    int16_t At(std::size_t frame, int channel) const { return samples[frame * channels + channel]; }
    std::vector<double> Channel(int channel) const;
};

// Six tones, one per channel in file order, amplitude in 16-bit units.
struct ToneSet {
    std::vector<double> frequencies;
    double amplitude = 16000.0;
};
PcmAudio MakeTones(const ToneSet& layout, int rate, std::size_t frames);

// Writes a plain 16-bit PCM WAV ("fmt " of 16 bytes, no channel mask).
void WritePlainWav(const std::string& path, const PcmAudio& audio);
// Reads a 16-bit PCM WAV (plain or extensible); throws std::runtime_error on anything else. A
// file with a 5.1 mask comes in the plain files' order L, C, R, LS, RS, LFE unless `asStored`.
PcmAudio ReadWav(const std::string& path, bool asStored = false);
// Reads raw little-endian 16-bit samples.
std::vector<int16_t> ReadRawPcm(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A copy of a stream with the payload of `frames` frames spoilt: at even spaces through the
// file, some bytes after the next occurrence of `sync` (a frame's start) are inverted, its
// header left intact. False when a frame was not found.
bool DamageFrames(const std::string& from, const std::string& to, const std::vector<uint8_t>& sync,
                  int frames);

// ffmpeg arguments for a signal of one tone per channel: the tone inputs, and the join filter
// for a layout whose channels (ffmpeg's names) are `names`, with tone `tones[i]` on names[i],
// mapped as the output's audio.
struct ToneGraph {
    std::string inputs;
    std::string filter;
};
ToneGraph MakeToneGraph(const std::vector<const char*>& names, const std::vector<double>& tones,
                        const std::string& layout, int rate, double seconds);

// Amplitude of the component at `frequency` (Goertzel, over the whole signal).
double ToneAmplitude(const std::vector<double>& signal, double frequency, int rate);
// RMS level of a signal.
double Rms(const std::vector<double>& signal);

// A tone of an input channel and the output channels (file order) it should land in.
struct PlacedTone {
    std::string channel;  // its name, for the message
    double frequency = 0.0;
    std::vector<int> places;
};
// What is wrong with where the tones landed, "" when nothing is: in each slot every tone placed
// there is above 1000, every other `below` times under the loudest of them (or under 1000).
std::string MisplacedTones(const PcmAudio& audio, const std::vector<PlacedTone>& tones,
                           double below = 100.0);

}  // namespace tavrisk::test

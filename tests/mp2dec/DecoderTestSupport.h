// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "dsp/SampleBlock.h"
#include "mp2dec/StreamDecoder.h"
#include "tests/support/TestSupport.h"

namespace tavrisk::mp2dec::test {

// The round trips' tones: their amplitude, and the samples skipped at the start of the
// decoded channels while the filters settle.
inline constexpr double kAmplitude = 6000.0;
inline constexpr std::size_t kSettle = 2 * SampleBlock::kFrames;

// A ratio in dB, from 1e-9 up.
double Db(double ratio);

// Runs the decode command; returns its exit status and fills `messages` with its output.
int Decode(const std::vector<std::string>& args, std::string* messages = nullptr);
// Runs the check command.
int Check(const std::string& path, std::string* report);

// Keeps what the decoder hands over; refuses to start, or to take frame `failAtFrame`
// (counting from 1), when asked to.
class MemorySink : public SampleSink {
  public:
    bool Start(int channelCount, int sampleRate) override {
        ++starts;
        channels = channelCount;
        rate = sampleRate;
        return !failStart;
    }
    bool Write(std::span<const int16_t> frame) override {
        if (++frames == failAtFrame) return false;
        samples.insert(samples.end(), frame.begin(), frame.end());
        return true;
    }
    std::string Name() const override { return "memory"; }

    bool failStart = false;
    long failAtFrame = 0;
    int starts = 0;
    int channels = 0;
    int rate = 0;
    long frames = 0;
    std::vector<int16_t> samples;
};

// Difference between two signals after the best alignment within +-maxLag samples.
struct Match {
    int lag = 0;
    double maxDifference = 0.0;
    double snrDb = 0.0;
};
Match Compare(const std::vector<double>& ours, const std::vector<double>& reference, int maxLag);

// Decodes the compatible pair of `mp2` with ffmpeg and with us (into `dir`) and expects
// every channel to match within 1 LSB or 90 dB SNR, without delay. `label` names the case in
// the printed figures.
void ExpectPairMatchesFfmpeg(const std::string& mp2, const tavrisk::test::TempDir& dir,
                             const std::string& label);

// SNR of `decoded` against a pure tone of `frequency` fitted to it (amplitude and phase),
// over the samples from `skip` on.
double ToneSnrDb(const std::vector<double>& decoded, double frequency, int rate, std::size_t skip);

}  // namespace tavrisk::mp2dec::test

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/mp2dec/DecoderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

#include "cli/Mp2Commands.h"

namespace tavrisk::mp2dec::test {

double Db(double ratio) {
    return 20.0 * std::log10(std::max(ratio, 1e-9));
}

int Decode(const std::vector<std::string>& args, std::string* messages) {
    std::ostringstream out;
    const int status = tavrisk::RunDecodeCommand(args, out, out, false);
    if (messages) *messages = out.str();
    return status;
}

int Check(const std::string& path, std::string* report) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = tavrisk::RunCheckCommand({path}, out, err, false);
    if (report) *report = out.str() + err.str();
    return status;
}

namespace {

// Squared error, reference energy and largest difference of `ours` shifted by `lag`
// against the first `count` reference samples.
Match Measure(const std::vector<double>& ours, const std::vector<double>& reference, int lag,
              std::size_t count, double* error) {
    Match m;
    m.lag = lag;
    double energy = 0.0;
    *error = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const long j = static_cast<long>(i) + lag;
        if (j < 0 || j >= static_cast<long>(ours.size())) continue;
        const double d = ours[static_cast<std::size_t>(j)] - reference[i];
        *error += d * d;
        energy += reference[i] * reference[i];
        m.maxDifference = std::max(m.maxDifference, std::abs(d));
    }
    m.snrDb = 10.0 * std::log10(energy / std::max(*error, 1e-12));
    return m;
}

}  // namespace

Match Compare(const std::vector<double>& ours, const std::vector<double>& reference, int maxLag) {
    // The lag is found on a stretch of the signals, the figures are taken over all of them.
    constexpr std::size_t kSearchSamples = 8192;
    const std::size_t search = std::min(reference.size(), kSearchSamples);
    int bestLag = 0;
    double bestError = -1.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double error = 0.0;
        Measure(ours, reference, lag, search, &error);
        if (bestError < 0.0 || error < bestError) {
            bestError = error;
            bestLag = lag;
        }
    }
    double error = 0.0;
    return Measure(ours, reference, bestLag, reference.size(), &error);
}

void ExpectPairMatchesFfmpeg(const std::string& mp2, const tavrisk::test::TempDir& dir,
                             const std::string& label) {
    using tavrisk::test::Quote;
    const std::string peerWav = dir.File("ffmpeg.wav");
    const std::string ourWav = dir.File("ours-pair.wav");
    ASSERT_EQ(
        tavrisk::test::RunCommand("ffmpeg -v error -y -i " + Quote(mp2) + " " + Quote(peerWav))
            .exitCode,
        0);
    std::string messages;
    ASSERT_EQ(Decode({mp2, ourWav, "--stereo"}, &messages), 0) << messages;
    const auto ours = tavrisk::test::ReadWav(ourWav);
    const auto peer = tavrisk::test::ReadWav(peerWav);
    ASSERT_EQ(ours.rate, peer.rate);
    ASSERT_EQ(ours.channels, 2);
    ASSERT_GE(ours.Frames() + 1152, peer.Frames());
    for (int ch = 0; ch < 2; ++ch) {
        const int peerChannel = ch < peer.channels ? ch : 0;  // ffmpeg keeps mono as one
        const Match m = Compare(ours.Channel(ch), peer.Channel(peerChannel), 1200);
        std::printf(
            "%s, compatible channel %d against ffmpeg: lag %d, max difference %.0f, "
            "SNR %.1f dB\n",
            label.c_str(), ch, m.lag, m.maxDifference, m.snrDb);
        EXPECT_EQ(m.lag, 0) << "channel " << ch;
        EXPECT_TRUE(m.maxDifference <= 1.0 || m.snrDb >= 90.0)
            << "channel " << ch << ": max difference " << m.maxDifference << ", SNR " << m.snrDb;
    }
}

double ToneSnrDb(const std::vector<double>& decoded, double frequency, int rate, std::size_t skip) {
    // Least-squares fit of a cos + b sin; the rest is noise.
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (std::size_t i = skip; i < decoded.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
        const double c = std::cos(phase);
        const double s = std::sin(phase);
        cc += c * c;
        ss += s * s;
        cs += c * s;
        xc += decoded[i] * c;
        xs += decoded[i] * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;
    const double b = (xs * cc - xc * cs) / det;
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = skip; i < decoded.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
        const double fit = a * std::cos(phase) + b * std::sin(phase);
        signal += fit * fit;
        noise += (decoded[i] - fit) * (decoded[i] - fit);
    }
    return 10.0 * std::log10(signal / std::max(noise, 1e-12));
}

}  // namespace tavrisk::mp2dec::test

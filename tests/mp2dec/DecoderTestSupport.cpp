#include "tests/mp2dec/DecoderTestSupport.h"

#include <cmath>
#include <numbers>
#include <sstream>

#include "mp2dec/Mp2Commands.h"

namespace tavrisk::mp2dec::test {

int Decode(const std::vector<std::string>& args, std::string* messages) {
    std::ostringstream out;
    const int status = RunDecodeCommand(args, out, out, false);
    if (messages) *messages = out.str();
    return status;
}

int Check(const std::string& path, std::string* report) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCheckCommand({path}, out, err, false);
    if (report) *report = out.str() + err.str();
    return status;
}

Match Compare(const std::vector<double>& ours, const std::vector<double>& reference, int maxLag) {
    Match best;
    double bestError = -1.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double error = 0.0;
        double energy = 0.0;
        double maxDiff = 0.0;
        for (std::size_t i = 0; i < reference.size(); ++i) {
            const long j = static_cast<long>(i) + lag;
            if (j < 0 || j >= static_cast<long>(ours.size())) continue;
            const double d = ours[static_cast<std::size_t>(j)] - reference[i];
            error += d * d;
            energy += reference[i] * reference[i];
            maxDiff = std::max(maxDiff, std::abs(d));
        }
        if (bestError < 0.0 || error < bestError) {
            bestError = error;
            best.lag = lag;
            best.maxDifference = maxDiff;
            best.snrDb = 10.0 * std::log10(energy / std::max(error, 1e-12));
        }
    }
    return best;
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Fft.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace tavrisk::test {

void Fft(std::vector<std::complex<double>>& values) {
    const std::size_t n = values.size();
    if (n == 0 || (n & (n - 1)) != 0) throw std::invalid_argument("FFT size not a power of two");
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(values[i], values[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * M_PI / static_cast<double>(length);
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> twiddle = std::polar(1.0, angle * k);
                const std::complex<double> even = values[start + k];
                const std::complex<double> odd = values[start + k + length / 2] * twiddle;
                values[start + k] = even + odd;
                values[start + k + length / 2] = even - odd;
            }
        }
    }
}

std::vector<double> WindowedMagnitudes(const std::vector<double>& signal, std::size_t first,
                                       std::size_t count) {
    if (first + count > signal.size()) throw std::out_of_range("window past the signal");
    constexpr double a[] = {0.35875, 0.48829, 0.14128, 0.01168};
    std::vector<std::complex<double>> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(count);
        const double w =
            a[0] - a[1] * std::cos(x) + a[2] * std::cos(2 * x) - a[3] * std::cos(3 * x);
        values[i] = signal[first + i] * w;
    }
    Fft(values);
    std::vector<double> magnitudes(count / 2 + 1);
    for (std::size_t k = 0; k < magnitudes.size(); ++k) magnitudes[k] = std::abs(values[k]);
    return magnitudes;
}

double WorstComponentDb(const std::vector<double>& signal, std::size_t first, std::size_t count,
                        int rate, double toneHz, double guardHz) {
    const std::vector<double> magnitudes = WindowedMagnitudes(signal, first, count);
    const double binHz = static_cast<double>(rate) / static_cast<double>(count);
    double tone = 0.0, worst = 0.0;
    for (std::size_t k = 0; k < magnitudes.size(); ++k) {
        const bool nearTone = std::fabs(static_cast<double>(k) * binHz - toneHz) < guardHz;
        double& level = nearTone ? tone : worst;
        level = std::max(level, magnitudes[k]);
    }
    return 20.0 * std::log10(std::max(worst, 1e-300) / tone);
}

}  // namespace tavrisk::test

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace tavrisk::test {

// In-place radix-2 FFT; the size is a power of two.
void Fft(std::vector<std::complex<double>>& values);

// Magnitudes of bins 0 .. N/2 of `count` samples from `first` on (count a power of two),
// weighted by a 4-term Blackman-Harris window.
std::vector<double> WindowedMagnitudes(const std::vector<double>& signal, std::size_t first,
                                       std::size_t count);

// Level in dB, relative to a tone, of the strongest frequency component at least `guardHz`
// away from it, measured over `count` samples from `first` on.
double WorstComponentDb(const std::vector<double>& signal, std::size_t first, std::size_t count,
                        int rate, double toneHz, double guardHz);

}  // namespace tavrisk::test

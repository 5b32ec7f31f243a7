// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <random>

namespace tavrisk::mp2 {

// The encoder's own generator for the random dematrix procedures and tc allocations, seeded
// with kEncoderRandomSeed at the start of every run so that the same input and settings give
// the same bytes. The sequence of std::mt19937 is fixed by the standard.
using EncoderRandom = std::mt19937;
constexpr EncoderRandom::result_type kEncoderRandomSeed = 1;

// A value in [0, count): the generator's 32-bit output modulo count, uniform for every count
// used here (powers of two). The library's distributions are not used: their output differs
// between implementations.
inline int RandomBelow(EncoderRandom& random, int count) {
    return static_cast<int>(random() % static_cast<EncoderRandom::result_type>(count));
}

}  // namespace tavrisk::mp2

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Frames of six floats (a frame's values side by side) to and from six rows (a channel's
// values side by side), and rows of whole values into frames of 16-bit values, eight frames
// at a time by shuffles. Built into each caller's plain and AVX2 kernels.
namespace tavrisk::frame_rows {

// Eight values side by side, read from and written to any float or double.
typedef float Floats8 __attribute__((vector_size(32), aligned(4), may_alias));
typedef double Doubles8 __attribute__((vector_size(64), aligned(8), may_alias));
constexpr std::size_t kLanes = 8;
constexpr std::size_t kChannels = 6;

// Thirty-two-bit whole values, and sixteen-bit ones written to any int16_t.
typedef int32_t Ints8 __attribute__((vector_size(32)));
typedef int16_t Shorts8 __attribute__((vector_size(16), aligned(2), may_alias));

// Of two vectors, per half: a's values i and j, then b's values k and l.
template <int i, int j, int k, int l>
[[gnu::always_inline]] inline void PickPairs(const Floats8& a, const Floats8& b, Floats8& out) {
    out = __builtin_shufflevector(a, b, i, j, 8 + k, 8 + l, 4 + i, 4 + j, 12 + k, 12 + l);
}

// `count` frames into six rows of doubles: the frames' halves paired so that each half of a
// vector holds four frames, then each channel's four values gathered within the halves. With
// kAlsoScaled, each value times `scale` (in single precision) goes into `scaledRows` too.
template <bool kAlsoScaled = false>
[[gnu::always_inline]] inline void FramesToRows(const float* frames, std::size_t count,
                                                double* const* rows,
                                                float* const* scaledRows = nullptr,
                                                float scale = 1.0f) {
    // The rows' places held apart from the caller's arrays, which the stores below might
    // otherwise change: each would be read again after every store.
    double* to[kChannels];
    float* scaledTo[kChannels] = {};
#pragma GCC unroll 6
    for (std::size_t row = 0; row < kChannels; ++row) {
        to[row] = rows[row];
        if constexpr (kAlsoScaled) scaledTo[row] = scaledRows[row];
    }
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        const float* from = frames + i * kChannels;
        Floats8 q[kChannels];
        for (std::size_t k = 0; k < 3; ++k) {
            const Floats8 first = *reinterpret_cast<const Floats8*>(from + k * kLanes);
            const Floats8 second = *reinterpret_cast<const Floats8*>(from + (k + 3) * kLanes);
            q[2 * k] = __builtin_shufflevector(first, second, 0, 1, 2, 3, 8, 9, 10, 11);
            q[2 * k + 1] = __builtin_shufflevector(first, second, 4, 5, 6, 7, 12, 13, 14, 15);
        }
        // Per half, q[0..5] hold frames 0..3 in order; pairs of channels, then channels.
        Floats8 pairs[3][2];
        PickPairs<0, 1, 2, 3>(q[0], q[1], pairs[0][0]);
        PickPairs<0, 1, 2, 3>(q[3], q[4], pairs[0][1]);
        PickPairs<2, 3, 0, 1>(q[0], q[2], pairs[1][0]);
        PickPairs<2, 3, 0, 1>(q[3], q[5], pairs[1][1]);
        PickPairs<0, 1, 2, 3>(q[1], q[2], pairs[2][0]);
        PickPairs<0, 1, 2, 3>(q[4], q[5], pairs[2][1]);
        for (std::size_t p = 0; p < 3; ++p) {
            Floats8 even, odd;
            PickPairs<0, 2, 0, 2>(pairs[p][0], pairs[p][1], even);
            PickPairs<1, 3, 1, 3>(pairs[p][0], pairs[p][1], odd);
            *reinterpret_cast<Doubles8*>(to[2 * p] + i) = __builtin_convertvector(even, Doubles8);
            *reinterpret_cast<Doubles8*>(to[2 * p + 1] + i) =
                __builtin_convertvector(odd, Doubles8);
            if constexpr (kAlsoScaled) {
                *reinterpret_cast<Floats8*>(scaledTo[2 * p] + i) = even * scale;
                *reinterpret_cast<Floats8*>(scaledTo[2 * p + 1] + i) = odd * scale;
            }
        }
    }
    for (; i < count; ++i) {
        for (std::size_t row = 0; row < kChannels; ++row) {
            const float value = frames[i * kChannels + row];
            to[row][i] = static_cast<double>(value);
            if constexpr (kAlsoScaled) scaledTo[row][i] = value * scale;
        }
    }
}

// Eight values of each of six rows as eight frames: FramesToRows' steps backwards. The
// frames' values come out in memory order, eight to a vector.
[[gnu::always_inline]] inline void InterleaveRows(const Floats8 (&rowValues)[kChannels],
                                                  Floats8 (&frameValues)[kChannels]) {
    Floats8 pairs[3][2];
    for (std::size_t p = 0; p < 3; ++p) {
        const Floats8& even = rowValues[2 * p];
        const Floats8& odd = rowValues[2 * p + 1];
        pairs[p][0] = __builtin_shufflevector(even, odd, 0, 8, 1, 9, 4, 12, 5, 13);
        pairs[p][1] = __builtin_shufflevector(even, odd, 2, 10, 3, 11, 6, 14, 7, 15);
    }
    Floats8 q[kChannels];
    for (std::size_t h = 0; h < 2; ++h) {
        PickPairs<0, 1, 0, 1>(pairs[0][h], pairs[1][h], q[3 * h]);
        PickPairs<0, 1, 2, 3>(pairs[2][h], pairs[0][h], q[3 * h + 1]);
        PickPairs<2, 3, 2, 3>(pairs[1][h], pairs[2][h], q[3 * h + 2]);
    }
    for (std::size_t k = 0; k < 3; ++k) {
        frameValues[k] = __builtin_shufflevector(q[2 * k], q[2 * k + 1], 0, 1, 2, 3, 8, 9, 10, 11);
        frameValues[k + 3] =
            __builtin_shufflevector(q[2 * k], q[2 * k + 1], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// `count` values of six rows, each row's times its gain, into frames.
[[gnu::always_inline]] inline void RowsToFrames(const float* const* rows, const float* gains,
                                                std::size_t count, float* frames) {
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Floats8 rowValues[kChannels];
#pragma GCC unroll 6
        for (std::size_t row = 0; row < kChannels; ++row)
            rowValues[row] = *reinterpret_cast<const Floats8*>(rows[row] + i) * gains[row];
        Floats8 frameValues[kChannels];
        InterleaveRows(rowValues, frameValues);
#pragma GCC unroll 6
        for (std::size_t k = 0; k < kChannels; ++k)
            *reinterpret_cast<Floats8*>(frames + i * kChannels + k * kLanes) = frameValues[k];
    }
    for (; i < count; ++i) {
        for (std::size_t row = 0; row < kChannels; ++row)
            frames[i * kChannels + row] = rows[row][i] * gains[row];
    }
}

// `count` whole values of six rows into frames of 16-bit values, each value truncated to 32
// bits and its low 16 bits kept, as a cast to int32_t and then to int16_t keeps them. The
// interleaving moves the 32-bit values' bits unchanged.
[[gnu::always_inline]] inline void RowsToSamples16(const double* const* rows, std::size_t count,
                                                   int16_t* frames) {
    // Held apart from the rows' array, which a store of a sample might otherwise change.
    const double* row[kChannels];
    for (std::size_t r = 0; r < kChannels; ++r) row[r] = rows[r];
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Floats8 rowValues[kChannels];
#pragma GCC unroll 6
        for (std::size_t r = 0; r < kChannels; ++r) {
            const Ints8 whole =
                __builtin_convertvector(*reinterpret_cast<const Doubles8*>(row[r] + i), Ints8);
            rowValues[r] = reinterpret_cast<Floats8>(whole);
        }
        Floats8 frameValues[kChannels];
        InterleaveRows(rowValues, frameValues);
#pragma GCC unroll 6
        for (std::size_t k = 0; k < kChannels; ++k) {
            *reinterpret_cast<Shorts8*>(frames + i * kChannels + k * kLanes) =
                __builtin_convertvector(reinterpret_cast<Ints8>(frameValues[k]), Shorts8);
        }
    }
    for (; i < count; ++i) {
        for (std::size_t r = 0; r < kChannels; ++r)
            frames[i * kChannels + r] = static_cast<int16_t>(static_cast<int32_t>(row[r][i]));
    }
}

}  // namespace tavrisk::frame_rows

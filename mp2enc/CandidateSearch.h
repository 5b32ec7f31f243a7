// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <limits>

namespace tavrisk::mp2 {

// The smallest of up to kCapacity values, ties going to the lowest index: the candidate a
// scan keeping the first strictly smaller value picks. The values lie in blocks of 16 with
// each block's minimum and the index of its first occurrence beside them, so a change
// rescans its block alone and the search reads the block minima, four lanes at a time.
// Comparisons only: inlined into plain or AVX2 code, it finds the same candidate.
class CandidateSearch {
  public:
    static constexpr int kCapacity = 256;
    static constexpr double kNone = std::numeric_limits<double>::infinity();

    // Takes values[0, count); the rest are kNone (and never read).
    [[gnu::always_inline]] void Fill(const double* values, int count) {
        const int blocks = (count + kBlock - 1) / kBlock;
        for (int i = 0; i < count; ++i) value_[i] = values[i];
        for (int i = count; i < kBlock * blocks; ++i) value_[i] = kNone;
        for (int b = 0; b < kBlocks; ++b) {
            blockMinimum[b] = b < blocks ? MinimumOf(BlockOf(b)) : kNone;
            blockFirst[b] = kBlock * b;
            if (b < blocks)
                blockFirst[b] += FirstEqual<false>(value_ + kBlock * b, blockMinimum[b]);
        }
    }
    // Index of the smallest value, or -1 when every value is kNone. Best finds the first
    // equal to the smallest by a scan, BestInLanes by masks of four lanes (for AVX2 code,
    // where they are cheap): the same index.
    [[gnu::always_inline]] int Best() const { return Find<false>(); }
    [[gnu::always_inline]] int BestInLanes() const { return Find<true>(); }
    // Sets one value and returns what Best (or BestInLanes) then returns.
    [[gnu::always_inline]] int Replace(int index, double value) {
        return ReplaceAndFind<false>(index, value);
    }
    [[gnu::always_inline]] int ReplaceInLanes(int index, double value) {
        return ReplaceAndFind<true>(index, value);
    }

  private:
    // Vectors stay inside these functions, which are always inlined.
    typedef double Lanes __attribute__((vector_size(32)));
    typedef long long Order __attribute__((vector_size(32)));
    static constexpr int kBlock = 16;
    static constexpr int kBlocks = kCapacity / kBlock;
    static constexpr int kLanesPerBlock = kBlock / 4;
    static_assert(kBlocks == kBlock, "the block minima are searched as one block");
    static constexpr Order kFirstLanes = {0, 1, 2, 3};

    template <bool kInLanes>
    [[gnu::always_inline]] int Find() const {
        return FirstOf<kInLanes>(MinimumOf(reinterpret_cast<const Lanes*>(blockMinimum)));
    }
    // The minimum of the block without the replaced value, the minimum of the other blocks
    // and where each first occurs depend on the index alone, so they are found while the new
    // value is still being computed; then comparisons give the new smallest and its index.
    // Vectors are stored whole, so that the next search reads them straight from the stores.
    template <bool kInLanes>
    [[gnu::always_inline]] int ReplaceAndFind(int index, double value) {
        if constexpr (!kInLanes) return RescanAndFind(index, value);
        const int block = index / kBlock;
        Lanes* values = BlockOf(block);
        Lanes* minima = reinterpret_cast<Lanes*>(blockMinimum);
        const Lanes none = {kNone, kNone, kNone, kNone};
        Lanes rest[kLanesPerBlock];
        Lanes others[kLanesPerBlock];
#pragma GCC unroll 4
        for (int q = 0; q < kLanesPerBlock; ++q) {
            const Order at = kFirstLanes + 4 * q;  // positions of the vector's lanes
            rest[q] = at == index % kBlock ? none : values[q];
            others[q] = at == block ? none : minima[q];
        }
        const double restSmallest = MinimumOf(rest);
        const double othersSmallest = MinimumOf(others);
        const int restFirst =
            kBlock * block +
            FirstEqual<kInLanes>(reinterpret_cast<const double*>(rest), restSmallest);
        const int othersFirst = blockFirst[FirstEqual<kInLanes>(
            reinterpret_cast<const double*>(others), othersSmallest)];
        const double blockSmallest = Smaller(restSmallest, value);
        const int first = value < restSmallest   ? index
                          : restSmallest < value ? restFirst
                                                 : std::min(index, restFirst);
        blockFirst[block] = first;
        const Lanes newValue = {value, value, value, value};
        const Lanes newMinimum = {blockSmallest, blockSmallest, blockSmallest, blockSmallest};
#pragma GCC unroll 4
        for (int q = 0; q < kLanesPerBlock; ++q) {
            const Order at = kFirstLanes + 4 * q;
            values[q] = at == index % kBlock ? newValue : values[q];
            minima[q] = at == block ? newMinimum : minima[q];
        }
        if (blockSmallest == kNone && othersSmallest == kNone) return -1;
        return blockSmallest < othersSmallest   ? first
               : othersSmallest < blockSmallest ? othersFirst
                                                : std::min(first, othersFirst);
    }
    // Without wide vectors the lookups made ahead cost more than they save: the block of the
    // changed value is rescanned, then searched like the whole.
    [[gnu::always_inline]] int RescanAndFind(int index, double value) {
        const int block = index / kBlock;
        value_[index] = value;
        blockMinimum[block] = MinimumOf(BlockOf(block));
        blockFirst[block] =
            kBlock * block + FirstEqual<false>(value_ + kBlock * block, blockMinimum[block]);
        return Find<false>();
    }
    // Index of the first value equal to `smallest`, the smallest of all, or -1 for kNone.
    template <bool kInLanes>
    [[gnu::always_inline]] int FirstOf(double smallest) const {
        if (smallest == kNone) return -1;
        const int block = FirstEqual<kInLanes>(blockMinimum, smallest);
        return kBlock * block + FirstEqual<kInLanes>(value_ + kBlock * block, smallest);
    }
    [[gnu::always_inline]] static double Smaller(double a, double b) {
        return b < a ? b : a;
    }
    [[gnu::always_inline]] Lanes* BlockOf(int block) {
        return reinterpret_cast<Lanes*>(value_ + kBlock * block);
    }
    // The minimum of 16 values.
    [[gnu::always_inline]] static double MinimumOf(const Lanes* in) {
        const Lanes low = in[1] < in[0] ? in[1] : in[0];
        const Lanes high = in[3] < in[2] ? in[3] : in[2];
        const Lanes m = high < low ? high : low;
        const Lanes swapped = __builtin_shufflevector(m, m, 2, 3, 0, 1);
        const Lanes halves = swapped < m ? swapped : m;
        const Lanes neighbour = __builtin_shufflevector(halves, halves, 1, 0, 3, 2);
        return (neighbour < halves ? neighbour : halves)[0];
    }
    // Position of the first of 16 values equal to `m` (one of them is): a bit per equal
    // value, lowest first.
    template <bool kInLanes>
    [[gnu::always_inline]] static int FirstEqual(const double* v, double m) {
        if constexpr (!kInLanes) {
            int i = 0;
            while (v[i] != m) ++i;
            return i;
        }
        const Lanes* in = reinterpret_cast<const Lanes*>(v);
        const Lanes target = {m, m, m, m};
        const Order bits = ((in[0] == target) & Order{1, 2, 4, 8}) |
                           ((in[1] == target) & Order{16, 32, 64, 128}) |
                           ((in[2] == target) & Order{256, 512, 1024, 2048}) |
                           ((in[3] == target) & Order{4096, 8192, 16384, 32768});
        const Order pairs = bits | __builtin_shufflevector(bits, bits, 2, 3, 0, 1);
        return __builtin_ctzll(static_cast<unsigned long long>(pairs[0] | pairs[1]));
    }

    alignas(32) double value_[kCapacity];
    alignas(32) double blockMinimum[kBlocks];
    int blockFirst[kBlocks];  // index of the first value equal to the block's minimum
};

}  // namespace tavrisk::mp2

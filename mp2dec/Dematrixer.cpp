// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/Dematrixer.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace tavrisk::mp2dec {

namespace {

// What the three extension positions carry, per tc_allocation of the 3/2 configuration.
enum Carried { kC, kLs, kRs, kL, kR };
constexpr std::array<std::array<Carried, 3>, 8> kCarried = {{
    {kC, kLs, kRs},
    {kL, kLs, kRs},
    {kR, kLs, kRs},
    {kC, kL, kRs},
    {kC, kLs, kR},
    {kC, kL, kR},
    {kR, kL, kRs},
    {kL, kLs, kR},
}};

constexpr int kProcedureMatrixSurround = 2;
constexpr int kProcedureNone = 3;
constexpr int kSingleSubbandGroups = 8;

// Weights of the matrix (centre, surround) and its normalisation, per procedure.
struct MatrixWeights {
    double center;
    double surround;
    double norm;
};

MatrixWeights WeightsOf(int procedure) {
    const double r = std::sqrt(0.5);
    switch (procedure) {
        case 1:
            return {r, 0.5, 1.0 / (1.0 + r + 0.5)};
        case kProcedureNone:
            return {1.0, 1.0, 1.0};
        default:
            return {r, r, 1.0 / (1.0 + r + r)};
    }
}

// Solves one subband sample. `known` holds what was transmitted (weighted values); the
// function fills the rest from Lo = L + C + LS, Ro = R + C + RS (procedures 0, 1) or
// Lo = L + C - m, Ro = R + C + m with m = (LS + RS) / 2 (procedure 2).
struct Solver {
    double lo, ro;
    std::array<double, 5> v;  // by Carried
    std::array<bool, 5> known;

    void SolveAdditive() {
        // Each row: the pair's left side needs two of L, C, LS; right side two of R, C, RS.
        if (!known[kC]) {
            v[kC] = known[kL] && known[kLs] ? lo - v[kL] - v[kLs] : ro - v[kR] - v[kRs];
            known[kC] = true;
        }
        if (!known[kL]) v[kL] = lo - v[kC] - v[kLs];
        if (!known[kLs]) v[kLs] = lo - v[kL] - v[kC];
        if (!known[kR]) v[kR] = ro - v[kC] - v[kRs];
        if (!known[kRs]) v[kRs] = ro - v[kR] - v[kC];
    }

    void SolveMatrixSurround() {
        if (!known[kC]) {
            if (known[kLs] && known[kRs]) {
                const double m = 0.5 * (v[kLs] + v[kRs]);
                v[kC] = known[kL] ? lo - v[kL] + m : ro - v[kR] - m;
            } else {  // L and R known
                v[kC] = 0.5 * (lo + ro - v[kL] - v[kR]);
            }
        }
        double m;
        if (known[kLs] && known[kRs])
            m = 0.5 * (v[kLs] + v[kRs]);
        else if (known[kL])
            m = v[kL] + v[kC] - lo;
        else
            m = ro - v[kR] - v[kC];
        if (!known[kL]) v[kL] = lo - v[kC] + m;
        if (!known[kR]) v[kR] = ro - v[kC] - m;
        if (known[kLs] && !known[kRs]) v[kRs] = 2.0 * m - v[kLs];
        if (known[kRs] && !known[kLs]) v[kLs] = 2.0 * m - v[kRs];
        if (!known[kLs] && !known[kRs]) v[kLs] = v[kRs] = m;  // only their sum is carried
    }
};

}  // namespace

int Dematrixer::GroupOfSubband(int subband) {
    if (subband < kSingleSubbandGroups) return subband;
    if (subband < 10) return 8;
    if (subband < 12) return 9;
    if (subband < 16) return 10;
    return 11;
}

bool Dematrixer::CarriesCentreFirst(int tcAlloc) {
    return tcAlloc >= 0 && tcAlloc < static_cast<int>(kCarried.size()) &&
           kCarried[tcAlloc][0] == kC;
}

namespace {

// How a procedure solves a sample.
enum class Solving { kAdditive, kMatrixSurround, kNone };
constexpr int kSolvings = 3;

Solving SolvingOf(int procedure) {
    if (procedure == kProcedureNone) return Solving::kNone;
    return procedure == kProcedureMatrixSurround ? Solving::kMatrixSurround : Solving::kAdditive;
}

// The samples of subbands [first, end), one tc_allocation group, what it carries and how
// they are solved known when this is built: the solver's tests fold away, each value still
// computed by the same expression.
template <int kTcAlloc, Solving kSolving>
void SolveGroup(const FrameContent& content, int first, int end,
                const std::array<double, 5>& unweight,
                std::array<SubbandBlock, kMainChannels>& out) {
    constexpr std::array<Carried, 3> carried = kCarried[kTcAlloc];
    const auto& pos = content.positions;
    for (int i = 0; i < kSubbandSamples; ++i) {
        for (int sb = first; sb < end; ++sb) {
            Solver s{pos[0][i][sb], pos[1][i][sb], {}, {}};
            for (int p = 0; p < 3; ++p) {
                s.v[carried[p]] = pos[kCompatibleChannels + p][i][sb];
                s.known[carried[p]] = true;
            }
            if constexpr (kSolving == Solving::kNone) {
                s.v[kL] = s.lo;
                s.v[kR] = s.ro;
            } else if constexpr (kSolving == Solving::kMatrixSurround) {
                s.SolveMatrixSurround();
            } else {
                s.SolveAdditive();
            }
            out[kOutL][i][sb] = s.v[kL] * unweight[kL];
            out[kOutC][i][sb] = s.v[kC] * unweight[kC];
            out[kOutR][i][sb] = s.v[kR] * unweight[kR];
            out[kOutLs][i][sb] = s.v[kLs] * unweight[kLs];
            out[kOutRs][i][sb] = s.v[kRs] * unweight[kRs];
        }
    }
}

using GroupSolver = void (*)(const FrameContent&, int, int, const std::array<double, 5>&,
                             std::array<SubbandBlock, kMainChannels>&);

template <int kTcAlloc, std::size_t... kSolving>
constexpr std::array<GroupSolver, kSolvings> SolversOf(std::index_sequence<kSolving...>) {
    return {SolveGroup<kTcAlloc, static_cast<Solving>(kSolving)>...};
}

template <std::size_t... kTcAlloc>
constexpr auto SolverTable(std::index_sequence<kTcAlloc...>) {
    return std::array<std::array<GroupSolver, kSolvings>, sizeof...(kTcAlloc)>{
        SolversOf<kTcAlloc>(std::make_index_sequence<kSolvings>{})...};
}

// By tc_allocation and solving.
constexpr auto kSolvers = SolverTable(std::make_index_sequence<kCarried.size()>{});

}  // namespace

void Dematrixer::Run(const FrameContent& content,
                     std::array<SubbandBlock, kMainChannels>& out) const {
    const ExtensionInfo& ext = content.extension;
    const MatrixWeights w = WeightsOf(ext.dematrixProcedure);
    const std::array<double, 5> unweight = {1.0 / (w.norm * w.center), 1.0 / (w.norm * w.surround),
                                            1.0 / (w.norm * w.surround), 1.0 / w.norm,
                                            1.0 / w.norm};
    const auto solving = static_cast<std::size_t>(SolvingOf(ext.dematrixProcedure));
    for (int first = 0; first < kSubbands;) {
        const int group = GroupOfSubband(first);
        int end = first + 1;
        while (end < kSubbands && GroupOfSubband(end) == group) ++end;
        kSolvers[ext.tcAlloc[group]][solving](content, first, end, unweight, out);
        first = end;
    }
}

}  // namespace tavrisk::mp2dec

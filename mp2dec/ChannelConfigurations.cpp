// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/ChannelConfigurations.h"

#include <cmath>
#include <vector>

namespace tavrisk::mp2dec {

namespace {

constexpr int kCenterFull = 1;
constexpr int kCenterLimited = 3;
constexpr int kSurroundMono = 1;
constexpr int kSurroundStereo = 2;
constexpr int kSurroundSecondStereo = 3;
constexpr int kProcedureWeighted = 1;
constexpr int kProcedureMatrixSurround = 2;
constexpr int kProcedureNone = 3;
constexpr int kNoChannel = -1;
constexpr int kMaxTcValues = 6;
constexpr int kMaxPositions = 2;

// What the extension's positions carry under each tc_allocation of a configuration.
struct Carriage {
    int center;
    int surround;
    int values;
    std::array<std::array<int, kMaxPositions>, kMaxTcValues> carried;
};
constexpr int N = kNoChannel;
constexpr Carriage kCarriages[] = {
    {1,
     kSurroundMono,
     6,
     {{{kOutC, kOutLs},
       {kOutL, kOutLs},
       {kOutR, kOutLs},
       {kOutC, kOutL},
       {kOutC, kOutR},
       {kOutL, kOutR}}}},
    {1, 0, 3, {{{kOutC, N}, {kOutL, N}, {kOutR, N}}}},
    {0, kSurroundStereo, 4, {{{kOutLs, kOutRs}, {kOutL, kOutRs}, {kOutLs, kOutR}, {kOutL, kOutR}}}},
    {0, kSurroundMono, 3, {{{kOutLs, N}, {kOutL, N}, {kOutR, N}}}},
    {0, 0, 1, {{{N, N}}}},
};

// The configuration as the matrix sees it: a limited centre is a centre there, and a second
// programme is outside the matrix.
ExtensionInfo MainProgramme(const ExtensionInfo& info) {
    ExtensionInfo main = info;
    if (HasCentre(info)) main.center = kCenterFull;
    if (CarriesSecondProgramme(info)) main.surround = 0;
    return main;
}

// What the extension carries in a configuration as the matrix sees it.
const Carriage* CarriageOf(const ExtensionInfo& info) {
    for (const Carriage& c : kCarriages)
        if (c.center == info.center && c.surround == info.surround) return &c;
    return nullptr;
}

// How much of a channel (as transmitted, weighted) Lo and Ro hold under a procedure.
struct Share {
    double lo = 0.0;
    double ro = 0.0;
};

Share ShareOf(int channel, const ExtensionInfo& info) {
    const bool mono = info.surround == kSurroundMono;
    switch (channel) {
        case kOutL:
            return {1.0, 0.0};
        case kOutR:
            return {0.0, 1.0};
        default:
            break;
    }
    if (info.dematrixProcedure == kProcedureNone) return {};
    if (channel == kOutC) return {1.0, 1.0};
    if (info.dematrixProcedure == kProcedureMatrixSurround)
        return mono ? Share{-1.0, 1.0} : Share{-0.5, 0.5};
    if (mono) return {1.0, 1.0};
    return channel == kOutLs ? Share{1.0, 0.0} : Share{0.0, 1.0};
}

// The channels of the configuration: L and R, the centre, the surround(s).
std::vector<int> PresentChannels(const ExtensionInfo& info) {
    std::vector<int> present = {kOutL, kOutR};
    if (info.center != 0) present.push_back(kOutC);
    if (info.surround >= kSurroundMono) present.push_back(kOutLs);
    if (info.surround == kSurroundStereo) present.push_back(kOutRs);
    return present;
}

bool Carried(const Carriage& c, int tcAlloc, int channel) {
    for (int p : c.carried[tcAlloc])
        if (p == channel) return true;
    return false;
}

// The two channels a tc_allocation leaves to be derived, and the determinant of their shares.
struct Unknowns {
    std::array<int, 2> channel{};
    std::array<Share, 2> share{};
    double determinant = 0.0;
};

Unknowns UnknownsOf(const Carriage& c, const ExtensionInfo& info, int tcAlloc) {
    Unknowns u;
    int count = 0;
    for (int ch : PresentChannels(info)) {
        if (Carried(c, tcAlloc, ch)) continue;
        if (count == 2) return Unknowns{};
        u.channel[count] = ch;
        u.share[count] = ShareOf(ch, info);
        ++count;
    }
    if (count != 2) return Unknowns{};
    u.determinant = u.share[0].lo * u.share[1].ro - u.share[1].lo * u.share[0].ro;
    return u;
}

// The weight the matrix gave each channel: centre, surround and the normalisation.
std::array<double, kMainChannels> Unweights(const ExtensionInfo& info) {
    const double r = std::sqrt(0.5);
    double center = r;
    double surround = info.dematrixProcedure == kProcedureWeighted ? 0.5 : r;
    if (info.dematrixProcedure == kProcedureNone) center = surround = 1.0;
    // The normalisation of the full matrix, whatever it holds; with nothing to matrix, none.
    double norm = 1.0 / (1.0 + center + surround);
    if (info.dematrixProcedure == kProcedureNone || (info.center == 0 && info.surround == 0))
        norm = 1.0;
    std::array<double, kMainChannels> unweight{};
    unweight[kOutL] = unweight[kOutR] = 1.0 / norm;
    unweight[kOutC] = 1.0 / (norm * center);
    unweight[kOutLs] = unweight[kOutRs] = 1.0 / (norm * surround);
    return unweight;
}

}  // namespace

bool HasCentre(const ExtensionInfo& info) {
    return info.center == kCenterFull || info.center == kCenterLimited;
}

bool IsLimitedCentre(const ExtensionInfo& info) {
    return info.center == kCenterLimited;
}

bool CarriesSecondProgramme(const ExtensionInfo& info) {
    return info.surround == kSurroundSecondStereo;
}

bool IsThreeTwo(const ExtensionInfo& info) {
    return HasCentre(info) && info.surround == kSurroundStereo;
}

int ExtensionChannels(const ExtensionInfo& info) {
    const int surrounds = info.surround == kSurroundMono ? 1 : info.surround != 0 ? 2 : 0;
    return (HasCentre(info) ? 1 : 0) + surrounds;
}

int TcAllocationBits(const ExtensionInfo& info) {
    const bool surrounds = info.surround == kSurroundMono || info.surround == kSurroundStereo;
    if (HasCentre(info) && surrounds) return 3;
    return HasCentre(info) || surrounds ? 2 : 0;
}

std::string UnsupportedConfiguration(const ExtensionInfo& info) {
    if (IsThreeTwo(info) || CarriageOf(MainProgramme(info)) != nullptr) return {};
    return "channel configuration (centre " + std::to_string(info.center) + ", surround " +
           std::to_string(info.surround) + ") is not supported";
}

bool TcAllocationUsable(const ExtensionInfo& extension, int tcAlloc) {
    const ExtensionInfo info = MainProgramme(extension);
    const Carriage* c = CarriageOf(info);
    if (c == nullptr || tcAlloc < 0 || tcAlloc >= c->values) return false;
    return UnknownsOf(*c, info, tcAlloc).determinant != 0.0;
}

bool CentrePositionCarriesCentre(const ExtensionInfo& info, int tcAlloc) {
    if (IsThreeTwo(info)) return Dematrixer::CarriesCentreFirst(tcAlloc);
    const Carriage* c = CarriageOf(MainProgramme(info));
    return c != nullptr && tcAlloc >= 0 && tcAlloc < c->values && c->carried[tcAlloc][0] == kOutC;
}

void DematrixFrame(const FrameContent& content, std::array<SubbandBlock, kMainChannels>& out) {
    if (IsThreeTwo(content.extension))
        Dematrixer().Run(content, out);
    else
        DematrixOtherConfiguration(content, out);
}

void DematrixOtherConfiguration(const FrameContent& content,
                                std::array<SubbandBlock, kMainChannels>& out) {
    const ExtensionInfo info = MainProgramme(content.extension);
    const Carriage* c = CarriageOf(info);
    for (auto& block : out)
        for (auto& row : block) row.fill(0.0);
    if (c == nullptr) return;
    const std::array<double, kMainChannels> unweight = Unweights(info);
    const auto& pos = content.positions;
    for (int sb = 0; sb < kSubbands; ++sb) {
        const int tc = info.tcAlloc[Dematrixer::GroupOfSubband(sb)];
        if (tc >= c->values) continue;
        const Unknowns u = UnknownsOf(*c, info, tc);
        if (u.determinant == 0.0) continue;
        for (int i = 0; i < kSubbandSamples; ++i) {
            double lo = pos[0][i][sb];
            double ro = pos[1][i][sb];
            for (int p = 0; p < kMaxPositions; ++p) {
                const int ch = c->carried[tc][p];
                if (ch == kNoChannel) continue;
                const double v = pos[kCompatibleChannels + p][i][sb];
                const Share s = ShareOf(ch, info);
                lo -= s.lo * v;
                ro -= s.ro * v;
                out[ch][i][sb] = v * unweight[ch];
            }
            const double first = (lo * u.share[1].ro - u.share[1].lo * ro) / u.determinant;
            const double second = (u.share[0].lo * ro - u.share[0].ro * lo) / u.determinant;
            out[u.channel[0]][i][sb] = first * unweight[u.channel[0]];
            out[u.channel[1]][i][sb] = second * unweight[u.channel[1]];
        }
    }
    if (CarriesSecondProgramme(content.extension)) {
        const int first = kCompatibleChannels + (HasCentre(info) ? 1 : 0);
        out[kOutLs] = pos[first];
        out[kOutRs] = pos[first + 1];
    }
}

}  // namespace tavrisk::mp2dec

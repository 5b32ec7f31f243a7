// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace tavrisk {

namespace {

constexpr int kMode = EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK;
// The library's channel of each column L, R, C, LFE, LS, RS.
constexpr std::array<int, LoudnessMeter::kChannels> kChannelOfColumn = {
    EBUR128_LEFT,   EBUR128_RIGHT,         EBUR128_CENTER,
    EBUR128_UNUSED, EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};

}  // namespace

double LoudnessFigures::TruePeakDbtp() const {
    return *std::max_element(truePeakDbtp.begin(), truePeakDbtp.end());
}

double DecibelsOf(double factor) {
    return factor > 0.0 ? 20.0 * std::log10(factor) : LoudnessFigures::kSilent;
}

struct LoudnessMeter::State {
    explicit State(ebur128_state* handle) : handle(handle) {}
    ~State() { ebur128_destroy(&handle); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ebur128_state* handle;
};

LoudnessMeter::LoudnessMeter() = default;
LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::Start(int sampleRate) {
    state.reset();
    if (sampleRate <= 0) return false;
    ebur128_state* handle = ebur128_init(kChannels, static_cast<unsigned long>(sampleRate), kMode);
    if (!handle) return false;
    state = std::make_unique<State>(handle);
    for (int c = 0; c < kChannels; ++c) {
        if (ebur128_set_channel(state->handle, static_cast<unsigned>(c), kChannelOfColumn[c]) !=
            EBUR128_SUCCESS) {
            state.reset();
            return false;
        }
    }
    return true;
}

void LoudnessMeter::Stop() {
    state.reset();
}

void LoudnessMeter::Add(const float* frames, std::size_t count) {
    if (state && count > 0) ebur128_add_frames_float(state->handle, frames, count);
}

std::array<double, LoudnessMeter::kChannels> LoudnessMeter::TruePeaks() const {
    std::array<double, kChannels> peaks{};
    if (!state) return peaks;
    for (int c = 0; c < kChannels; ++c) {
        double peak = 0.0;
        if (ebur128_true_peak(state->handle, static_cast<unsigned>(c), &peak) == EBUR128_SUCCESS)
            peaks[c] = peak;
    }
    return peaks;
}

LoudnessFigures LoudnessMeter::Figures() const {
    LoudnessFigures figures;
    if (!state) return figures;
    double value = 0.0;
    // Nothing above the gates (silence, or less than one 400 ms block) reads -infinity.
    if (ebur128_loudness_global(state->handle, &value) == EBUR128_SUCCESS && std::isfinite(value))
        figures.integratedLufs = value;
    if (ebur128_loudness_range(state->handle, &value) == EBUR128_SUCCESS && std::isfinite(value))
        figures.rangeLu = value;
    const std::array<double, kChannels> peaks = TruePeaks();
    for (int c = 0; c < kChannels; ++c) figures.truePeakDbtp[c] = DecibelsOf(peaks[c]);
    return figures;
}

}  // namespace tavrisk

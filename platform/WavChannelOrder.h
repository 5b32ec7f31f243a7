// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavrisk {

// How a six-channel WAV file lays out its channels.
enum class WavChannelOrder {
    // FL FR FC LFE BL BR with a WAVE_FORMAT_EXTENSIBLE channel mask: what other tools and
    // players read.
    kStandard,
    // L C R LS RS LFE in a plain PCM record without a mask, for tools that rely on it.
    kFilm,
};

// Speaker bits of a WAVE_FORMAT_EXTENSIBLE channel mask.
namespace speaker {
constexpr uint32_t kFrontLeft = 0x1;
constexpr uint32_t kFrontRight = 0x2;
constexpr uint32_t kFrontCenter = 0x4;
constexpr uint32_t kLowFrequency = 0x8;
constexpr uint32_t kBackLeft = 0x10;
constexpr uint32_t kBackRight = 0x20;
constexpr uint32_t kBackCenter = 0x100;
constexpr uint32_t kSideLeft = 0x200;
constexpr uint32_t kSideRight = 0x400;

constexpr uint32_t kStereo = kFrontLeft | kFrontRight;
// 5.1 with back surrounds (the standard order's mask, 0x3F) or side surrounds (0x60F).
constexpr uint32_t k51 = kStereo | kFrontCenter | kLowFrequency | kBackLeft | kBackRight;
constexpr uint32_t k51Side = kStereo | kFrontCenter | kLowFrequency | kSideLeft | kSideRight;
}  // namespace speaker

// The names the command line and the settings file use: "standard" and "film".
constexpr const char* kWavOrderNames = "standard|film";
std::optional<WavChannelOrder> WavChannelOrderNamed(std::string_view name);

}  // namespace tavrisk

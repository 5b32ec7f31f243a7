// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk {

// The units of a clock as it is read and written.
inline constexpr int kMsPerSecond = 1000;
inline constexpr int kSecondsPerMinute = 60;
inline constexpr int kMinutesPerHour = 60;
inline constexpr int kSecondsPerHour = kSecondsPerMinute * kMinutesPerHour;

}  // namespace tavrisk

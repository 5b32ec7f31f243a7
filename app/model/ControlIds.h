// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrisk::ctl {

// Control ids of the main window.
constexpr int kExit = 1;
constexpr int kTranscode = 1000;
constexpr int kInputName = 1001;
constexpr int kInputBrowse = 1002;
constexpr int kOutputName = 1003;
constexpr int kOutputBrowse = 1004;
constexpr int kProgress = 1005;
constexpr int kElapsed = 1006;
constexpr int kRemaining = 1007;
constexpr int kPercent = 1010;
constexpr int kPicture = 1011;
constexpr int kBatch = 1012;
constexpr int kFreq = 1013;
constexpr int kResyncMs = 1014;
constexpr int kStatus = 1016;
constexpr int kResyncDirection = 1017;
constexpr int kResyncHours = 1018;
constexpr int kResyncMinutes = 1019;
constexpr int kResyncSeconds = 1020;
constexpr int kBitrate = 1021;
constexpr int kNormalize = 1027;
constexpr int kPriority = 1028;
constexpr int kNormalizeLink = 1029;
constexpr int kDrp = 1053;
constexpr int kDrpLink = 1054;
constexpr int kProcessingType = 1056;
constexpr int kInputFrequency = 1057;
constexpr int kFilterGraph = 1061;
constexpr int kOutputEngine = 1062;
constexpr int kHighQuality = 1063;
// The normalise row's kind combo, loudness preset combo, target and true-peak ceiling.
constexpr int kNormalizeKind = 1064;
constexpr int kLoudnessPreset = 1065;
constexpr int kLoudnessTarget = 1066;
constexpr int kTruePeakCeiling = 1067;
constexpr int kAudioTrack = 1070;

// Per-column controls, columns L, R, C, LFE, LS, RS.
constexpr int kRouting[6] = {1015, 1022, 1023, 1024, 1025, 1026};
constexpr int kGainSlider[6] = {1030, 1031, 1032, 1033, 1034, 1035};
constexpr int kGainText[6] = {1036, 1037, 1038, 1039, 1040, 1041};
constexpr int kPeakText[6] = {1042, 1043, 1044, 1045, 1046, 1047};
constexpr int kCurveView[6] = {1048, 1049, 1050, 1051, 1052, 1055};

}  // namespace tavrisk::ctl

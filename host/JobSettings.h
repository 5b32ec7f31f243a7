// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "dsp/ChannelConfiguration.h"
#include "dsp/ChannelSettings.h"
#include "dsp/LoudnessTarget.h"
#include "dsp/Resampler.h"
#include "platform/WavChannelOrder.h"

namespace tavrisk {

// How much of the machine a job may take: the process's scheduling priority.
enum class ProcessPriority { kNormal, kIdle, kHigh };

// Everything a job is told, as typed values read once when it starts: the front end's model
// makes it (the window's controls or the command line's options, through the same handlers),
// and the job, its source, its engine and the processing chain take it. What a user may
// change while a job runs is not here: the job host's live controls carry it.
struct JobSettings {
    std::string inputName;
    std::string outputName;
    // The job only measures its input's loudness: nothing is written.
    bool measureOnly = false;
    // The job's loudness is measured (loudness normalisation measures its input anyway).
    bool measureLoudness = true;
    // The output engine's command-line name ("mp2", "wav", ...); empty without a selection.
    std::string engine;
    // The input is read through the filter graph rather than by a native source.
    bool graphProcessing = false;
    // The input's audio track the graph reads (from 0); nothing: the first with the most
    // channels up to 5.1.
    std::optional<std::size_t> audioTrack;
    // Sample rates in Hz: the input's (44100 or 48000) and the output's (0 without a
    // selection).
    int inputRate = 48000;
    int outputRate = 48000;
    // The MP2 engine's bitrate in kbit/s; -1 without a selection.
    int bitrateKbps = 384;
    // Threads the MP2 engine encodes frames on; 1 encodes them one after the other.
    int encoderThreads = 1;
    // The channels of the MP2 engine's stream; the job's six are folded into them.
    ChannelConfiguration streamChannels;
    // The input is converted from inputRate to outputRate, by this kind of converter.
    bool resample = false;
    ResamplerKind resampler = ResamplerKind::kSoxr;
    // Positive inserts silence at the start, negative skips input.
    int32_t resyncMs = 0;
    // Normalise and DRP switches, curves and release times, and the controls at the start
    // (routing, slider positions, link groups).
    ChannelJobSettings channels;
    // What "Normalize" raises (the peaks or the loudness), the loudness target and the
    // true-peak ceiling.
    LoudnessNormalization loudness;
    ProcessPriority priority = ProcessPriority::kNormal;
    WavChannelOrder wavOrder = WavChannelOrder::kStandard;
};

}  // namespace tavrisk

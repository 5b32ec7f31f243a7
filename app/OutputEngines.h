// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/DiagnosticSink.h"

namespace tavrisk {

class JobHost;
class OutputEngine;

// An output engine as the window's "Output Engine" combo, the command line and the Transcode
// job know it.
struct OutputEngineKind {
    const char* label;      // the combo's item
    const char* cliName;    // the value of --engine
    const char* extension;  // of the output file ("" for an engine that writes a folder)
    bool writesFolder;      // six mono files into the folder the output names
    bool bitrateApplies;    // the bitrate combo is enabled for it
    // The files it writes for an output name: the output itself, or the folder's six files.
    std::vector<std::string> (*outputFiles)(const std::string& output);
    std::unique_ptr<OutputEngine> (*make)(JobHost& host);
};

// Every engine, in the order of the combo's items; the first one is the default.
std::span<const OutputEngineKind> OutputEngineKinds();
// The engine of a combo item; null without a selection or for an item out of range.
const OutputEngineKind* OutputEngineOfItem(int item);
// The combo item of the engine called `cliName` on the command line, or -1.
int OutputEngineItemNamed(std::string_view cliName);
// The engine called `cliName` on the command line; null for another name.
const OutputEngineKind* OutputEngineNamed(std::string_view cliName);
// A front end that draws its own progress turns the MP2 encoder's per-frame counter off for
// the engines made afterwards.
void AllowEncoderFrameCounter(bool allowed);
// A front end names where the MP2 encoder's diagnostics go (reports, errors) for the engines
// made afterwards; without a call they are dropped. The sink must outlive them.
void SetEncoderDiagnostics(DiagnosticSink* sink);

}  // namespace tavrisk

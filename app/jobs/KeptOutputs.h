// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "host/JobHost.h"
#include "platform/OutputFile.h"

namespace tavrisk {

// What a front end says when a job was stopped, from where its outputs were kept: nothing
// written, the output kept under its name, or kept as a partial file beside an earlier one.
std::string StopReport(const std::vector<KeptOutput>& kept);
// True when an output was kept as a partial file beside an earlier file of its name.
bool KeptBesideEarlier(const std::vector<KeptOutput>& kept);
// After a failed job: a message box saying where the partial output is kept (none when
// nothing was kept).
void ReportFailedJobOutputs(JobHost& host, const std::vector<KeptOutput>& kept);

}  // namespace tavrisk

#pragma once

#include <optional>
#include <string>

namespace tavrisk {

// Which native source reads a file: the WAV source for any name with ".WAV" in it (in any
// case, also in a folder name), the AC-3 source for every other one.
bool IsWavInputName(const std::string& name);

// The sample rate a native input file declares (a WAV file's "fmt " record, the first
// frame of an AC-3 stream or AVI track), or nothing when it cannot be read.
std::optional<int> ProbeInputRate(const std::string& path);

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "sources/ac3/AviAudioTrack.h"

namespace tavrisk {

// The bytes of an AC-3 input: a raw stream file, or the audio track of an AVI file (named
// so), in stream order with their position and total for the progress.
class Ac3ByteInput {
  public:
    enum class OpenResult { kOk, kNoFile, kNoAviTrack };
    using ReadResult = AviAudioTrack::ReadResult;

    OpenResult Open(const std::string& name);
    void Close();
    bool Rewind();
    // Fills all `count` bytes of `buffer`; kEnd when the input ends first, kNotAc3 for an
    // AVI track of another codec, kError with ErrorText() otherwise.
    ReadResult Read(uint8_t* buffer, std::size_t count);

    bool IsAvi() const { return aviInput; }
    int64_t Position() const;
    int64_t Size() const { return size; }
    const char* ErrorText() const { return errorText; }

  private:
    struct FileClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool aviInput = false;
    AviAudioTrack avi;
    std::unique_ptr<std::FILE, FileClose> stream;
    int64_t size = 0;
    const char* errorText = nullptr;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3ByteInput.h"

#include <cerrno>
#include <cstring>

namespace tavrisk {

Ac3ByteInput::OpenResult Ac3ByteInput::Open(const std::string& name) {
    Close();
    aviInput = AviAudioTrack::IsAviInput(name);
    if (aviInput) {
        if (!avi.Open(name)) return OpenResult::kNoAviTrack;
        size = avi.Length();
        return OpenResult::kOk;
    }
    stream.reset(std::fopen(name.c_str(), "rb"));
    if (!stream || std::fseek(stream.get(), 0, SEEK_END) != 0) return OpenResult::kNoFile;
    size = ftello(stream.get());
    return std::fseek(stream.get(), 0, SEEK_SET) == 0 ? OpenResult::kOk : OpenResult::kNoFile;
}

void Ac3ByteInput::Close() {
    avi.Close();
    stream.reset();
    size = 0;
}

bool Ac3ByteInput::Rewind() {
    if (aviInput) return avi.Rewind();
    return stream && std::fseek(stream.get(), 0, SEEK_SET) == 0;
}

int64_t Ac3ByteInput::Position() const {
    if (aviInput) return avi.Position();
    return stream ? ftello(stream.get()) : 0;
}

Ac3ByteInput::ReadResult Ac3ByteInput::Read(uint8_t* buffer, std::size_t count) {
    if (aviInput) return avi.Read(buffer, count);
    if (!stream) return ReadResult::kEnd;
    if (std::fread(buffer, 1, count, stream.get()) == count) return ReadResult::kOk;
    if (std::feof(stream.get())) return ReadResult::kEnd;
    errorText = std::strerror(errno);
    return ReadResult::kError;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3RateProbe.h"

#include "sources/ac3/Ac3ByteInput.h"
#include "sources/ac3/Ac3FrameReader.h"

namespace tavrisk {
namespace {

constexpr const char* kProbeReadError = "read error";

// The input of the probe running on this thread (the reader's callback carries no context).
thread_local Ac3ByteInput* probedInput = nullptr;

const char* ReadProbed(uint8_t* buffer, int length) {
    switch (probedInput->Read(buffer, static_cast<std::size_t>(length))) {
        case Ac3ByteInput::ReadResult::kOk:
            return nullptr;
        case Ac3ByteInput::ReadResult::kEnd:
            return ac3::kEndOfInput;
        case Ac3ByteInput::ReadResult::kNotAc3:
        case Ac3ByteInput::ReadResult::kError:
            break;
    }
    return kProbeReadError;
}

}  // namespace

std::optional<int> ProbeAc3Rate(const std::string& path) {
    Ac3ByteInput input;
    if (input.Open(path) != Ac3ByteInput::OpenResult::kOk) return std::nullopt;
    ac3::Ac3FrameReader reader;
    probedInput = &input;
    const auto result = reader.Next(&ReadProbed);
    probedInput = nullptr;
    if (result != ac3::Ac3FrameReader::Result::kFrame) return std::nullopt;
    return reader.Header().SampleRate();
}

}  // namespace tavrisk

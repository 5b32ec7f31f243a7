// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3Library.h"

#include <memory>

#include "sources/ac3/Ac3LibraryState.h"

namespace tavrisk {
namespace {

std::unique_ptr<ac3::Ac3LibraryState>& State() {
    static std::unique_ptr<ac3::Ac3LibraryState> state;
    return state;
}

constexpr const char* kSyncLostFormat = "AC3 sync lost: %d bytes skipped before the frame at ";
constexpr const char* kUnknownWarning = "AC3 warning %d";

}  // namespace

int32_t ac3_init() {
    auto state = std::make_unique<ac3::Ac3LibraryState>();
    if (!state->Start()) return kAc3Error;
    State() = std::move(state);
    return kAc3Ok;
}

int32_t ac3_regsettings(const Ac3Settings* settings) {
    if (!State() || settings == nullptr) return kAc3NotReady;
    return State()->Register(*settings);
}

int32_t ac3_getchannels() {
    return State() ? State()->Channels() : 0;
}

int32_t ac3_readframe(uint8_t* frameBuffer, Ac3ReadCallback read) {
    if (!State() || frameBuffer == nullptr || read == nullptr) return kAc3NotReady;
    return State()->ReadFrame(frameBuffer, read);
}

int32_t ac3_decodebsi(const uint8_t* frameBuffer, uint8_t* record) {
    if (!State() || frameBuffer == nullptr || record == nullptr) return kAc3NotReady;
    return State()->DecodeBsi(frameBuffer, record);
}

int32_t ac3_decode(const uint8_t* frameBuffer, float* decodeBuffer) {
    if (!State() || frameBuffer == nullptr || decodeBuffer == nullptr) return kAc3NotReady;
    return State()->Decode(frameBuffer, decodeBuffer);
}

int32_t ac3_getinfo(Ac3FrameInfo* info) {
    if (!State() || info == nullptr) return kAc3NotReady;
    State()->GetInfo(*info);
    return kAc3Ok;
}

const char* ac3_warningmsg(int code) {
    return code == kAc3WarningSyncLost ? kSyncLostFormat : kUnknownWarning;
}

int32_t ac3_free() {
    State().reset();
    return kAc3Ok;
}

}  // namespace tavrisk

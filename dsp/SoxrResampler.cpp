// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/SoxrResampler.h"

#include <soxr.h>

namespace tavrisk {

uint64_t SoxrResampler::OutputSpan(uint64_t inputFrames) const {
    return (inputFrames * outputRate + inputRate - 1) / inputRate;
}

void SoxrResampler::HandleDeleter::operator()(soxr* handle) const {
    soxr_delete(handle);
}

std::unique_ptr<SoxrResampler> SoxrResampler::Create(std::string& error, int inputRate,
                                                     int outputRate) {
    // libsoxr's defaults are what this needs: interleaved floats in and out, high quality
    // (20-bit precision), linear phase, one thread.
    soxr_error_t failure = nullptr;
    Handle handle(
        soxr_create(inputRate, outputRate, kChannels, &failure, nullptr, nullptr, nullptr));
    if (!handle || failure) {
        error = std::string("rate conversion: ") + soxr_strerror(failure);
        return nullptr;
    }
    return std::unique_ptr<SoxrResampler>(
        new SoxrResampler(std::move(handle), inputRate, outputRate));
}

void SoxrResampler::Reset() {
    soxr_clear(handle.get());
    consumed = emitted = 0;
}

std::size_t SoxrResampler::MaxOutput(std::size_t count) const {
    // libsoxr gives no output ahead of the input's time, and at the end no more than its
    // duration rounded to whole frames.
    return static_cast<std::size_t>(OutputSpan(consumed + count) - emitted);
}

std::size_t SoxrResampler::Push(const Frame* in, std::size_t count, Frame* out) {
    // (No input at all would read as the end of the input.)
    if (count == 0) return 0;
    const std::size_t room = MaxOutput(count);
    // Without a count of input taken libsoxr takes all of it; output beyond the room would
    // wait inside it for the next call.
    std::size_t made = 0;
    soxr_process(handle.get(), in->data(), count, nullptr, out->data(), room, &made);
    consumed += count;
    emitted += made;
    return made;
}

std::size_t SoxrResampler::Flush(Frame* out) {
    const std::size_t room = MaxOutput(0);
    std::size_t made = 0;
    while (made < room) {
        std::size_t given = 0;
        soxr_process(handle.get(), nullptr, 0, nullptr, out[made].data(), room - made, &given);
        if (given == 0) break;
        made += given;
    }
    emitted += made;
    return made;
}

}  // namespace tavrisk

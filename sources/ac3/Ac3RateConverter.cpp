// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/Ac3RateConverter.h"

#include <climits>

#include "platform/Libav.h"

namespace tavrisk::ac3 {

void Ac3RateConverter::ContextFree::operator()(SwrContext* c) const {
    Libav().swr_free(&c);
}

bool Ac3RateConverter::Start(int from, int to) {
    Stop();
    if (LoadLibav() == nullptr) return false;
    // The same layout on both sides: the channels pass through unmixed.
    AVChannelLayout layout{};
    Libav().av_channel_layout_default(&layout, kChannels);
    SwrContext* created = nullptr;
    const int result = Libav().swr_alloc_set_opts2(&created, &layout, AV_SAMPLE_FMT_FLT, to,
                                                   &layout, AV_SAMPLE_FMT_FLT, from, 0, nullptr);
    Libav().av_channel_layout_uninit(&layout);
    context.reset(created);
    if (result < 0 || !context || Libav().swr_init(context.get()) < 0) {
        context.reset();
        return false;
    }
    fromRate = from;
    return true;
}

long Ac3RateConverter::Convert(const float* in, std::size_t count, float* out, std::size_t room) {
    if (!context || count > INT_MAX || room > INT_MAX) return -1;
    auto* target = reinterpret_cast<uint8_t*>(out);
    const auto* source = reinterpret_cast<const uint8_t*>(in);
    return Libav().swr_convert(context.get(), &target, static_cast<int>(room), &source,
                               static_cast<int>(count));
}

long Ac3RateConverter::Finish(float* out, std::size_t room) {
    if (!context || room > INT_MAX) return -1;
    auto* target = reinterpret_cast<uint8_t*>(out);
    const int written =
        Libav().swr_convert(context.get(), &target, static_cast<int>(room), nullptr, 0);
    Stop();
    return written;
}

void Ac3RateConverter::Stop() {
    context.reset();
    fromRate = 0;
}

}  // namespace tavrisk::ac3

#include "app/GraphRepairReport.h"

#include "sources/ac3/Ac3DamageLog.h"

namespace tavrisk {
namespace {

constexpr int kFallbackRate = 48000;
constexpr uint64_t kNanosPerSecond = 1000000000;

}  // namespace

GraphRepairReport::GraphRepairReport(const std::string& inputName,
                                     const StreamRepairs::Summary& repairs) {
    const int rate = repairs.firstRate > 0 ? repairs.firstRate : kFallbackRate;
    const auto samplesAt = [rate](uint64_t ns) {
        return static_cast<int64_t>(ns / kNanosPerSecond * rate +
                                    ns % kNanosPerSecond * rate / kNanosPerSecond);
    };
    ac3::Ac3DamageLog log;
    log.Start(rate);
    for (unsigned frame = 0; frame < repairs.damagedFrames; ++frame) {
        log.DamagedFrame(samplesAt(repairs.firstDamage));
    }
    for (const StreamRepairs::Stretch& stretch : repairs.stretches) {
        if (!stretch.layout.empty()) log.LayoutStretch(stretch.layout, samplesAt(stretch.at));
        if (stretch.rate > 0) log.RateStretch(stretch.rate, samplesAt(stretch.at));
    }
    text = log.Report(inputName);
    if (!log.Empty()) title = log.HasDamage() ? kDamageTitle : kFormatChangeTitle;
    if (repairs.libraryMessages > 0) {
        if (text.empty()) text = "'" + inputName + "':";
        const uint64_t count = repairs.libraryMessages;
        text += "\n" + std::to_string(count) +
                (count == 1 ? " decoder message" : " decoder messages") + "; --verbose shows them";
    }
}

}  // namespace tavrisk

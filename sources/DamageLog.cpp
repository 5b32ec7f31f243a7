// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/DamageLog.h"

#include <cinttypes>
#include <cstdio>

#include "platform/ClockUnits.h"

namespace tavrisk {
namespace {
constexpr int64_t kTenthsPerSecond = 10;
constexpr int64_t kCentisPerSecond = 100;
constexpr const char* kAt = "at";
constexpr const char* kFrom = "from";
// Lengths of filled or dropped stretches.
constexpr const char* kFillFormat = "%.3f s";
constexpr const char* kUnreadableFormat = "%.2f s";
}  // namespace

void DamageLog::Occurrences::Note(int64_t at, int times) {
    if (count == 0 || at < first) first = at;
    count += times;
}

void DamageLog::Start(int streamRate) {
    *this = {};
    rate = streamRate;
}

void DamageLog::DamagedFrames(int64_t at, int count) {
    if (count > 0) damagedFrames.Note(at, count);
}

void DamageLog::Gap(int64_t at, int64_t silentSamples) {
    gaps.Note(at);
    gaps.samples += silentSamples;
}

void DamageLog::TimestampGap(int64_t at, int64_t silentSamples) {
    timestampGaps.Note(at);
    timestampGaps.samples += silentSamples;
}

void DamageLog::Overlap(int64_t at, int64_t droppedSamples) {
    overlaps.Note(at);
    overlaps.samples += droppedSamples;
}

void DamageLog::EndedInsideFrame(int64_t at, int64_t silentSamples) {
    cutFrame = {};
    cutFrame.Note(at);
    cutFrame.samples = silentSamples;
}

void DamageLog::LeadingSilence(int64_t silentSamples) {
    leadingSilence += silentSamples;
}

void DamageLog::EndedEarly(int64_t end, int64_t stated) {
    endedAt = end;
    statedLength = stated;
}

void DamageLog::LayoutStretch(const std::string& layout, int64_t at) {
    NoteStretch(layouts, layout, at);
}

void DamageLog::RateStretch(int stretchRate, int64_t at) {
    NoteStretch(rates, std::to_string(stretchRate) + " Hz", at);
}

void DamageLog::NoteStretch(std::vector<Occurrences>& kinds, const std::string& name, int64_t at) {
    for (Occurrences& kind : kinds) {
        if (kind.name == name) return kind.Note(at);
    }
    kinds.push_back({name, 0, 0, 0});
    kinds.back().Note(at);
}

bool DamageLog::HasDamage() const {
    return damagedFrames.count > 0 || gaps.count > 0 || timestampGaps.count > 0 ||
           overlaps.count > 0 || cutFrame.count > 0 || endedAt >= 0 || !inputDamage.empty();
}

bool DamageLog::Empty() const {
    return !HasWarnings() && leadingSilence == 0 && libraryMessages == 0;
}

std::string DamageLog::FormatTime(int64_t at, int rate, int decimals) {
    const int64_t unitsPerSecond = decimals == 1 ? kTenthsPerSecond : kCentisPerSecond;
    const int64_t units = rate > 0 ? at * unitsPerSecond / rate : 0;
    const int64_t seconds = units / unitsPerSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%0*" PRId64,
                  seconds / kSecondsPerHour, seconds / kSecondsPerMinute % kMinutesPerHour,
                  seconds % kSecondsPerMinute, decimals, units % unitsPerSecond);
    return text;
}

std::string DamageLog::Seconds(int64_t samples, const char* format) const {
    char text[48];
    std::snprintf(text, sizeof text, format, rate > 0 ? static_cast<double>(samples) / rate : 0.0);
    return text;
}

std::string DamageLog::Clock(int64_t samples) const {
    const int64_t tenths = rate > 0 ? samples * kTenthsPerSecond / rate : 0;
    const int64_t seconds = tenths / kTenthsPerSecond;
    char text[48];
    if (seconds >= kSecondsPerHour) {
        std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64 ".%" PRId64,
                      seconds / kSecondsPerHour, seconds / kSecondsPerMinute % kMinutesPerHour,
                      seconds % kSecondsPerMinute, tenths % kTenthsPerSecond);
    } else {
        std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ".%" PRId64,
                      seconds / kSecondsPerMinute, seconds % kSecondsPerMinute,
                      tenths % kTenthsPerSecond);
    }
    return text;
}

std::string DamageLog::Line(const Occurrences& kind, const std::string& one,
                            const std::string& many, const char* preposition,
                            const std::string& tail) const {
    const std::string time = FormatTime(kind.first, rate);
    if (kind.count == 1) return one + " " + preposition + " " + time + tail + "\n";
    return std::to_string(kind.count) + " " + many + ", the first " + preposition + " " + time +
           tail + "\n";
}

std::string DamageLog::TimedLine(const Occurrences& kind, const std::string& one,
                                 const std::string& many, const std::string& tail) const {
    const std::string time = FormatTime(kind.first, rate, 1);
    const std::string length = Seconds(kind.samples, kFillFormat);
    if (kind.count == 1) return length + " " + one + " at " + time + tail + "\n";
    return std::to_string(kind.count) + " " + many + " (" + length + " in all), the first at " +
           time + "\n";
}

std::string DamageLog::Report(const std::string& inputName) const {
    if (Empty()) return {};
    // Sound that ends short of its stated length may have lost time anywhere (a demuxer can
    // close up a damaged stretch): the timeline is then not said to be kept.
    std::string text = "'" + inputName + "' was read to its end, " +
                       (endedAt >= 0 ? "short of its stated length" : "keeping its timeline") +
                       ":\n";
    if (leadingSilence > 0) {
        text += Seconds(leadingSilence, kFillFormat) + " of silence before the first audio\n";
    }
    if (damagedFrames.count > 0) {
        text += Line(damagedFrames, "1 damaged frame replaced by silence",
                     "damaged frames replaced by silence", kAt, "");
    }
    if (gaps.count > 0) {
        const std::string seconds = Seconds(gaps.samples, kUnreadableFormat);
        text +=
            Line(gaps, "1 gap of unreadable bytes (" + seconds + " of silence in its place)",
                 "gaps of unreadable bytes (" + seconds + " of silence in their place)", kAt, "");
    }
    if (timestampGaps.count > 0) {
        text += TimedLine(timestampGaps, "gap", "gaps filled with silence", " filled with silence");
    }
    if (overlaps.count > 0) {
        text += TimedLine(overlaps, "of overlapping audio dropped", "overlaps dropped", "");
    }
    for (const Occurrences& layout : layouts) {
        text += Line(layout, "a stretch in " + layout.name, "stretches in " + layout.name, kFrom,
                     ", mapped into 5.1");
    }
    const std::string converted = ", converted to " + std::to_string(rate) + " Hz";
    for (const Occurrences& other : rates) {
        text += Line(other, "a stretch at " + other.name, "stretches at " + other.name, kFrom,
                     converted);
    }
    if (cutFrame.count > 0) {
        text += "ends inside its last frame at " + FormatTime(cutFrame.first, rate) +
                ": that frame (" + Seconds(cutFrame.samples, kUnreadableFormat) +
                ") is cut short and replaced by silence\n";
    }
    if (endedAt >= 0)
        text += "input ended at " + Clock(endedAt) + " of " + Clock(statedLength) + "\n";
    if (!inputDamage.empty()) text += inputDamage + "\n";
    if (libraryMessages > 0) {
        text += std::to_string(libraryMessages) +
                (libraryMessages == 1 ? " decoder message" : " decoder messages") +
                "; --verbose shows them\n";
    }
    text.pop_back();  // the last line's newline
    return text;
}

}  // namespace tavrisk

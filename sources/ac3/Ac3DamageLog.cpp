#include "sources/ac3/Ac3DamageLog.h"

#include <cinttypes>
#include <cstdio>

namespace tavrisk::ac3 {
namespace {
constexpr int64_t kCentisPerSecond = 100;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kMinutesPerHour = 60;
constexpr const char* kAt = "at";
constexpr const char* kFrom = "from";
}  // namespace

void Ac3DamageLog::Occurrences::Note(int64_t at) {
    if (count++ == 0) first = at;
}

void Ac3DamageLog::Start(int streamRate) {
    *this = {};
    rate = streamRate;
}

void Ac3DamageLog::DamagedFrame(int64_t at) {
    damagedFrames.Note(at);
}

void Ac3DamageLog::Gap(int64_t at, int64_t silentSamples) {
    gaps.Note(at);
    gapSilence += silentSamples;
}

void Ac3DamageLog::LayoutStretch(const std::string& layout, int64_t at) {
    NoteStretch(layouts, layout, at);
}

void Ac3DamageLog::RateStretch(int stretchRate, int64_t at) {
    NoteStretch(rates, std::to_string(stretchRate) + " Hz", at);
}

void Ac3DamageLog::NoteStretch(std::vector<Occurrences>& kinds, const std::string& name,
                               int64_t at) {
    for (Occurrences& kind : kinds) {
        if (kind.name == name) return kind.Note(at);
    }
    kinds.push_back({name, 0, 0});
    kinds.back().Note(at);
}

bool Ac3DamageLog::Empty() const {
    return !HasDamage() && layouts.empty() && rates.empty();
}

std::string Ac3DamageLog::FormatTime(int64_t at, int rate) {
    const int64_t centis = rate > 0 ? at * kCentisPerSecond / rate : 0;
    const int64_t seconds = centis / kCentisPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%02" PRId64,
                  seconds / (kSecondsPerMinute * kMinutesPerHour),
                  seconds / kSecondsPerMinute % kMinutesPerHour, seconds % kSecondsPerMinute,
                  centis % kCentisPerSecond);
    return text;
}

std::string Ac3DamageLog::Line(const Occurrences& kind, const std::string& one,
                               const std::string& many, const char* preposition,
                               const std::string& tail) const {
    const std::string time = FormatTime(kind.first, rate);
    if (kind.count == 1) return one + " " + preposition + " " + time + tail + "\n";
    return std::to_string(kind.count) + " " + many + ", the first " + preposition + " " + time +
           tail + "\n";
}

std::string Ac3DamageLog::Report(const std::string& inputName) const {
    if (Empty()) return {};
    std::string text = "'" + inputName + "' was read to its end, keeping its timeline:\n";
    if (damagedFrames.count > 0) {
        text += Line(damagedFrames, "1 damaged frame replaced by silence",
                     "damaged frames replaced by silence", kAt, "");
    }
    if (gaps.count > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s",
                      rate > 0 ? static_cast<double>(gapSilence) / rate : 0.0);
        text += Line(
            gaps,
            "1 gap of unreadable bytes (" + std::string(seconds) + " of silence in its place)",
            "gaps of unreadable bytes (" + std::string(seconds) + " of silence in their place)",
            kAt, "");
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
    text.pop_back();  // the last line's newline
    return text;
}

}  // namespace tavrisk::ac3

#include "graph/StreamRepairs.h"

#include "graph/Ac3DecoderElement.h"

namespace tavrisk {

void StreamRepairs::Clear() {
    std::lock_guard guard(lock);
    summary = {};
    damageTimes.clear();
    firstLayout.clear();
    currentLayout.clear();
    currentRate = 0;
}

bool StreamRepairs::NoteMessage(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_WARNING) return false;
    const GstStructure* details = nullptr;
    gst_message_parse_warning_details(message, &details);
    if (!details || !gst_structure_has_field(details, kDamageDetails)) return false;
    guint64 at = 0;
    guint frames = 1;
    gst_structure_get_uint64(details, kDamageTimestampField, &at);
    gst_structure_get_uint(details, kDamageFramesField, &frames);
    std::lock_guard guard(lock);
    if (damageTimes.size() < kMaxDamageTimes && !damageTimes.insert(at).second) return true;
    if (summary.damagedFrames == 0 || at < summary.firstDamage) summary.firstDamage = at;
    summary.damagedFrames += frames;
    return true;
}

void StreamRepairs::NoteFormat(const std::string& layout, int rate, uint64_t at) {
    std::lock_guard guard(lock);
    if (summary.firstRate == 0) {
        summary.firstRate = currentRate = rate;
        firstLayout = currentLayout = layout;
        return;
    }
    // Each new format is noted once, at its first stretch; a return to the first is not.
    Stretch stretch{layout != currentLayout && layout != firstLayout ? layout : "",
                    rate != currentRate && rate != summary.firstRate ? rate : 0, at};
    currentLayout = layout;
    currentRate = rate;
    if ((stretch.layout.empty() && stretch.rate == 0) ||
        summary.stretches.size() >= kMaxStretches) {
        return;
    }
    for (const Stretch& known : summary.stretches) {
        if (known.layout == stretch.layout && known.rate == stretch.rate && known.at == at) return;
    }
    summary.stretches.push_back(stretch);
}

StreamRepairs::Summary StreamRepairs::Snapshot() const {
    std::lock_guard guard(lock);
    return summary;
}

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/OutputBatch.h"

#include <algorithm>

namespace tavrisk {

namespace {

// Buffers the pool keeps ready: one being filled, one on its way downstream.
constexpr guint kPoolMinimum = 2;

}  // namespace

OutputBatch::~OutputBatch() {
    Reset();
}

bool OutputBatch::Takes(GstClockTime pts, int count, gsize sampleBytes, int sampleRate) const {
    if (buffer == nullptr) return true;
    if (sampleBytes != bytesPerSample || sampleRate != rate) return false;
    if (used + static_cast<gsize>(count) * sampleBytes > capacity) return false;
    if (!GST_CLOCK_TIME_IS_VALID(pts)) return true;
    if (!GST_CLOCK_TIME_IS_VALID(firstPts)) return false;
    // Stamps are read to the nearest sample: half a sample off is where the batch stands.
    const GstClockTime expected =
        firstPts + gst_util_uint64_scale(samples, GST_SECOND, static_cast<guint64>(rate));
    const GstClockTime halfSample = GST_SECOND / (2 * static_cast<guint64>(rate));
    return (pts > expected ? pts - expected : expected - pts) <= halfSample;
}

bool OutputBatch::Start(gsize bytes) {
    if (pool == nullptr || poolSize < bytes) {
        Reset();
        pool = gst_buffer_pool_new();
        GstStructure* config = gst_buffer_pool_get_config(pool);
        gst_buffer_pool_config_set_params(config, nullptr, static_cast<guint>(bytes), kPoolMinimum,
                                          0);
        if (!gst_buffer_pool_set_config(pool, config) || !gst_buffer_pool_set_active(pool, TRUE)) {
            Reset();
            return false;
        }
        poolSize = bytes;
    }
    if (gst_buffer_pool_acquire_buffer(pool, &buffer, nullptr) != GST_FLOW_OK) {
        buffer = nullptr;
        return false;
    }
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        buffer = nullptr;
        return false;
    }
    capacity = poolSize;
    return true;
}

uint8_t* OutputBatch::Room(int count, gsize sampleBytes, int sampleRate) {
    if (buffer == nullptr) {
        const gsize bytes = static_cast<gsize>(std::max(count, kSamples)) * sampleBytes;
        if (!Start(bytes)) return nullptr;
        bytesPerSample = sampleBytes;
        rate = sampleRate;
        used = 0;
        samples = 0;
        inputFrames = 0;
        firstPts = GST_CLOCK_TIME_NONE;
    }
    return map.data + used;
}

void OutputBatch::Added(GstClockTime pts, int count, int frames) {
    if (samples == 0) firstPts = pts;
    used += static_cast<gsize>(count) * bytesPerSample;
    samples += static_cast<uint64_t>(count);
    inputFrames += frames;
}

GstBuffer* OutputBatch::Take(int& frames) {
    frames = 0;
    if (buffer == nullptr) return nullptr;
    gst_buffer_unmap(buffer, &map);
    GstBuffer* taken = buffer;
    buffer = nullptr;
    frames = inputFrames;
    if (used == 0) {
        gst_buffer_unref(taken);
        return nullptr;
    }
    gst_buffer_set_size(taken, static_cast<gssize>(used));
    return taken;
}

void OutputBatch::Clear() {
    int frames = 0;
    if (GstBuffer* held = Take(frames)) gst_buffer_unref(held);
}

void OutputBatch::Reset() {
    Clear();
    if (pool != nullptr) {
        gst_buffer_pool_set_active(pool, FALSE);
        gst_object_unref(pool);
    }
    pool = nullptr;
    poolSize = 0;
}

}  // namespace tavrisk

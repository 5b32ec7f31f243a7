// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <utility>
#include <vector>

namespace tavrisk {

// Drops, as they enter decodebin's multiqueue, the data of the streams decodebin exposes
// undecoded (a film's video, pictures, text) while nothing reads them: the queue's thread for
// such a stream is then not woken for each of its packets and gaps, only for the events that
// frame the stream. Used on the pipeline owner's thread.
class UnreadStreamDrop {
  public:
    UnreadStreamDrop() = default;
    ~UnreadStreamDrop();
    UnreadStreamDrop(const UnreadStreamDrop&) = delete;
    UnreadStreamDrop& operator=(const UnreadStreamDrop&) = delete;

    // Drops the data of every unlinked, undecoded pad `decodebin` has exposed.
    void Attach(GstElement* decodebin);
    // Lets them through again.
    void Detach();

  private:
    static GstPadProbeReturn OnUnreadData(GstPad*, GstPadProbeInfo* info, gpointer);

    std::vector<std::pair<GstPad*, gulong>> dropped;  // queue inputs (references of our own)
};

}  // namespace tavrisk

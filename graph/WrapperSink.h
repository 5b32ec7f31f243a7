// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "ProjectVersion.h"
#include "graph/AudioLayout.h"
#include "graph/GraphOutcome.h"

namespace tavrisk {

// "Tavrisk Wrapper": the sink element that takes the decoded audio out of a pipeline. It does
// not play, time or store what it receives: each buffer is handed, on the streaming thread
// that delivered it, to the receiver attached to the element. Rank none, so that auto-plugging
// never picks it; sync off; a "location" property that is only stored.
inline constexpr const char* kWrapperFactoryName = "tavriskwrapper";
inline constexpr const char* kWrapperLongName = "Tavrisk Wrapper";
inline constexpr std::size_t kWrapperMaxLocation = 260;

// The plugin that carries the wrapper, registered by the program itself and built as a
// loadable module, with the project's version, licence and home page.
inline constexpr const char* kPluginName = "tavrisk";
inline constexpr const char* kPluginDescription = "The transcoder's own elements";
inline constexpr const char* kPluginVersion = TAVRISK_VERSION;
inline constexpr const char* kPluginLicense = TAVRISK_LICENSE_GSTREAMER;
inline constexpr const char* kPluginPackage = TAVRISK_PACKAGE;
inline constexpr const char* kPluginOrigin = TAVRISK_HOMEPAGE;

// The negotiated format of the audio reaching the wrapper.
struct StreamFormat {
    int rate = 0;
    int channels = 0;
    bool s16 = false;        // interleaved signed 16-bit little-endian
    std::string layoutName;  // "mono", "stereo", "5.1", "7.1", ... or "N channels"
    // 16-bit or float audio whose channels the wrapper places into the six of a film by
    // position: it then delivers six values per frame whatever `channels` is.
    bool placed = false;
    // How a placed stream that is not plain 5.1 fills the six ("" for 5.1): DescribeMapping.
    std::string mapping{};
    bool f32 = false;  // interleaved 32-bit float little-endian, full scale +-1.0
    // Set when six channels come as the stream has them, for a receiver that places them
    // itself: where each of L, C, R, LS, RS, LFE sits in a frame.
    std::optional<std::array<int, kFilmChannels>> slotInFrame{};
};

// Where delivered samples belong on the programme's clock, in nanoseconds of running time
// (0 is the start of the programme, as the container states it).
struct SampleTiming {
    std::optional<uint64_t> startNs;  // of the first sample; none when the buffer has no time
    std::optional<uint64_t> endNs;    // where the stream's segment ends; none when open
    // How far the segment's start lies past the stream's zero, when a demuxer starts it at
    // the first timestamp: the container's stated length counts from that zero.
    uint64_t startOffsetNs = 0;
};

// Receives what the wrapper is given; both calls come on the streaming thread.
class SampleReceiver {
  public:
    virtual ~SampleReceiver() = default;
    // Before the first samples of a format (and again when it changes).
    virtual void FormatChanged(const StreamFormat& format) = 0;
    // `count` interleaved 16-bit values; a stream whose channels are placed comes as six per
    // frame in the order L, C, R, LS, RS, LFE (unless the format's slotInFrame says), whatever the
    // channel positions the decoder negotiated (a channel the stream lacks is silent). Samples
    // outside the stream's segment, and those the container marks as priming or padding, are left
    // out.
    virtual void DeliverSamples(const int16_t* values, std::size_t count,
                                const SampleTiming& timing = {}) = 0;
    // The same for a float stream: `count` values of full scale +-1.0, neither rounded nor
    // clipped.
    virtual void DeliverFloatSamples(const float* values, std::size_t count,
                                     const SampleTiming& timing = {}) = 0;
    // True for a receiver that takes a plain 5.1 stream in the stream's own channel order,
    // as StreamFormat::slotInFrame says, and so saves the reordering of every frame.
    virtual bool PlacesChannelsItself() const { return false; }
};

// True for an element of the wrapper's type.
bool IsWrapper(GstElement* element);
// Attaches a receiver (null detaches). Waits for a delivery in progress, so once it returns
// the old receiver is no longer called.
void SetWrapperReceiver(GstElement* wrapper, SampleReceiver* receiver);
// The "location" property: fails (nothing stored) for a name longer than 260 characters.
GraphOutcome SetWrapperLocation(GstElement* wrapper, const std::string& location);
// Registers the element with a plugin: used by InitGraphRuntime (the program's own static
// plugin) and by the loadable plugin for gst-inspect-1.0 and gst-launch-1.0.
gboolean RegisterWrapperElement(GstPlugin* plugin);

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/FrameParser.h"

namespace tavrisk::mp2dec {

void FrameParser::Parse(const uint8_t* frame, const FrameHeader& header, bool withExtension,
                        FrameContent& content, long frameNumber, ProblemLog& log,
                        std::span<const uint8_t> extensionFrame) {
    // The base layer writes every value of its channels; the extension's only where allocated.
    const int written = header.Channels();
    for (int p = written; withExtension && p < kTransmissionChannels; ++p)
        for (auto& row : content.positions[p]) row.fill(0.0);
    content.extension = ExtensionInfo{};
    content.lfe.fill(0.0);
    content.extensionValid = false;
    content.extensionUnsupported = false;

    BitReader reader(frame, static_cast<std::size_t>(header.FrameBytes()));
    content.baseValid = base.Read(frame, header, reader, content, frameNumber, log);
    if (withExtension && content.baseValid) {
        const auto result =
            extension.Read(frame, header, extensionFrame, reader, content, frameNumber, log);
        content.extensionValid = result == ExtensionReader::kValid;
        content.extensionUnsupported = result == ExtensionReader::kUnsupported;
    }
    content.bitsUsed = reader.Position();
}

}  // namespace tavrisk::mp2dec

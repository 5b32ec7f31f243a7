// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ContainerSignature.h"

#include <algorithm>
#include <fstream>
#include <string_view>
#include <vector>

namespace tavrisk {
namespace {

constexpr uint8_t kTsSync = 0x47;
constexpr std::size_t kTsPacket = 188;
constexpr std::size_t kM2tsPacket = 192;  // a 4-byte time code before each packet
constexpr std::size_t kM2tsPrefix = 4;
// Sync bytes in a row, packet after packet, that tell a transport stream from junk.
constexpr std::size_t kTsSyncsWanted = 3;

bool StartsWith(std::span<const uint8_t> bytes, std::size_t at, std::string_view text) {
    return bytes.size() >= at + text.size() &&
           std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

bool Contains(std::span<const uint8_t> bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end(), [](uint8_t a, char b) {
               return a == static_cast<uint8_t>(b);
           }) != bytes.end();
}

// Sync bytes at every packet start that the bytes reach, at least two of them.
bool IsTransportStream(std::span<const uint8_t> bytes, std::size_t first, std::size_t packet) {
    std::size_t syncs = 0;
    for (std::size_t at = first; at < bytes.size() && syncs < kTsSyncsWanted; at += packet) {
        if (bytes[at] != kTsSync) return false;
        ++syncs;
    }
    return syncs >= 2;
}

struct Signature {
    std::size_t at;
    std::string_view bytes;
    const char* name;
};

// Leading bytes of the containers, with what a message calls them.
constexpr Signature kSignatures[] = {
    {0, std::string_view("\x00\x00\x01\xBA", 4), "an MPEG program stream"},
    {0, std::string_view("\x00\x00\x01\xB3", 4), "an MPEG video stream"},
    {0, "OggS", "an Ogg file"},
    {0, "fLaC", "a FLAC file"},
    {0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11", "an ASF (Windows Media) file"},
    {4, "ftypqt", "a QuickTime file"},
    {4, "ftyp", "an MP4 file"},
    {4, "moov", "a QuickTime file"},
    {4, "mdat", "a QuickTime file"},
    {4, "wide", "a QuickTime file"},
    {8, "AVI ", "an AVI file"},
    {8, "WAVE", "a WAV file"},
};

}  // namespace

std::optional<std::string> ContainerOf(std::span<const uint8_t> head) {
    if (StartsWith(head, 0, "\x1A\x45\xDF\xA3")) {
        return Contains(head, "webm") ? "a WebM file" : "a Matroska file";
    }
    if (IsTransportStream(head, 0, kTsPacket) ||
        IsTransportStream(head, kM2tsPrefix, kM2tsPacket)) {
        return "an MPEG transport stream";
    }
    const bool riff = StartsWith(head, 0, "RIFF") || StartsWith(head, 0, "RF64");
    for (const Signature& signature : kSignatures) {
        const bool riffForm = signature.at == 8;
        if (riffForm && !riff) continue;
        if (StartsWith(head, signature.at, signature.bytes)) return signature.name;
    }
    if (riff) return "a RIFF file";
    return std::nullopt;
}

std::optional<std::string> ContainerOfFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<char> bytes(kContainerSignatureBytes);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return ContainerOf({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace tavrisk

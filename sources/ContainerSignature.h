// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tavrisk {

// How many leading bytes of a file ContainerOf looks at.
inline constexpr std::size_t kContainerSignatureBytes = 1024;

// The container a file's leading bytes show, as a phrase for a message ("an MPEG program
// stream", "a Matroska file", ...), or nothing for bytes of no known container (a raw
// stream, whatever junk comes before its first frame).
std::optional<std::string> ContainerOf(std::span<const uint8_t> head);

// The same for the first bytes of a file; nothing when it cannot be read.
std::optional<std::string> ContainerOfFile(const std::string& path);

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tavrisk::mp2 {

// Name the encoder's refusals start with.
constexpr const char* kProgramName = "tavrisk";

// One line the encoder has to say: a report (statistics and traces at the higher
// verbosities) or an error (refused settings, accounting faults).
struct EncoderMessage {
    enum Kind { kReport, kError };
    Kind kind = kReport;
    std::string text;  // as printed, with its own line end
};

// Collects the encoder's messages until its owner takes them; the encoder never prints.
class EncoderLog {
  public:
    void Report(std::string text) { messages.push_back({EncoderMessage::kReport, std::move(text)}); }
    void Error(std::string text) { messages.push_back({EncoderMessage::kError, std::move(text)}); }
    // The messages since the last call, oldest first.
    std::vector<EncoderMessage> Take() { return std::exchange(messages, {}); }
    bool Empty() const { return messages.empty(); }

  private:
    std::vector<EncoderMessage> messages;
};

// printf-style formatting into a string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tavrisk::mp2

#pragma once

#include <string>

#include "graph/StreamRepairs.h"

namespace tavrisk {

// The lines of a graph job's summary for what the decoding of its stream went past, in the
// native reader's words ("5 damaged frames replaced by silence, the first at 00:00:09.60",
// stretches mapped into 5.1 or converted to the first rate), and for the lines the libraries
// logged ("12 decoder messages; --verbose shows them"). Told once, when the job completed.
class GraphRepairReport {
  public:
    static constexpr const char* kDamageTitle = "Damaged audio stream";
    static constexpr const char* kFormatChangeTitle = "Audio stream changes format";
    static constexpr const char* kMessagesTitle = "Decoder messages";

    GraphRepairReport(const std::string& inputName, const StreamRepairs::Summary& repairs);

    bool Empty() const { return text.empty(); }
    const std::string& Text() const { return text; }
    const char* Title() const { return title; }

  private:
    std::string text;
    const char* title = kMessagesTitle;
};

}  // namespace tavrisk

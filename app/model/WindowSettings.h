// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrisk {

class TranscoderDialog;

// The window's settings kept from one run to the next, in the [Window] section of the
// settings file: the choices of its controls, the curves and release times, the folders used
// last and the window's size. A value the file lacks, or holds in a form that cannot be read,
// leaves its control as it is; the file's other sections stay as they were.
class WindowSettings {
  public:
    static constexpr const char* kSection = "Window";

    struct Size {
        int width = 0;
        int height = 0;
    };

    explicit WindowSettings(std::string path) : path(std::move(path)) {}

    // Sets the model's controls from the file, through its handlers. The window size stored
    // (0 x 0 when there is none).
    Size Restore(TranscoderDialog& model) const;
    // Writes the model's settings and the window's size; false when the file cannot be read
    // or written.
    bool Save(const TranscoderDialog& model, Size size) const;

  private:
    std::string path;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/EncoderLog.h"

#include <cstdarg>
#include <cstdio>

namespace tavrisk::mp2 {

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

}  // namespace tavrisk::mp2

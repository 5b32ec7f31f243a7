// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/IntegerField.h"

#include <cerrno>
#include <cstdlib>

namespace tavrisk {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<int> IntegerField::Read(const std::string& text) const {
    const char* begin = text.c_str();
    while (IsBlank(*begin)) ++begin;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE) return std::nullopt;
    while (IsBlank(*end)) ++end;
    if (*end != '\0' || parsed < low || parsed > high) return std::nullopt;
    return static_cast<int>(parsed);
}

std::string IntegerField::Refusal() const {
    return std::string(name) + ": please enter an integer between " + std::to_string(low) +
           " and " + std::to_string(high) + ".";
}

}  // namespace tavrisk

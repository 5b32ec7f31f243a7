// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrisk {

// A small ini file of "[section]" headers and "key=value" lines; stands in for the
// platform's profile functions and registry keys. Sections and keys are found without regard
// to case. Saving changes only the lines of the keys that were set or removed: comments,
// blank lines, unknown lines and their line ends stay byte for byte. The file is replaced
// whole, through a temporary file and a rename.
class IniFile {
  public:
    explicit IniFile(std::string path) : path(std::move(path)) {}

    // Reads the file; a missing file is an empty one. False when it exists but cannot be read
    // or is no regular file.
    bool Load();
    // Writes the file (creating its folder); false when that fails, the earlier file intact.
    bool Save() const;

    // The value of the first line of the key, or `fallback`.
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = "") const;
    // Replaces the value of the key's first line (which keeps its spelling of the key) and
    // drops its other lines; a new key goes after the last key of its section.
    // False, with nothing changed, for a key with a KeyProblem or a value with a line break.
    bool Set(const std::string& section, const std::string& key, const std::string& value);
    // Removes every line of the key.
    void Remove(const std::string& section, const std::string& key);
    // Removes the section's headers and every line under them.
    void RemoveSection(const std::string& section);
    // Section names and the keys of a section in file order, each once, as first spelled.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(const std::string& section) const;
    const std::string& Path() const { return path; }

    // Why `key` would not be read back as the same key ("" when it would be): blanks around
    // it are trimmed, "#" or ";" first make a comment and "[" a section header, "=" ends the
    // key, and a line break or other control character splits or damages the line.
    static std::string KeyProblem(std::string_view key);
    // Section and key names compare without regard to (ASCII) case.
    static bool SameName(std::string_view a, std::string_view b);

  private:
    struct Line {
        enum class Kind { kOther, kSection, kEntry };
        Kind kind = Kind::kOther;
        // The line as read, without its "\n" (a "\r" before it stays).
        std::string text;
        // The section it is or it belongs to; the entry's key and value.
        std::string section, key, value;
    };
    // A line under `currentSection` (null before the first header).
    static Line Parse(std::string text, const std::string* currentSection);
    Line NewLine(std::string text, const std::string& section) const;
    // Index of the first line of the key, or of the section's first header; lines.size()
    // when there is none.
    std::size_t FindEntry(const std::string& section, const std::string& key) const;
    std::size_t FindSection(const std::string& section) const;
    static std::vector<std::string>::const_iterator FindName(const std::vector<std::string>& names,
                                                             std::string_view name);

    std::string path;
    std::vector<Line> lines;
    // Line ends of lines written anew follow the file's first line.
    bool crlf = false;
    bool endsWithNewline = true;
};

}  // namespace tavrisk

// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IniFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/OutputFile.h"

namespace tavrisk {

namespace {

constexpr const char* kBlanks = " \t\r";

std::string Trim(std::string_view text) {
    const auto begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) return "";
    const auto end = text.find_last_not_of(kBlanks);
    return std::string(text.substr(begin, end - begin + 1));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::vector<std::string>::const_iterator IniFile::FindName(const std::vector<std::string>& names,
                                                           std::string_view name) {
    return std::find_if(names.begin(), names.end(),
                        [&](const std::string& known) { return SameName(known, name); });
}

bool IniFile::SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string IniFile::KeyProblem(std::string_view key) {
    if (key.find_first_not_of(" \t") == std::string_view::npos) return "is empty";
    if (IsBlank(key.front()) || IsBlank(key.back())) return "begins or ends with a blank";
    if (key.front() == '#' || key.front() == ';' || key.front() == '[')
        return "begins with \"#\", \";\" or \"[\"";
    if (key.find('=') != std::string_view::npos) return "holds \"=\"";
    for (const unsigned char c : key)
        if (c < 0x20 || c == 0x7F) return "holds a line break or another control character";
    return "";
}

IniFile::Line IniFile::Parse(std::string text, const std::string* currentSection) {
    Line line;
    const std::string content = Trim(text);
    line.text = std::move(text);
    if (currentSection) line.section = *currentSection;
    if (content.empty() || content[0] == ';' || content[0] == '#') return line;
    if (content[0] == '[') {
        const auto close = content.find(']');
        if (close == std::string::npos) return line;
        line.kind = Line::Kind::kSection;
        line.section = Trim(std::string_view(content).substr(1, close - 1));
        return line;
    }
    const auto equals = content.find('=');
    if (!currentSection || equals == std::string::npos) return line;
    line.kind = Line::Kind::kEntry;
    line.key = Trim(std::string_view(content).substr(0, equals));
    line.value = Trim(std::string_view(content).substr(equals + 1));
    return line;
}

IniFile::Line IniFile::NewLine(std::string text, const std::string& section) const {
    return Parse(crlf ? text + '\r' : text, &section);
}

bool IniFile::Load() {
    lines.clear();
    crlf = false;
    endsWithNewline = true;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return !ec;
    // A folder or a pipe of that name is no ini file (reading a folder throws, a pipe waits).
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    std::string section;
    bool inSection = false;
    for (std::size_t start = 0; start < content.size();) {
        auto end = content.find('\n', start);
        endsWithNewline = end != std::string::npos;
        if (!endsWithNewline) end = content.size();
        Line line = Parse(content.substr(start, end - start), inSection ? &section : nullptr);
        if (line.kind == Line::Kind::kSection) {
            section = line.section;
            inSection = true;
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    crlf = !lines.empty() && !lines.front().text.empty() && lines.front().text.back() == '\r';
    return true;
}

bool IniFile::Save() const {
    std::error_code ec;
    const std::filesystem::path file(path);
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    std::string content;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        content += lines[i].text;
        if (i + 1 < lines.size() || endsWithNewline) content += '\n';
    }
    OutputFile out;
    if (!out.Create(path)) return false;
    if (!out.Write(content.data(), content.size())) {
        out.Discard();
        return false;
    }
    return out.Commit();
}

std::size_t IniFile::FindEntry(const std::string& section, const std::string& key) const {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Kind::kEntry && SameName(lines[i].section, section) &&
            SameName(lines[i].key, key))
            return i;
    return lines.size();
}

std::string IniFile::Get(const std::string& section, const std::string& key,
                         const std::string& fallback) const {
    const std::size_t at = FindEntry(section, key);
    return at < lines.size() ? lines[at].value : fallback;
}

bool IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    if (!KeyProblem(key).empty() || value.find_first_of("\r\n") != std::string::npos) return false;
    const std::size_t at = FindEntry(section, key);
    if (at < lines.size()) {
        Line replaced = NewLine(lines[at].key + '=' + value, lines[at].section);
        // Later lines of the key would only hide behind this one.
        Remove(section, key);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(replaced));
        return true;
    }
    const std::size_t header = FindSection(section);
    if (header == lines.size()) {
        // The last line is ended before the new ones.
        endsWithNewline = true;
        lines.push_back(NewLine('[' + section + ']', section));
        lines.push_back(NewLine(key + '=' + value, section));
        return true;
    }
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < lines.size() && lines[i].kind != Line::Kind::kSection; ++i)
        if (lines[i].kind == Line::Kind::kEntry) insertAt = i + 1;
    if (insertAt == lines.size()) endsWithNewline = true;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 NewLine(key + '=' + value, lines[header].section));
    return true;
}

void IniFile::Remove(const std::string& section, const std::string& key) {
    std::erase_if(lines, [&](const Line& line) {
        return line.kind == Line::Kind::kEntry && SameName(line.section, section) &&
               SameName(line.key, key);
    });
}

void IniFile::RemoveSection(const std::string& section) {
    // Every line from a header of the section up to the next header goes.
    bool removing = false;
    std::erase_if(lines, [&](const Line& line) {
        if (line.kind == Line::Kind::kSection) removing = SameName(line.section, section);
        return removing;
    });
}

std::size_t IniFile::FindSection(const std::string& section) const {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Kind::kSection && SameName(lines[i].section, section)) return i;
    return lines.size();
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const Line& line : lines)
        if (line.kind == Line::Kind::kSection && FindName(names, line.section) == names.end())
            names.push_back(line.section);
    return names;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const Line& line : lines)
        if (line.kind == Line::Kind::kEntry && SameName(line.section, section) &&
            FindName(keys, line.key) == keys.end())
            keys.push_back(line.key);
    return keys;
}

}  // namespace tavrisk

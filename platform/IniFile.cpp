#include "platform/IniFile.h"

#include <filesystem>
#include <fstream>

namespace tavrisk {

namespace {

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

bool IniFile::Load() {
    sections.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    std::vector<std::pair<std::string, std::string>>* current = nullptr;
    while (std::getline(in, line)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text.front() == '[' && text.back() == ']') {
            sections.emplace_back(text.substr(1, text.size() - 2),
                                  decltype(sections)::value_type::second_type{});
            current = &sections.back().second;
            continue;
        }
        const auto equals = text.find('=');
        if (!current || equals == std::string::npos) continue;
        current->emplace_back(Trim(text.substr(0, equals)), Trim(text.substr(equals + 1)));
    }
    return !in.bad();
}

bool IniFile::Save() const {
    std::error_code ec;
    const std::filesystem::path file(path);
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream out(path, std::ios::trunc);
    for (const auto& [name, entries] : sections) {
        out << '[' << name << "]\n";
        for (const auto& [key, value] : entries) out << key << '=' << value << '\n';
    }
    out.flush();
    return static_cast<bool>(out);
}

std::string IniFile::Get(const std::string& section, const std::string& key,
                         const std::string& fallback) const {
    for (const auto& [name, entries] : sections) {
        if (name != section) continue;
        for (const auto& [k, v] : entries)
            if (k == key) return v;
    }
    return fallback;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    for (auto& [name, entries] : sections) {
        if (name != section) continue;
        for (auto& [k, v] : entries) {
            if (k == key) {
                v = value;
                return;
            }
        }
        entries.emplace_back(key, value);
        return;
    }
    sections.push_back({section, {{key, value}}});
}

void IniFile::RemoveSection(const std::string& section) {
    std::erase_if(sections, [&](const auto& entry) { return entry.first == section; });
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const auto& entry : sections) names.push_back(entry.first);
    return names;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const auto& [name, entries] : sections)
        if (name == section)
            for (const auto& entry : entries) keys.push_back(entry.first);
    return keys;
}

}  // namespace tavrisk

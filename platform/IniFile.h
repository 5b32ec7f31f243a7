#pragma once

#include <map>
#include <string>
#include <vector>

namespace tavrisk {

// A small ini file of "[section]" headers and "key=value" lines, read whole and written
// whole; stands in for the platform's profile functions and registry keys.
class IniFile {
  public:
    explicit IniFile(std::string path) : path(std::move(path)) {}

    // Reads the file; a missing file is an empty one. False when it exists but cannot be read.
    bool Load();
    // Writes the file (creating its folder); false when that fails.
    bool Save() const;

    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = "") const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void RemoveSection(const std::string& section);
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(const std::string& section) const;
    const std::string& Path() const { return path; }

  private:
    std::string path;
    // Sections and keys in file order.
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;
};

}  // namespace tavrisk

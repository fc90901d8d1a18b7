#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// What a job leaves: every file but the BIF files by path and content, and the BIF files'
// contents, names aside (a rerun may number them differently).
struct State {
    std::map<std::string, std::string> files;
    std::vector<std::string> bifs;
    bool operator==(const State&) const = default;
};

inline void PrintTo(const State& s, std::ostream* out) {
    *out << s.bifs.size() << " BIF files;";
    for (const auto& [name, content] : s.files)
        *out << " " << name;
}

} // namespace qm::test

#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Entries below a folder by their path relative to it ("/"-separated), with what they hold.
using FileContents = std::map<std::string, std::string>;

// What FolderContents shows beside files.
struct Shown {
    bool links = false;   // a link as "link " and its target, not followed; else as its file
    bool folders = false; // a folder as "folder"
    bool times = false;   // each entry's modification time before what it holds
};

// Every file below `root` with its content, and the links and folders `shown` asks for. A
// missing folder holds nothing.
inline FileContents FolderContents(const std::filesystem::path& root, Shown shown = {}) {
    namespace fs = std::filesystem;
    FileContents seen;
    if (!fs::exists(root))
        return seen;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).generic_string();
        std::string held;
        if (shown.links && entry.is_symlink())
            held = "link " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            held = ReadWhole(entry.path());
        else if (shown.folders && entry.is_directory())
            held = "folder";
        else
            continue;
        if (shown.times)
            held.insert(0,
                        std::to_string(entry.last_write_time().time_since_epoch().count()) + " ");
        seen[name] = std::move(held);
    }
    return seen;
}

// What a job leaves: every file but the BIF files by path and content, and the BIF files'
// contents, names aside (a rerun may number them differently).
struct State {
    std::map<std::string, std::string> files;
    std::vector<std::string> bifs;
    bool operator==(const State&) const = default;
};

// The state of these files: those ending in ".bif" are the BIF files.
inline State StateFrom(const FileContents& contents) {
    State s;
    for (const auto& [name, content] : contents) {
        if (name.ends_with(".bif"))
            s.bifs.push_back(content);
        else
            s.files[name] = content;
    }
    std::sort(s.bifs.begin(), s.bifs.end());
    return s;
}

inline void PrintTo(const State& s, std::ostream* out) {
    *out << s.bifs.size() << " BIF files;";
    for (const auto& [name, content] : s.files)
        *out << " " << name;
}

} // namespace qm::test

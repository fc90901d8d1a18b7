#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One thing wrong with a configuration file as a .sbf file. Loading takes what it can
// regardless (a missing line keeps its setting's value); these say why the job may not be
// what the user wrote.
struct ConfigFileProblem {
    int line = 0;       // the line it is about, 0 for the whole file
    bool minor = false; // the file loads the same (line ends other than CR LF)
    std::string text;
};

// How much of a file is looked at: far more than 17 lines of settings take.
inline constexpr std::size_t ConfigFileLookLimit = 1 << 20;

// The problems of a file whose first bytes are `bytes` (all of it when shorter than
// ConfigFileLookLimit): UTF-16 or not text at all (nothing else is said then), more or fewer
// than 17 lines, a format version other than 1, and once for the file, line ends other than
// CR LF.
std::vector<ConfigFileProblem> ConfigFileProblems(std::string_view bytes);

} // namespace qm

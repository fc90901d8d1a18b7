#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

class FileSystem;
class FileTools;

// The wanted BIF file name and the parts its numbered forms are made of: stem + number +
// suffix ("output" + "1" + ".bif"; a name without "." has no suffix). Raises when the wanted
// name is empty.
struct BifNameParts {
    std::string name;
    std::string stem;
    std::string suffix;

    std::string numbered(long long number) const { return stem + std::to_string(number) + suffix; }
};
BifNameParts SplitBifName(FileTools& tools, const std::string& bifPath);

// The smallest n >= 1 for which no listed file is named stem + n + suffix.
long long FirstFreeNumber(const std::vector<std::string>& listed, FileTools& tools,
                          std::string_view stem, std::string_view suffix);

} // namespace qm

#include "convert/BifName.h"

#include "convert/BifNames.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"

#include <string_view>
#include <vector>

namespace qm {

// One read of the folder instead of a probe for every numbered name: a job that writes many
// index files into one BIF folder would otherwise probe ever more names for each of them.
long long FirstFreeNumber(const std::vector<std::string>& listed, FileTools& tools,
                          std::string_view stem, std::string_view suffix) {
    // Of count + 1 numbers at least one is free, so larger numbers need no mark.
    std::vector<bool> taken(listed.size() + 2, false);
    for (const std::string& path : listed) {
        const long long number = NumberInName(tools.GetFName(path), stem, suffix);
        if (number < 0)
            continue;
        if (static_cast<unsigned long long>(number) < taken.size())
            taken[number] = true;
    }
    long long n = 1;
    while (taken[static_cast<std::size_t>(n)])
        ++n;
    return n;
}

BifNameParts SplitBifName(FileTools& tools, const std::string& bifPath) {
    BifNameParts parts;
    parts.name = tools.GetFName(bifPath);
    if (parts.name.empty())
        throw PathError(errnum::PathFileAccessError, bifPath, "no file name");
    parts.stem = tools.GetFBase(bifPath);
    const std::size_t dot = parts.stem.rfind('.');
    if (dot != std::string::npos) {
        parts.stem.resize(dot);
        parts.suffix = "." + tools.GetFExt(bifPath);
    }
    return parts;
}

} // namespace qm

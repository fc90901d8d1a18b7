#include "convert/BifName.h"

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
        const std::string name = tools.GetFName(path);
        if (name.size() <= stem.size() + suffix.size() || !name.starts_with(stem) ||
            !name.ends_with(suffix))
            continue;
        const std::string_view digits =
            std::string_view(name).substr(stem.size(), name.size() - stem.size() - suffix.size());
        // Only the decimal form without leading zeros is a name the search would make.
        if (digits.front() == '0' || digits.size() > 18 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        const unsigned long long number = std::stoull(std::string(digits));
        if (number < taken.size())
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

std::string FreeBifName(FileSystem& files, FileTools& tools, const std::string& bifPath,
                        const std::string& bifFolder) {
    const BifNameParts parts = SplitBifName(tools, bifPath);
    std::string name = parts.name;
    std::string candidate = bifFolder + "\\" + name;
    if (files.fileExists(candidate)) {
        for (long long n =
                 FirstFreeNumber(files.listFiles(bifFolder), tools, parts.stem, parts.suffix);
             ; ++n) {
            name = parts.numbered(n);
            candidate = bifFolder + "\\" + name;
            if (!files.fileExists(candidate)) // it may have appeared since the listing
                break;
        }
    }
    // A folder of that name would make the final rename fail after all the work, and
    // after the images were moved: better said now.
    if (files.folderExists(candidate))
        throw PathError(errnum::FileAlreadyExists, candidate, "a folder has this name");
    return name;
}

} // namespace qm

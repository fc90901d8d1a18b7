#include "convert/BifName.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"

#include <string_view>
#include <vector>

namespace qm {

namespace {

// The smallest n >= 1 for which no listed file is named stem + n + suffix. One read of the
// folder instead of a probe for every numbered name: a job that writes many index files into
// one BIF folder would otherwise probe ever more names for each of them.
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

} // namespace

std::string FreeBifName(FileSystem& files, FileTools& tools, const std::string& bifPath,
                        const std::string& bifFolder, const std::set<std::string>& alsoTaken) {
    std::string name = tools.GetFName(bifPath);
    if (name.empty())
        throw PathError(errnum::PathFileAccessError, bifPath, "no file name");
    std::string stem = tools.GetFBase(bifPath);
    const std::size_t dot = stem.rfind('.');
    const bool hasDot = dot != std::string::npos;
    if (hasDot)
        stem.resize(dot);
    const std::string extension = tools.GetFExt(bifPath);

    auto taken = [&](const std::string& candidate, const std::string& candidateName) {
        return alsoTaken.contains(candidateName) || files.fileExists(candidate);
    };
    std::string candidate = bifFolder + "\\" + name;
    if (taken(candidate, name)) {
        const std::string suffix = hasDot ? "." + extension : "";
        // A check plans names in a folder that is not made yet.
        std::vector<std::string> listed = alsoTaken.empty() || files.folderExists(bifFolder)
                                              ? files.listFiles(bifFolder)
                                              : std::vector<std::string>{};
        listed.insert(listed.end(), alsoTaken.begin(), alsoTaken.end());
        long long n = FirstFreeNumber(listed, tools, stem, suffix);
        for (;; ++n) {
            name = stem + std::to_string(n) + suffix;
            candidate = bifFolder + "\\" + name;
            if (!taken(candidate, name)) // it may have appeared since the listing
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

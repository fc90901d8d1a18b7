#include "convert/MoveConfinement.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/PathParts.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace qm {

namespace {

// The text with "/" as its only separator, no empty or "." component and each ".." removing
// the component before it; a leading separator (or two, for a share) is kept.
std::string LexicalForm(const std::string& path) {
    std::string out;
    std::size_t at = 0;
    while (at < path.size() && IsPathSeparator(path[at]) && at < 2) {
        out += '/';
        ++at;
    }
    std::vector<std::string> parts;
    while (at < path.size()) {
        std::size_t end = at;
        while (end < path.size() && !IsPathSeparator(path[end]))
            ++end;
        const std::string part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else
                parts.push_back(part); // above the start: stays, and never lies inside
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i == 0 ? "" : "/") + parts[i];
    return out;
}

bool StrictlyBelow(const std::string& path, const std::string& folder) {
    if (folder.empty())
        return false;
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
           path.find("/../", prefix.size() - 1) == std::string::npos && !path.ends_with("/..");
}

} // namespace

bool LiesInside(FileSystem& files, const std::string& path, const std::string& folder,
                std::string_view knownFolder) {
    if (path.empty() || folder.empty())
        return false;
    std::string resolvedPath;
    std::string resolvedFolder(knownFolder);
    try {
        resolvedPath = files.resolvedPath(path);
        if (resolvedFolder.empty())
            resolvedFolder = files.resolvedPath(folder);
    } catch (const Error& e) {
        // Only an unmapped drive or share is judged on the text: nothing there can be touched.
        // Anything else that cannot be resolved (a loop of links) is not known to lie inside.
        if (e.number() != errnum::PathNotFound)
            return false;
        return StrictlyBelow(LexicalForm(path), LexicalForm(folder));
    }
    return StrictlyBelow(resolvedPath, resolvedFolder);
}

Placement PartBelow(FileSystem& files, const std::string& path, const std::string& resolvedFolder,
                    std::string& part, ResolvedFolderCache* cache) {
    std::size_t cut = path.size();
    while (cut > 0 && !IsPathSeparator(path[cut - 1]))
        --cut;
    const std::string_view name = std::string_view(path).substr(cut);
    if (cut == 0 || name.empty() || name == "." || name == "..")
        return Placement::Outside;
    if (resolvedFolder.empty())
        return Placement::Unreachable;
    const std::string_view folder = std::string_view(path).substr(0, cut);
    if (cache != nullptr && !cache->resolved.empty() && cache->text == folder) {
        part = cache->resolved;
    } else {
        try {
            part = files.resolvedPath(std::string(folder));
        } catch (const Error& e) {
            return e.number() == errnum::PathNotFound ? Placement::Unreachable : Placement::Outside;
        }
        if (cache != nullptr) {
            cache->text.assign(folder);
            cache->resolved = part;
        }
    }
    // The folder itself or below it; what is below becomes the part.
    const std::size_t length =
        resolvedFolder.back() == '/' ? resolvedFolder.size() - 1 : resolvedFolder.size();
    if (part.compare(0, length, resolvedFolder, 0, length) != 0 ||
        (part.size() > length && part[length] != '/'))
        return Placement::Outside;
    part.erase(0, std::min(part.size(), length + 1));
    if (!part.empty())
        part += '/';
    part += name;
    return Placement::Below;
}

void CheckConfinedMove(FileSystem& files, const std::string& imagePath, const std::string& source,
                       const std::string& imageFolder, const std::string& target,
                       const std::string& bifFolder, ResolvedFolders resolved) {
    const std::string* left = nullptr;
    if (!LiesInside(files, source, imageFolder, resolved.images))
        left = &imageFolder;
    else if (!LiesInside(files, target, bifFolder, resolved.bif))
        left = &bifFolder;
    if (left != nullptr)
        RaiseMoveLeaves(imagePath, *left);
}

void RaiseMoveLeaves(const std::string& imagePath, const std::string& folder) {
    throw Error(errnum::MoveLeavesFolder, "Convert CSV to BIF",
                "Image path " + imagePath + " leaves the folder " + folder +
                    "!  Cannot move file!");
}

} // namespace qm

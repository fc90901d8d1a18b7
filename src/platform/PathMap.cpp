#include "platform/PathMap.h"

#include "platform/AsciiCase.h"
#include "platform/Error.h"
#include "platform/PathParts.h"
#include "platform/SettingsStore.h"

#include <algorithm>
#include <optional>
#include <string>

namespace qm {

namespace {

const std::string kApplication = "Quillmarch";

std::string::size_type FindSeparator(const std::string& text, std::string::size_type from) {
    const auto it =
        std::find_if(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), IsPathSeparator);
    return it == text.end() ? std::string::npos
                            : static_cast<std::string::size_type>(it - text.begin());
}

// Joins the host folder and the already converted rest with exactly one "/" between them.
std::string Join(std::string host, const std::string& rest) {
    if (rest.empty())
        return host;
    if (rest.front() == '/') {
        while (!host.empty() && host.back() == '/')
            host.pop_back();
    } else if (host.empty() || host.back() != '/') {
        host += '/';
    }
    return host + rest;
}

} // namespace

PathMap::PathMap(SettingsStore& store) : store_(store) {}

// Tells a person where to add the missing mapping.
std::string PathMap::whereMapped(const char* section) const {
    const std::string file = store_.location(SettingsScope::User, kApplication);
    return std::string(" in section [") + section + "] of " +
           (file.empty() ? std::string("the per-user settings") : file);
}

std::string PathMap::toHost(const std::string& path) const {
    // The system reads a name up to its first NUL byte: "a.tif\0-0001" would stand for
    // "a.tif", so a taken name would never look free. No file has such a name.
    if (path.find('\0') != std::string::npos)
        throw PathError(errnum::PathNotFound, path, "a path cannot hold a NUL byte");
    std::string host;
    std::string::size_type restStart = 0;
    bool mapped = false;

    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
        const std::string drive(1, AsciiUpper(path[0]));
        const auto folder = store_.read(SettingsScope::User, kApplication, "Drives", drive);
        // An empty host folder would put the drive at the host's root; treat it as unmapped.
        if (!folder || folder->empty())
            throw PathError(errnum::PathNotFound, path,
                            "drive " + drive + ": is not mapped" + whereMapped("Drives"));
        host = *folder;
        restStart = 2;
        mapped = true;
    } else if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        const auto serverEnd = FindSeparator(path, 2);
        const auto shareStart = serverEnd == std::string::npos ? path.size() : serverEnd + 1;
        const auto shareEnd = FindSeparator(path, shareStart);
        restStart = shareEnd == std::string::npos ? path.size() : shareEnd;
        const std::string server =
            path.substr(2, (serverEnd == std::string::npos ? path.size() : serverEnd) - 2);
        const std::string share = path.substr(shareStart, restStart - shareStart);
        std::optional<std::string> folder;
        if (!server.empty() && !share.empty()) {
            std::string key = server + "/" + share;
            std::transform(key.begin(), key.end(), key.begin(), AsciiLower);
            folder = store_.read(SettingsScope::User, kApplication, "Shares", key);
        }
        if (!folder || folder->empty())
            throw PathError(errnum::PathNotFound, path,
                            "share " + path.substr(0, restStart) + " is not mapped" +
                                whereMapped("Shares"));
        host = *folder;
        mapped = true;
    }

    std::string rest = path.substr(restStart);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return mapped ? Join(std::move(host), rest) : rest;
}

} // namespace qm

#include "platform/PathParts.h"

#include "platform/AsciiCase.h"

namespace qm {

namespace {

bool HasDrive(std::string_view path) {
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

// Where the last component starts: after the last separator, or after a drive prefix
// ("C:a.csv"), or at 0.
std::size_t NameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1]))
            return i;
    }
    return HasDrive(path) ? 2 : 0;
}

std::size_t FindSeparator(std::string_view path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i) {
        if (IsPathSeparator(path[i]))
            return i;
    }
    return path.size();
}

} // namespace

std::string GetFPath(std::string_view path) {
    const std::size_t nameStart = NameStart(path);
    if (nameStart == 0)
        return {};
    std::size_t end = nameStart;
    while (end > 0 && IsPathSeparator(path[end - 1]))
        --end;
    return std::string(path.substr(0, end));
}

std::string GetFName(std::string_view path) {
    return std::string(path.substr(NameStart(path)));
}

std::string GetFBase(std::string_view path) {
    return GetFName(path);
}

std::string GetFExt(std::string_view path) {
    const std::string_view name = path.substr(NameStart(path));
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return std::string(name.substr(dot + 1));
}

bool IsFullPath(std::string_view path) {
    if (HasDrive(path))
        return path.size() >= 3 && IsPathSeparator(path[2]);
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]))
        return true;
#ifdef _WIN32
    return false;
#else
    return !path.empty() && path[0] == '/';
#endif
}

std::size_t RootLength(std::string_view path) {
    if (HasDrive(path))
        return 2;
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        const std::size_t serverEnd = FindSeparator(path, 2);
        if (serverEnd == path.size())
            return path.size();
        return FindSeparator(path, serverEnd + 1);
    }
    if (!path.empty() && IsPathSeparator(path[0]))
        return 1;
    return 0;
}

} // namespace qm

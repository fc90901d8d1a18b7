#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// The text rules for paths. "\" and "/" are both separators; nothing here touches the disk.
// What callers rely on: GetFPath(p) + "\" + GetFName(p) names the same file as p once the
// host mapping has been applied, and the folder part never ends with a separator.

// The folder part: the text before the last separator, without closing separators.
// "C:\a.csv" -> "C:", "\\srv\share\a.csv" -> "\\srv\share", "C:a.csv" -> "C:" (the drive's
// folder), "a.csv" -> "". A name directly below the root ("/a.csv", "\a.csv") has the folder
// part "": no text for the root keeps root + "\" + name from reading as a share ("/\a.csv"
// is "\\a.csv"), while "" + "\" + "a.csv" still reaches "/a.csv".
std::string GetFPath(std::string_view path);

// The last component, extension included ("" for a path ending in a separator).
std::string GetFName(std::string_view path);

// The last component with its extension: callers cut it before its last ".".
std::string GetFBase(std::string_view path);

// The text after the last "." of the last component; "" when it has none; "*" for "x.*".
std::string GetFExt(std::string_view path);

// True for "C:\x" and "c:/x", for "\\server\share" (two leading separators), and on POSIX
// for a path that begins with "/". "\x", "C:x" and "x" are not full.
bool IsFullPath(std::string_view path);

// The length of the prefix that folders are created below and never created themselves: a
// drive ("C:"), a share ("\\server\share"), a leading root separator, or 0 for a relative
// path.
std::size_t RootLength(std::string_view path);

inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace qm

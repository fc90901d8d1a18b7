#pragma once

#include <string_view>

namespace qm {

// The directory wildcard match of one file name: "*" matches any run of characters, "?" one
// character, everything else matches itself exactly (letter case counts). A name beginning
// with "." never matches. A pattern ending in ".*" also matches a name without any dot, so
// "*.*" matches every name. Runs in time proportional to pattern length times name length.
bool WildcardMatch(std::string_view pattern, std::string_view name);

} // namespace qm

#pragma once

#include <string>
#include <string_view>

namespace qm {

// Text from index and job files as a terminal may show it: every control character becomes
// visible as "\xNN" (C0 controls, DEL, and C1 controls written in UTF-8 as "\xc2\xNN"), and a
// backslash stays as it is, so Windows paths read unchanged. An escape sequence in an image
// path can then neither recolour nor move the screen. Line feeds are kept when `keepLineFeeds`
// is set (a message of several lines) and shown as "\x0a" otherwise (one line of a report).
// Other bytes, code page 1252 letters and UTF-8 included, pass unchanged.
std::string VisibleText(std::string_view text, bool keepLineFeeds);

} // namespace qm

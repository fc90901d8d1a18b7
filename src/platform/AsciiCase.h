#pragma once

#include <string>
#include <string_view>

namespace qm {

// Letter case as the system ignores it: ASCII letters only; every other byte, those above
// 127 included, matches itself alone.
bool IsAsciiLetter(char c);
char AsciiLower(char c);
char AsciiUpper(char c);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Whether `text` holds `part` at `at`, ignoring letter case.
bool HoldsIgnoringCase(std::string_view text, std::size_t at, std::string_view part);

// Every occurrence of `part`, found from the left and not overlapping, removed in one pass:
// text that forms `part` only once an occurrence is gone stays. An empty part removes nothing.
void RemoveIgnoringCase(std::string& text, std::string_view part);

// `text` with every occurrence of `find` replaced, found from the left; the replacement is not
// searched again. Writes into `out`, reusing its capacity. An empty `find` replaces nothing.
void ReplaceIgnoringCase(std::string_view text, std::string_view find, std::string_view replacement,
                         std::string& out);

} // namespace qm

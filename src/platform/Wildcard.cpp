#include "platform/Wildcard.h"

namespace qm {

namespace {

// Greedy matching that remembers only the last "*": on a mismatch that "*" swallows one more
// character. No deeper backtracking is ever needed, so the cost stays polynomial.
bool Match(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (!name.empty() && name.front() == '.')
        return false;
    if (Match(pattern, name))
        return true;
    return pattern.ends_with(".*") && name.find('.') == std::string_view::npos &&
           Match(pattern.substr(0, pattern.size() - 2), name);
}

} // namespace qm

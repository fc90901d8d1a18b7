#include "platform/AsciiCase.h"

namespace qm {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool HoldsIgnoringCase(std::string_view text, std::size_t at, std::string_view part) {
    if (at > text.size() || text.size() - at < part.size())
        return false;
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (AsciiLower(text[at + i]) != AsciiLower(part[i]))
            return false;
    }
    return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && HoldsIgnoringCase(a, 0, b);
}

void RemoveIgnoringCase(std::string& text, std::string_view part) {
    if (part.empty())
        return;
    std::size_t write = 0;
    std::size_t read = 0;
    while (read < text.size()) {
        if (HoldsIgnoringCase(text, read, part)) {
            read += part.size();
            continue;
        }
        text[write++] = text[read++];
    }
    text.resize(write);
}

void ReplaceIgnoringCase(std::string_view text, std::string_view find, std::string_view replacement,
                         std::string& out) {
    out.clear();
    if (find.empty()) {
        out.assign(text);
        return;
    }
    std::size_t copied = 0;
    std::size_t at = 0;
    while (at + find.size() <= text.size()) {
        if (HoldsIgnoringCase(text, at, find)) {
            out.append(text, copied, at - copied);
            out += replacement;
            at += find.size();
            copied = at;
        } else {
            ++at;
        }
    }
    out.append(text, copied, std::string_view::npos);
}

} // namespace qm

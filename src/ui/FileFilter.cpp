#include "ui/FileFilter.h"

namespace qm::ui {

namespace {

std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Label(std::string_view label) {
    label = Trimmed(label);
    if (!label.empty() && label.back() == ')') {
        const std::size_t open = label.rfind('(');
        if (open != std::string_view::npos)
            label = Trimmed(label.substr(0, open));
    }
    return std::string(label);
}

std::string Patterns(std::string_view patterns) {
    std::string result;
    for (std::string_view pattern : SplitAt(patterns, ';')) {
        pattern = Trimmed(pattern);
        if (pattern.empty())
            continue;
        if (!result.empty())
            result += ' ';
        result += pattern == "*.*" ? "*" : std::string(pattern);
    }
    return result;
}

} // namespace

std::vector<std::string> NameFilters(std::string_view filterList) {
    const std::vector<std::string_view> parts = SplitAt(filterList, '|');
    std::vector<std::string> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string patterns = Patterns(parts[i + 1]);
        if (patterns.empty())
            continue;
        std::string label = Label(parts[i]);
        filters.push_back(label.empty() ? patterns : label + " (" + patterns + ")");
    }
    return filters;
}

} // namespace qm::ui

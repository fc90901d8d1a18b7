#include "convert/FieldMap.h"

#include <array>
#include <cstddef>

namespace qm {

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsUpper(std::string_view name, std::string_view keyword) {
    if (name.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (AsciiUpper(name[i]) != keyword[i])
            return false;
    }
    return true;
}

// Removes every occurrence of `keyword` (upper case) from `text`, ignoring letter case, in
// one pass from the left: text that only forms the keyword once an occurrence is gone stays.
void RemoveIgnoringCase(std::string& text, std::string_view keyword) {
    std::size_t write = 0;
    std::size_t read = 0;
    while (read < text.size()) {
        if (text.size() - read >= keyword.size() &&
            EqualsUpper(std::string_view(text).substr(read, keyword.size()), keyword)) {
            read += keyword.size();
            continue;
        }
        text[write++] = text[read++];
    }
    text.resize(write);
}

} // namespace

FieldMap AnalyseFieldNames(std::string_view fieldNames) {
    FieldMap map;
    if (fieldNames.empty())
        return map;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = fieldNames.find('|', start);
        if (bar == std::string_view::npos) {
            map.names.emplace_back(fieldNames.substr(start));
            break;
        }
        map.names.emplace_back(fieldNames.substr(start, bar - start));
        start = bar + 1;
    }

    for (std::size_t i = 0; i < map.names.size(); ++i) {
        const std::string& name = map.names[i];
        const int position = static_cast<int>(i);
        if (EqualsUpper(name, "BATCHID"))
            map.batchId = position;
        else if (EqualsUpper(name, "IMAGEPATH"))
            map.imagePath = position;
        else if (EqualsUpper(name, "PAGECOUNT"))
            map.pageCount = position;
        else if (EqualsUpper(name, "DOCTYPE"))
            map.docType = position;
        else if (EqualsUpper(name, "VWFOLDER"))
            map.vwFolder = position;
    }

    // Only the last column of a special name has its role; earlier ones are ordinary.
    map.roles.assign(map.names.size(), FieldRole::Ordinary);
    for (std::size_t i = 0; i < map.names.size(); ++i) {
        if (EqualsUpper(map.names[i], "SKIP"))
            map.roles[i] = FieldRole::Dropped;
    }
    auto setRole = [&map](int position, FieldRole role) {
        if (position >= 0)
            map.roles[static_cast<std::size_t>(position)] = role;
    };
    setRole(map.batchId, FieldRole::Dropped);
    setRole(map.pageCount, FieldRole::Dropped);
    setRole(map.imagePath, FieldRole::ImagePath);
    setRole(map.docType, FieldRole::DocType);
    setRole(map.vwFolder, FieldRole::VwFolder);
    return map;
}

std::string FieldNameList(std::string_view fieldNames) {
    static constexpr std::array<std::string_view, 6> removed = {"BATCHID", "IMAGEPATH", "PAGECOUNT",
                                                                "DOCTYPE", "VWFOLDER",  "SKIP"};
    std::string list(fieldNames);
    for (std::string_view keyword : removed)
        RemoveIgnoringCase(list, keyword);

    // Collapsing every run of bars to one bar is what repeated "||" -> "|" passes end in.
    std::size_t write = 0;
    for (std::size_t read = 0; read < list.size(); ++read) {
        if (list[read] == '|' && write > 0 && list[write - 1] == '|')
            continue;
        list[write++] = list[read];
    }
    list.resize(write);

    if (!list.empty() && list.back() == '|')
        list.pop_back();
    if (!list.empty() && list.front() == '|')
        list.erase(0, 1);
    return list;
}

} // namespace qm

#include "convert/FieldMap.h"

#include "platform/AsciiCase.h"

#include <array>
#include <cstddef>

namespace qm {

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
        if (EqualsIgnoringCase(name, "BATCHID"))
            map.batchId = position;
        else if (EqualsIgnoringCase(name, "IMAGEPATH"))
            map.imagePath = position;
        else if (EqualsIgnoringCase(name, "PAGECOUNT"))
            map.pageCount = position;
        else if (EqualsIgnoringCase(name, "DOCTYPE"))
            map.docType = position;
        else if (EqualsIgnoringCase(name, "VWFOLDER"))
            map.vwFolder = position;
    }

    // Only the last column of a special name has its role; earlier ones are ordinary.
    map.roles.assign(map.names.size(), FieldRole::Ordinary);
    for (std::size_t i = 0; i < map.names.size(); ++i) {
        if (EqualsIgnoringCase(map.names[i], "SKIP"))
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

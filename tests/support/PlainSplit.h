#pragma once

// Index-line splitting read as plainly as the rules say it, one character at a time: the
// reference the fast splitter is held against by a test and a fuzz target.
#include "convert/FieldMap.h"
#include "convert/IndexLine.h"

#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

inline std::string PlainStrip(std::string_view v) {
    while (!v.empty() && v.front() == ' ')
        v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ')
        v.remove_suffix(1);
    if (v.size() < 2 || v.front() != '"' || v.back() != '"')
        return std::string(v);
    v = v.substr(1, v.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        out += v[i];
        if (v[i] == '"' && i + 1 < v.size() && v[i + 1] == '"')
            ++i;
    }
    return out;
}

inline void PlainSplit(std::string_view line, const FieldMap& map, std::string_view delimiter,
                       CurrentValues& current, std::string& fieldLines) {
    std::vector<std::string> values;
    std::string value;
    bool quoted = false;
    const bool splits = delimiter.size() == 1;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            value += c;
        } else if (splits && c == delimiter[0] && !quoted) {
            values.push_back(value);
            value.clear();
        } else {
            value += c;
        }
    }
    if (!value.empty())
        values.push_back(value);
    int number = 1;
    for (std::size_t k = 0; k < values.size() && k < map.names.size(); ++k) {
        const std::string v = PlainStrip(values[k]);
        switch (map.roles[k]) {
        case FieldRole::Ordinary:
            fieldLines += "docNNNNN.field" + std::to_string(number++) + "=" + v + "\r\n";
            break;
        case FieldRole::ImagePath:
            current.imagePath = v;
            break;
        case FieldRole::DocType:
            current.docType = v;
            break;
        case FieldRole::VwFolder:
            current.folder = v;
            for (char& c : current.folder)
                if (c == '\\')
                    c = '/';
            break;
        case FieldRole::Dropped:
            break;
        }
    }
}

} // namespace qm::test

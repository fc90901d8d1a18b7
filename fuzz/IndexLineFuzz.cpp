// Splitting index lines on random field maps and delimiters, checked against a plain
// character-by-character reading of the rules: same field lines, same current values; each
// field line is "docNNNNN.field<k>=<value>" CR LF with k counting from 1 and no CR or LF in
// the value; StripQuotes never grows a text.
#include "FuzzWorld.h"
#include "convert/FieldMap.h"
#include "convert/IndexLine.h"

using namespace qm;

namespace {

std::string PlainStrip(std::string_view v) {
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

void PlainSplit(std::string_view line, const FieldMap& map, std::string_view delimiter,
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

void CheckFieldLines(const std::string& fieldLines, std::string_view line) {
    std::size_t at = 0;
    int number = 1;
    while (at < fieldLines.size()) {
        const std::string head = "docNNNNN.field" + std::to_string(number++) + "=";
        if (fieldLines.compare(at, head.size(), head) != 0)
            fuzz::Violation("a field line does not begin as it should", line);
        const std::size_t end = fieldLines.find_first_of("\r\n", at);
        if (end == std::string::npos || fieldLines.compare(end, 2, "\r\n") != 0)
            fuzz::Violation("a CR or LF inside a field value", line);
        at = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader input(data, size);
    const std::string names = input.text();
    const std::string delimiterSetting = input.text();
    const std::string rest = input.rest();

    const FieldMap map = AnalyseFieldNames(names);
    if (map.roles.size() != map.names.size())
        fuzz::Violation("a role for every name", names);
    (void)FieldNameList(names);
    const std::string delimiter = EffectiveDelimiter(delimiterSetting);

    CurrentValues current{"image", "type", "folder"};
    CurrentValues expected = current;
    std::string fieldLines;
    std::string expectedLines;
    // Lines as the reader gives them: never holding CR or LF.
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string_view line = std::string_view(rest).substr(start, end - start);
        fieldLines.clear();
        expectedLines.clear();
        SplitIndexLine(line, map, delimiter, current, fieldLines);
        PlainSplit(line, map, delimiter, expected, expectedLines);
        if (fieldLines != expectedLines || current.imagePath != expected.imagePath ||
            current.docType != expected.docType || current.folder != expected.folder)
            fuzz::Violation("the split differs from the plain reading of the rules", line);
        CheckFieldLines(fieldLines, line);
        const std::string stripped = StripQuotes(line);
        if (stripped.size() > line.size() || stripped != PlainStrip(line))
            fuzz::Violation("StripQuotes differs from the plain reading", line);
        start = end + 1;
    }
    return 0;
}

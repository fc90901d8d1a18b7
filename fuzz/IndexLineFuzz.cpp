// Splitting index lines on random field maps and delimiters, checked against a plain
// character-by-character reading of the rules: same field lines, same current values; each
// field line is "docNNNNN.field<k>=<value>" CR LF with k counting from 1 and no CR or LF in
// the value; StripQuotes never grows a text.
#include "FuzzWorld.h"
#include "convert/FieldMap.h"
#include "convert/IndexLine.h"
#include "support/PlainSplit.h"

using namespace qm;
using qm::test::PlainSplit;
using qm::test::PlainStrip;

namespace {

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

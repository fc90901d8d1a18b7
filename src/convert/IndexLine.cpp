#include "convert/IndexLine.h"

#include "operation/ErrorReporter.h"
#include "platform/AsciiCase.h"
#include "platform/Error.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <limits>

namespace qm {

namespace {

// Appends what StripQuotes(value) gives, without building it as a string of its own.
void AppendStripped(std::string_view value, std::string& out) {
    const std::size_t first = value.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return;
    value = value.substr(first, value.find_last_not_of(' ') - first + 1);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        out.append(value);
        return;
    }
    value = value.substr(1, value.size() - 2);
    // Each pair of quotes becomes one; the search goes on after the pair.
    for (;;) {
        const std::size_t pair = value.find("\"\"");
        if (pair == std::string_view::npos) {
            out.append(value);
            return;
        }
        out.append(value.substr(0, pair + 1));
        value.remove_prefix(pair + 2);
    }
}

void AppendNumber(std::string& out, int number) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    out.append(digits, result.ptr);
}

// Stores or writes one value by the role of its column.
void TakeValue(std::string_view value, FieldRole role, CurrentValues& current,
               std::string& fieldLines, int& fieldNumber) {
    switch (role) {
    case FieldRole::Ordinary:
        fieldLines.append("docNNNNN.field");
        AppendNumber(fieldLines, fieldNumber++);
        fieldLines.push_back('=');
        AppendStripped(value, fieldLines);
        fieldLines.append("\r\n");
        break;
    case FieldRole::ImagePath:
        current.imagePath.clear();
        AppendStripped(value, current.imagePath);
        break;
    case FieldRole::DocType:
        current.docType.clear();
        AppendStripped(value, current.docType);
        break;
    case FieldRole::VwFolder:
        current.folder.clear();
        AppendStripped(value, current.folder);
        for (char& c : current.folder) {
            if (c == '\\')
                c = '/';
        }
        break;
    case FieldRole::Dropped:
        break;
    }
}

// Walks the values of a line in column order, handing each with its position to `take`,
// which returns false to stop. A double quote switches the quote state and stays in the
// value; a delimiter outside quotes ends a value; an empty last value is no value. Returns
// whether a quote was left open at the point the walk ended.
template <class Take>
bool ForEachValue(std::string_view line, std::string_view delimiter, Take&& take) {
    const bool splits = delimiter.size() == 1;
    const char separator = splits ? delimiter.front() : '\0';
    std::size_t position = 0;
    std::size_t start = 0;
    bool quoted = false;
    if (splits) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (c == separator && !quoted) {
                if (!take(line.substr(start, i - start), position++))
                    return quoted;
                start = i + 1;
            }
        }
    } else {
        quoted = std::count(line.begin(), line.end(), '"') % 2 != 0;
    }
    if (start < line.size())
        take(line.substr(start), position);
    return quoted;
}

} // namespace

std::string EffectiveDelimiter(std::string_view setting) {
    std::string delimiter;
    delimiter.reserve(setting.size());
    for (std::size_t i = 0; i < setting.size();) {
        if (setting.compare(i, 3, "Tab") == 0) {
            delimiter.push_back('\t');
            i += 3;
        } else {
            delimiter.push_back(setting[i++]);
        }
    }
    return delimiter;
}

void SplitIndexLine(std::string_view line, const FieldMap& map, std::string_view delimiter,
                    CurrentValues& current, std::string& fieldLines) {
    const std::size_t columns = map.names.size();
    if (columns == 0)
        return;
    int fieldNumber = 1;
    // Values past the last name are ignored, so the rest of the line need not be read.
    ForEachValue(line, delimiter, [&](std::string_view value, std::size_t position) {
        TakeValue(value, map.roles[position], current, fieldLines, fieldNumber);
        return position + 1 < columns;
    });
}

LineShape MeasureIndexLine(std::string_view line, std::string_view delimiter) {
    LineShape shape;
    shape.quoteOpen = ForEachValue(line, delimiter, [&](std::string_view, std::size_t) {
        ++shape.values;
        return true;
    });
    return shape;
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(' ') == std::string_view::npos;
}

std::string_view WithoutByteOrderMark(std::string_view firstLine) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    if (firstLine.starts_with(mark))
        firstLine.remove_prefix(mark.size());
    return firstLine;
}

std::string StripQuotes(std::string_view value) {
    std::string stripped;
    AppendStripped(value, stripped);
    return stripped;
}

std::int16_t CountChar(std::string_view find, std::string_view text, ErrorReporter& reporter) {
    if (find.empty() || find.size() > text.size())
        return 0;
    constexpr long limit = std::numeric_limits<std::int16_t>::max();
    long count = 0;
    const std::size_t last = text.size() - find.size();
    const char head = AsciiLower(find.front());
    for (std::size_t i = 0; i <= last; ++i) {
        if (AsciiLower(text[i]) != head)
            continue;
        std::size_t k = 1;
        while (k < find.size() && AsciiLower(text[i + k]) == AsciiLower(find[k]))
            ++k;
        if (k == find.size() && ++count > limit) {
            reporter.ReportError(Error(errnum::Overflow, "Count Characters", "Overflow"),
                                 "Count Characters", "");
            return 0;
        }
    }
    return static_cast<std::int16_t>(count);
}

} // namespace qm

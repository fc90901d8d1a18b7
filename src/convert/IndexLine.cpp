#include "convert/IndexLine.h"

#include "operation/ErrorReporter.h"
#include "platform/AsciiCase.h"
#include "platform/Error.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// The position of the first double quote or `separator` at or after `from`, or the line's size.
// Eight bytes are looked at in one step: this scan is most of the work of splitting a line.
std::size_t NextQuoteOrSeparator(std::string_view line, std::size_t from, char separator) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highs = 0x8080808080808080u;
        const std::uint64_t quotes = ones * static_cast<unsigned char>('"');
        const std::uint64_t separators = ones * static_cast<unsigned char>(separator);
        for (; from + sizeof(std::uint64_t) <= line.size(); from += sizeof(std::uint64_t)) {
            std::uint64_t word;
            std::memcpy(&word, line.data() + from, sizeof word);
            // A byte equal to the one looked for becomes zero; the lowest zero byte sets the
            // lowest high bit (a borrow can mark bytes above it, never below).
            const std::uint64_t q = word ^ quotes;
            const std::uint64_t s = word ^ separators;
            const std::uint64_t found = (((q - ones) & ~q) | ((s - ones) & ~s)) & highs;
            if (found != 0)
                return from + static_cast<std::size_t>(std::countr_zero(found)) / 8;
        }
    }
    while (from < line.size() && line[from] != '"' && line[from] != separator)
        ++from;
    return from;
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
        for (std::size_t i = NextQuoteOrSeparator(line, 0, separator); i < line.size();
             i = NextQuoteOrSeparator(line, i + 1, separator)) {
            if (line[i] == '"') {
                quoted = !quoted;
            } else if (!quoted) {
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

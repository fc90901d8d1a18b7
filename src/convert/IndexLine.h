#pragma once

#include "convert/FieldMap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class ErrorReporter;

// The values a line overwrites when it has one in that column; a shorter line leaves the
// earlier line's value in place.
struct CurrentValues {
    std::string imagePath;
    std::string docType;
    std::string folder;
};

// The delimiter setting with every "Tab" replaced by a tab character. A delimiter that is
// not exactly one character long never splits a line.
std::string EffectiveDelimiter(std::string_view setting);

// Splits one index line: the ordinary fields are appended to `fieldLines` as
// "docNNNNN.field<k>=<value>\r\n" (k counting from 1; "NNNNN" is left for the block
// filler), the image path, document type and folder are assigned into `current` (the
// folder with every "\" turned into "/"). Every value is unwrapped by StripQuotes. A
// delimiter inside double quotes does not split; values past the last name are ignored, and
// so is an empty last value (a line ending in the delimiter). Linear in the line's length;
// reuses the buffers it is given.
void SplitIndexLine(std::string_view line, const FieldMap& map, std::string_view delimiter,
                    CurrentValues& current, std::string& fieldLines);

// How a line divides: its number of values (an empty last value not counted) and whether a
// double quote is left open at its end, which makes the rest of the line one value.
struct LineShape {
    std::size_t values = 0;
    bool quoteOpen = false;
};

// Walks the whole line by the same rules as SplitIndexLine, past the last name too.
LineShape MeasureIndexLine(std::string_view line, std::string_view delimiter);

// Trims spaces; a value quoted at both ends loses the quotes and doubled quotes become one.
std::string StripQuotes(std::string_view value);

// Occurrences of `find` in `text`, ignoring ASCII letter case. A count past 32767 is reported
// under "Count Characters" and gives 0.
std::int16_t CountChar(std::string_view find, std::string_view text, ErrorReporter& reporter);

} // namespace qm

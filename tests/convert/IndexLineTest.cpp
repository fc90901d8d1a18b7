#include "convert/IndexLine.h"

#include "support/PlainSplit.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

TEST(IndexLineTest, EffectiveDelimiter) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {",", ","},         {"Tab", "\t"}, {"tab", "tab"},  {"TAB", "TAB"},
        {"TabTab", "\t\t"}, {"", ""},      {", ", ", "},    {"xTaby", "x\ty"},
        {"TTab", "T\t"},    {"Ta", "Ta"},  {"Tabb", "\tb"}, {"\t", "\t"},
    };
    for (const auto& [setting, expected] : cases) {
        SCOPED_TRACE("setting: \"" + setting + "\"");
        EXPECT_EQ(EffectiveDelimiter(setting), expected);
    }
}

TEST(IndexLineTest, StripQuotes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"abc", "abc"},
        {"  abc  ", "abc"},
        {"   ", ""},
        // Only blanks are trimmed.
        {"\tabc\t", "\tabc\t"},
        {" \" x \" ", " x "},
        {"  \"x\"  ", "x"},
        {"\"", "\""},
        {"\"\"", ""},
        {"\"\"\"", "\""},
        {"\"\"\"\"", "\""},
        {"\"a\"\"b\"", "a\"b"},
        {"\"a\"\"\"\"b\"", "a\"\"b"},
        {"\"a\"\"\"b\"", "a\"\"b"},
        // Not quoted at both ends: every quote stays.
        {"\"a\"\"b", "\"a\"\"b"},
        {"a\"\"b\"", "a\"\"b\""},
        {"a\"b", "a\"b"},
        {"\"Smith, John\"", "Smith, John"},
        {std::string("\"\xe9\0\xff\"", 5), std::string("\xe9\0\xff", 3)},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE("value: [" + value + "]");
        EXPECT_EQ(StripQuotes(value), expected);
    }
}

struct SplitCase {
    const char* name;
    std::string names;
    std::string delimiter; // the setting, before "Tab" is replaced
    std::string line;
    std::string fieldLines;
    // What the current image path, document type and folder are afterwards; each starts as
    // "old".
    std::string imagePath = "old";
    std::string docType = "old";
    std::string folder = "old";
};

std::string F(int k, const std::string& value) {
    return "docNNNNN.field" + std::to_string(k) + "=" + value + "\r\n";
}

TEST(IndexLineTest, SplitIndexLine) {
    const std::vector<SplitCase> cases = {
        {"plain", "IMAGEPATH|Name|Date", ",", "B1\\0001.tif,Smith,2024-01-05",
         F(1, "Smith") + F(2, "2024-01-05"), "B1\\0001.tif"},
        {"quoted delimiter", "Name|Age", ",", "\"Smith, John\",42",
         F(1, "Smith, John") + F(2, "42")},
        {"doubled quotes in a quoted value", "a|b", ",", "\"say \"\"hi\"\"\",x",
         F(1, "say \"hi\"") + F(2, "x")},
        {"quote not at the end keeps all quotes", "a|b", ",", "\"ab\"c,d",
         F(1, "\"ab\"c") + F(2, "d")},
        {"quote in the middle shields the delimiter", "a|b", ",", "ab\"c,d\"e,f",
         F(1, "ab\"c,d\"e") + F(2, "f")},
        {"unclosed quote takes the rest of the line", "a|b|c", ",", "x,\"y,z,w",
         F(1, "x") + F(2, "\"y,z,w")},
        {"empty value between delimiters", "a|b|c", ",", "x,,y", F(1, "x") + F(2, "") + F(3, "y")},
        {"trailing delimiter gives no last value", "a|b|c", ",", "x,y,", F(1, "x") + F(2, "y")},
        {"leading delimiter gives an empty first value", "a|b", ",", ",y", F(1, "") + F(2, "y")},
        {"only delimiters", "a|b|c", ",", ",,", F(1, "") + F(2, "")},
        {"blank last value is a value", "a|b", ",", "x, ", F(1, "x") + F(2, "")},
        {"empty line", "a|b", ",", "", ""},
        {"more values than names", "a|b", ",", "1,2,3,4", F(1, "1") + F(2, "2")},
        {"fewer values than names keep earlier values", "a|IMAGEPATH|DOCTYPE|VWFOLDER|b", ",", "1",
         F(1, "1")},
        {"Tab splits only at tabs", "a|b", "Tab", "x,y\tz", F(1, "x,y") + F(2, "z")},
        {"two-character delimiter never splits", "a|b", ", ", "x, y,z", F(1, "x, y,z")},
        {"empty delimiter never splits", "a|b", "", "x,y", F(1, "x,y")},
        {"lower-case tab is three characters", "a|b", "tab", "xtaby", F(1, "xtaby")},
        {"no names", "", ",", "x,y", ""},
        {"special columns", "IMAGEPATH|DOCTYPE|VWFOLDER|Name", ",",
         " \"C:\\a\\1.tif\" ,Invoice,Finance\\2024\\Q1,n", F(1, "n"), "C:\\a\\1.tif", "Invoice",
         "Finance/2024/Q1"},
        {"special names in any case", "ImagePath|docType|VwFolder|x", "|", "i|t|a\\b|v", F(1, "v"),
         "i", "t", "a/b"},
        {"empty special value overwrites", "IMAGEPATH|DOCTYPE|VWFOLDER|x", ",", ",,,v", F(1, "v"),
         "", "", ""},
        {"dropped columns", "BATCHID|Skip|PAGECOUNT|a|SKIP|b|skip", ",", "1,2,3,4,5,6,7",
         F(1, "4") + F(2, "6")},
        {"last occurrence holds the role", "IMAGEPATH|a|ImagePath|DOCTYPE|doctype", ",",
         "p1,x,p2,t1,t2", F(1, "p1") + F(2, "x") + F(3, "t1"), "p2", "t2"},
        {"earlier BATCHID is an ordinary field", "BATCHID|BATCHID", ",", "b1,b2", F(1, "b1")},
        {"values are numbered in line order", "x|IMAGEPATH|y|SKIP|z", ",", "1,p,2,s,3",
         F(1, "1") + F(2, "2") + F(3, "3"), "p"},
        {"placeholders stay literal", "a", ",", "NNNNN PPPPP", F(1, "NNNNN PPPPP")},
        {"bytes above 127 and NUL", "a|b|c", ",", std::string("\xe9t\xe9,\0x\0,\xff", 9),
         F(1, "\xe9t\xe9") + F(2, std::string("\0x\0", 3)) + F(3, "\xff")},
        {"delimiter above 127", "a|b", "\xa7", "x\xa7y\xe7", F(1, "x") + F(2, "y\xe7")},
        {"NUL as delimiter", "a|b", std::string(1, '\0'), std::string("x\0y", 3),
         F(1, "x") + F(2, "y")},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FieldMap map = AnalyseFieldNames(c.names);
        CurrentValues current{"old", "old", "old"};
        std::string fieldLines;
        SplitIndexLine(c.line, map, EffectiveDelimiter(c.delimiter), current, fieldLines);
        EXPECT_EQ(fieldLines, c.fieldLines);
        EXPECT_EQ(current.imagePath, c.imagePath);
        EXPECT_EQ(current.docType, c.docType);
        EXPECT_EQ(current.folder, c.folder);
    }
}

TEST(IndexLineTest, SplitAppendsToFieldLinesAndReusesCurrentValues) {
    const FieldMap map = AnalyseFieldNames("IMAGEPATH|DOCTYPE|VWFOLDER|a");
    CurrentValues current;
    current.imagePath.assign(100, 'p');
    current.docType.assign(100, 't');
    current.folder.assign(100, 'f');
    const char* imageBuffer = current.imagePath.data();
    const char* typeBuffer = current.docType.data();
    const char* folderBuffer = current.folder.data();
    std::string fieldLines = "before\r\n";

    SplitIndexLine("\"img\",type,x\\y,v", map, ",", current, fieldLines);

    EXPECT_EQ(fieldLines, "before\r\n" + F(1, "v"));
    EXPECT_EQ(current.imagePath, "img");
    EXPECT_EQ(current.docType, "type");
    EXPECT_EQ(current.folder, "x/y");
    // The values are assigned into the strings the caller keeps, not swapped for new ones.
    EXPECT_EQ(current.imagePath.data(), imageBuffer);
    EXPECT_EQ(current.docType.data(), typeBuffer);
    EXPECT_EQ(current.folder.data(), folderBuffer);
}

TEST(IndexLineTest, SplitsVeryLongLines) {
    const std::size_t size = 50u << 20;
    const FieldMap map = AnalyseFieldNames("IMAGEPATH|Name|Other");

    // One long value.
    std::string line = "img,";
    line.append(size, 'x');
    CurrentValues current;
    std::string fieldLines;
    SplitIndexLine(line, map, ",", current, fieldLines);
    EXPECT_EQ(current.imagePath, "img");
    ASSERT_EQ(fieldLines.size(), std::string("docNNNNN.field1=\r\n").size() + size);
    EXPECT_EQ(fieldLines.find_first_not_of('x', 16), fieldLines.size() - 2);

    // Millions of values, nearly all past the last name.
    line.assign(size, ',');
    fieldLines.clear();
    SplitIndexLine(line, map, ",", current, fieldLines);
    EXPECT_EQ(current.imagePath, "");
    EXPECT_EQ(fieldLines, F(1, "") + F(2, ""));

    // A quoted value made of doubled quotes.
    line.assign(size, '"');
    line.append(",p");
    fieldLines.clear();
    SplitIndexLine(line, AnalyseFieldNames("a|IMAGEPATH"), ",", current, fieldLines);
    EXPECT_EQ(current.imagePath, "p");
    EXPECT_EQ(fieldLines, F(1, std::string(size / 2 - 1, '"')));
}

// Every arrangement of quotes, delimiters, spaces and plain bytes up to seven long, shifted
// through the first ten places of the line: the splitter reads several bytes at a time, and a
// quote or delimiter must be seen wherever it falls in them.
TEST(IndexLineTest, SplitAgreesWithThePlainReadingWhereverSpecialCharactersFall) {
    const FieldMap map = AnalyseFieldNames("a|IMAGEPATH|b|c|d|e|f|g|h");
    constexpr std::string_view alphabet = "\",x ";
    int differences = 0;
    for (std::size_t shift = 0; shift < 10; ++shift) {
        for (std::size_t length = 0; length <= 7; ++length) {
            std::size_t combinations = 1;
            for (std::size_t i = 0; i < length; ++i)
                combinations *= alphabet.size();
            for (std::size_t code = 0; code < combinations; ++code) {
                std::string line(shift, 'y');
                for (std::size_t rest = code, i = 0; i < length; ++i, rest /= alphabet.size())
                    line.push_back(alphabet[rest % alphabet.size()]);
                line.append("zz,q");
                CurrentValues current{"old", "old", "old"};
                CurrentValues expected = current;
                std::string fieldLines;
                std::string expectedLines;
                SplitIndexLine(line, map, ",", current, fieldLines);
                test::PlainSplit(line, map, ",", expected, expectedLines);
                if (fieldLines != expectedLines || current.imagePath != expected.imagePath) {
                    if (++differences <= 5)
                        ADD_FAILURE() << "the split of [" << line << "] differs";
                }
            }
        }
    }
    EXPECT_EQ(differences, 0);
}

TEST(IndexLineTest, CountChar) {
    test::TestWorld world;
    struct Case {
        std::string find;
        std::string text;
        int count;
    };
    const std::vector<Case> cases = {
        {"/", "/Finance/2024/Invoices", 3},
        {"/", "/Finance", 1},
        {"/", "", 0},
        {"/", "Finance", 0},
        {"aa", "aaaa", 3},
        {"aba", "ababa", 2},
        {"A", "aAa", 3},
        {"ab", "xAbaBAB", 3},
        {"Ab", "a", 0},
        {"", "abc", 0},
        {"", "", 0},
        // Only ASCII letters are folded.
        {"\xc9", "\xe9\xc9", 1},
        {std::string(1, '\0'), std::string("a\0b\0", 4), 2},
        {"/", std::string(32767, '/'), 32767},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("find [" + c.find + "] in [" + c.text.substr(0, 40) + "]");
        EXPECT_EQ(CountChar(c.find, c.text, world.reporter), c.count);
    }
    EXPECT_TRUE(world.host.boxes.empty());
}

TEST(IndexLineTest, CountCharReportsAnOverflowAndGivesZero) {
    for (const auto& [find, text] : std::vector<std::pair<std::string, std::string>>{
             {"/", std::string(32768, '/')},
             {"a", std::string(100000, 'A')},
             {"aa", std::string(32769, 'a')},
         }) {
        test::TestWorld world;
        EXPECT_EQ(CountChar(find, text, world.reporter), 0);
        ASSERT_EQ(world.host.boxes.size(), 1u);
        EXPECT_EQ(world.host.boxes[0].title, "Error in Count Characters");
        EXPECT_EQ(world.host.boxes[0].text, "6 - Overflow");
        EXPECT_EQ(world.host.boxes[0].icon, Icon::Exclamation);
    }
}

} // namespace
} // namespace qm

#include "platform/Wildcard.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

struct WildcardCase {
    const char* pattern;
    const char* name;
    bool matches;
};

const WildcardCase kCases[] = {
    {"*", "a.csv", true},
    {"*.csv", "a.csv", true},
    {"*.csv", "a.CSV", false},
    {"*.CSV", "a.csv", false},
    {"*.csv", "a.csvx", false},
    {"*.csv", "a.csv.csv", true},
    {"*.csv", "README", false},
    {"*.tif", "scan.tif.bak", false},
    {"a.csv", "a.csv", true},
    {"A.csv", "a.csv", false},
    {"a?c", "abc", true},
    {"a?c", "ac", false},
    {"a?c", "abbc", false},
    {"data??.csv", "data01.csv", true},
    {"data??.csv", "data1.csv", false},
    {"x*y?z", "x12y3z", true},
    {"*a*b", "aaab", true},
    {"*a*b", "aaba", false},
    {"a*", "a", true},
    {"*.*", "README", true},
    {"*.*", "a.b", true},
    {"*.*", "a.", true},
    {"abc.*", "abc", true},
    {"abc.*", "abc.txt", true},
    {"abc.*", "abcd", false},
    {"a?c.*", "abc", true},
    {"*.*", ".hidden", false},
    {"*", ".hidden", false},
    {".*", ".x", false},
    {"?*", ".x", false},
    {"\xe9*", "\xe9t\xe9.csv", true},
    {"?t?.csv", "\xe9t\xe9.csv", true},
    {"*.csv", "a*.csv", true},
};

TEST(WildcardTest, MatchesTheTable) {
    for (const auto& c : kCases) {
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.matches)
            << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
    }
}

TEST(WildcardTest, ManyStarsAgainstALongNameStayFast) {
    const std::string name(20000, 'a');
    const std::string pattern = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch(pattern, name));
    EXPECT_TRUE(WildcardMatch(pattern, name + "b"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

} // namespace
} // namespace qm

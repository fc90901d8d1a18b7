#include "operation/ErrorReporter.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(ReportTextTest, Table) {
    struct Case {
        std::int32_t number;
        const char* description;
        const char* detail;
        const char* expected;
    };
    const Case cases[] = {
        {53, "File not found", "Current File: a.csv", "53 - File not found\n\nCurrent File: a.csv"},
        {53, "File not found", "", "53 - File not found"},
        {static_cast<std::int32_t>(0x800A0035u), "Automation", "", "800A0035 - Automation"},
        {-1000000, "x", "", "-1000000 - x"},
        {-1000001, "x", "", "FFF0BDBF - x"},
        {1000, "ImagePath field is missing!  Cannot process file!", "Line # 1",
         "1000 - ImagePath field is missing!  Cannot process file!\n\nLine # 1"},
        {-5, "negative", "", "-5 - negative"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReportText(c.number, c.description, c.detail), c.expected) << c.number;
}

} // namespace
} // namespace qm

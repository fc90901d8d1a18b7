// The rules behind the window that need no toolkit: resize, stored position, filters.

#include "platform/Error.h"
#include "ui/FileFilter.h"
#include "ui/Twips.h"
#include "ui/WindowLayout.h"
#include "ui/WindowPosition.h"

#include <gtest/gtest.h>

namespace qm::ui {
namespace {

TEST(WindowRulesTest, ResizeFollowsTheWidth) {
    struct Case {
        long long width;
        long long pathBox, namesBox, browseLeft, panel;
    };
    const Case cases[] = {
        {5835, 4455, 5415, 4675, 2918}, // the default width: Browse buttons at 4675
        {9000, 7620, 8580, 7840, 4500},
        {5837, 4457, 5417, 4677, 2918}, // a half goes to the even neighbour
        {5839, 4459, 5419, 4679, 2920},
        {1380, 0, 960, 220, 690},
        // Narrower than 1380: the path boxes and buttons keep the last widths they took.
        {1379, 0, 959, 220, 690},
        {420, 0, 0, 220, 210},
        {300, 0, 0, 220, 150}, // the names box too cannot go below nothing
        {65534, 64154, 65114, 64374, 32767},
        {65536, 64156, 65116, 64376, 32767}, // a panel wider than 32767 keeps its width
    };
    WindowLayout layout; // one window resized through every width in turn
    for (const Case& c : cases) {
        layout.resize(c.width);
        EXPECT_EQ(layout.rect("txtImageFolder").width, c.pathBox) << c.width;
        EXPECT_EQ(layout.rect("txtBIF").width, c.pathBox) << c.width;
        EXPECT_EQ(layout.rect("txtIDX").width, c.pathBox) << c.width;
        EXPECT_EQ(layout.rect("txtFNAMES").width, c.namesBox) << c.width;
        for (const char* button : {"cmdBrowseIDX", "cmdBrowseXML", "cmdBrowseFolder"})
            EXPECT_EQ(layout.rect(button).left, c.browseLeft) << c.width << button;
        EXPECT_EQ(layout.panelWidth(1), c.panel) << c.width;
        EXPECT_EQ(layout.panelWidth(2), c.panel) << c.width;
        EXPECT_EQ(layout.rect("txtIDX").height, 375); // heights and tops never change
        EXPECT_EQ(layout.rect("cmdBrowseXML").top, 1020);
    }
    // The first resize under 1380 leaves the creation widths.
    WindowLayout narrow;
    narrow.resize(1000);
    EXPECT_EQ(narrow.rect("txtIDX").width, 4455);
    EXPECT_EQ(narrow.rect("cmdBrowseIDX").left, 4675);
    EXPECT_EQ(narrow.rect("cmdBrowseFolder").left, 4675);
    EXPECT_EQ(narrow.rect("txtFNAMES").width, 580);
}

TEST(WindowRulesTest, StoredValues) {
    struct Case {
        const char* text;
        long long value; // -1: error 13, -2: error 6
    };
    const Case cases[] = {
        {"105", 105},       {" 7170 ", 7170},
        {"-300", -300},     {"+12", 12},
        {"12.5", 12},       {"13.5", 14},
        {"0", 0},           {"2147483647", 2147483647},
        {"abc", -1},        {"", -1},
        {"12abc", -1},      {"1e3", -1},
        {"++1", -1},        {"0x10", -1},
        {"2147483648", -2}, {"-99999999999", -2},
        {"nan", -1},        {"1000000000000000000000000", -2},
    };
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(ParsePositionValue(c.text), c.value) << c.text;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.value == -1 ? 13 : 6) << c.text;
            EXPECT_LT(c.value, 0) << c.text;
        }
    }
}

TEST(WindowRulesTest, PlacementStaysReachable) {
    const TwipsRect screen{0, 0, 15360, 11520}; // 1024 x 768 at 96 dpi
    struct Case {
        TwipsRect stored, expected;
    };
    const Case cases[] = {
        {{105, 105, 5835, 7170}, {105, 105, 5835, 7170}},
        {{-300, 200, 5835, 7170}, {-300, 200, 5835, 7170}}, // partly off: still reachable
        {{900000, 105, 5835, 7170}, {9525, 105, 5835, 7170}},
        {{-9000, 105, 5835, 7170}, {0, 105, 5835, 7170}},
        {{105, -500, 5835, 7170}, {105, 0, 5835, 7170}}, // title bar above the screen
        {{105, 20000, 5835, 7170}, {105, 4350, 5835, 7170}},
        {{105, 105, 2000000, 2000000}, {105, 105, 15360, 11520}},
        {{105, 105, -5, 0}, {105, 105, 1440, 1440}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReachablePlacement(c.stored, screen), c.expected) << c.stored.left;
}

TEST(WindowRulesTest, NameFiltersAndTwips) {
    const struct {
        const char* list;
        std::vector<std::string> filters;
    } cases[] = {
        {"Brackenfold Index File (*.idx)|*.idx|Text Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv|"
         " All Files (*.*)|*.*",
         {"Brackenfold Index File (*.idx)", "Text Files (*.txt)", "CSV Files (*.csv)",
          "All Files (*)"}},
        {"Quillmarch Files (*.sbf)|*.sbf|All Files (*.*)|*.*",
         {"Quillmarch Files (*.sbf)", "All Files (*)"}},
        {"Images|*.tif;*.jpg", {"Images (*.tif *.jpg)"}},
        {"No pattern|", {}},
        {"Dangling", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameFilters(c.list), c.filters) << c.list;

    EXPECT_EQ(TwipsToPixels(5835, 96), 389);
    EXPECT_EQ(TwipsToPixels(5835, 192), 778);
    EXPECT_EQ(PixelsToTwips(389, 96), 5835);
    EXPECT_EQ(PixelsToTwips(7, 144), 70);
}

} // namespace
} // namespace qm::ui

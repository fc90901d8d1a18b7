#include "convert/FieldMap.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

constexpr FieldRole O = FieldRole::Ordinary;
constexpr FieldRole I = FieldRole::ImagePath;
constexpr FieldRole T = FieldRole::DocType;
constexpr FieldRole V = FieldRole::VwFolder;
constexpr FieldRole X = FieldRole::Dropped;

struct AnalyseCase {
    std::string setting;
    std::vector<std::string> names;
    std::vector<FieldRole> roles;
    // batchId, imagePath, pageCount, docType, vwFolder
    std::vector<int> positions;
};

TEST(FieldMapTest, AnalyseFieldNames) {
    const std::vector<AnalyseCase> cases = {
        {"", {}, {}, {-1, -1, -1, -1, -1}},
        {"IMAGEPATH|Name|Date", {"IMAGEPATH", "Name", "Date"}, {I, O, O}, {-1, 0, -1, -1, -1}},
        // Names are not trimmed and empty names count as columns.
        {"|", {"", ""}, {O, O}, {-1, -1, -1, -1, -1}},
        {"a||b|", {"a", "", "b", ""}, {O, O, O, O}, {-1, -1, -1, -1, -1}},
        {" IMAGEPATH|DOCTYPE ", {" IMAGEPATH", "DOCTYPE "}, {O, O}, {-1, -1, -1, -1, -1}},
        // Any letter case.
        {"batchId|ImagePath|pagecount|DocType|VwFolder|Skip",
         {"batchId", "ImagePath", "pagecount", "DocType", "VwFolder", "Skip"},
         {X, I, X, T, V, X},
         {0, 1, 2, 3, 4}},
        // The last column of a special name holds the role; the earlier ones are fields.
        {"IMAGEPATH|Name|imagepath",
         {"IMAGEPATH", "Name", "imagepath"},
         {O, O, I},
         {-1, 2, -1, -1, -1}},
        {"BATCHID|DOCTYPE|BatchID|DocType|x",
         {"BATCHID", "DOCTYPE", "BatchID", "DocType", "x"},
         {O, O, X, T, O},
         {2, -1, -1, 3, -1}},
        // Every SKIP is dropped, wherever it stands; longer names are not SKIP.
        {"SKIP|a|skip|Skipper|sKiP",
         {"SKIP", "a", "skip", "Skipper", "sKiP"},
         {X, O, X, O, X},
         {-1, -1, -1, -1, -1}},
        {"IMAGEPATHS|XDOCTYPE", {"IMAGEPATHS", "XDOCTYPE"}, {O, O}, {-1, -1, -1, -1, -1}},
        // A byte above 127 is not a letter to fold.
        {"IMAGEPATH\xc9|Name", {"IMAGEPATH\xc9", "Name"}, {O, O}, {-1, -1, -1, -1, -1}},
    };
    for (const AnalyseCase& c : cases) {
        SCOPED_TRACE("setting: \"" + c.setting + "\"");
        const FieldMap map = AnalyseFieldNames(c.setting);
        EXPECT_EQ(map.names, c.names);
        EXPECT_EQ(map.roles, c.roles);
        EXPECT_EQ((std::vector<int>{map.batchId, map.imagePath, map.pageCount, map.docType,
                                    map.vwFolder}),
                  c.positions);
    }
}

TEST(FieldMapTest, FieldNameList) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"BATCHID|Name|SKIP|IMAGEPATH|Date|", "Name|Date"},
        {"IMAGEPATH|Name|Date", "Name|Date"},
        {"Name|Scan Date|ID Number", "Name|Scan Date|ID Number"},
        // Any letter case, and also inside longer names.
        {"ImagePath|docType|VWFolder|pageCount|BatchId|Skip", ""},
        {"Name|Skipper|Date", "Name|per|Date"},
        {"PAGECOUNTER|xImagePathx", "ER|xx"},
        // Removed in order: taking BATCHID out can leave an IMAGEPATH that goes next.
        {"IMAGEBATCHIDPATH|a", "a"},
        // Runs of bars shrink to one; then one closing and one opening bar go.
        {"|a||||b|", "a|b"},
        {"||a", "a"},
        {"a|||", "a"},
        {"|", ""},
        {"||", ""},
        {"SKIP|SKIP|Name|SKIP", "Name"},
        // Only the keywords go: blanks stay.
        {"Name | IMAGEPATH | Date", "Name |  | Date"},
        {"A\xe9|B", "A\xe9|B"},
    };
    for (const auto& [setting, expected] : cases) {
        SCOPED_TRACE("setting: \"" + setting + "\"");
        EXPECT_EQ(FieldNameList(setting), expected);
    }
}

} // namespace
} // namespace qm

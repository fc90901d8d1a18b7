#include "convert/DocumentPlan.h"

#include "platform/Error.h"
#include "settings/JobSettings.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm::test {
namespace {

const std::string Mark = "\xEF\xBB\xBF"; // a UTF-8 byte-order mark

TEST(DocumentPlanTest, HeaderByteOrderMarkAndBlankLines) {
    struct Case {
        const char* name;
        bool skipHeader;
        std::vector<std::string> lines;
        std::vector<std::string> images; // per line: its document's image path, "-" for none
    } const cases[] = {
        {"a mark on the first line only",
         false,
         {Mark + "a.tif,x", Mark + "b.tif,y"},
         {"a.tif", Mark + "b.tif"}},
        {"the header goes, mark and all; the next line keeps its mark",
         true,
         {Mark + "IMAGEPATH,NAME", Mark + "a.tif,x", "b.tif,y"},
         {"-", Mark + "a.tif", "b.tif"}},
        {"a blank header still goes", true, {"", "a.tif,x"}, {"-", "a.tif"}},
        {"blank lines and a lone mark make none",
         false,
         {Mark, "", "   ", "a.tif", " ", "b.tif"},
         {"-", "-", "-", "a.tif", "-", "b.tif"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld w;
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setFlag(MenuField::SkipHeader, c.skipHeader);
        DocumentPlan plan(w.job, w.tools, w.reporter);
        plan.start();
        std::int32_t documents = 0;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            int step = 6;
            const bool document = plan.take(c.lines[i], step);
            EXPECT_EQ(document, c.images[i] != "-") << "line " << i + 1;
            if (!document)
                continue;
            EXPECT_EQ(plan.number(), ++documents);
            EXPECT_EQ(plan.imagePath(), c.images[i]) << "line " << i + 1;
            EXPECT_EQ(step, 11);
        }
        EXPECT_EQ(plan.lineNumber(), static_cast<std::int64_t>(c.lines.size()));
    }
}

// The window may change the job between two lines: the next line reads the settings anew,
// while the block's fixed parts stay as the index file began.
TEST(DocumentPlanTest, SettingsChangedBetweenLines) {
    TestWorld w;
    w.job.setText(TextField::FieldNames, "IMAGEPATH|Name");
    w.job.setText(TextField::DocType, "Invoice");
    w.job.setText(TextField::Folder, "/Finance");
    w.job.setText(TextField::ImageFolder, "C:\\Scans");
    DocumentPlan plan(w.job, w.tools, w.reporter);
    plan.start();
    std::string block;
    int step = 6;

    ASSERT_TRUE(plan.take("C:\\Scans\\B1\\1.tif,x;y", step));
    EXPECT_EQ(plan.imageFolder(), "C:\\Scans");
    EXPECT_FALSE(plan.moveFiles());
    plan.fill(block);
    EXPECT_NE(block.find("doc1.field1=x;y\r\ndoc1.location=/Finance/B1\r\n"), std::string::npos)
        << block;

    w.job.setText(TextField::Delimiter, ";");
    w.job.setText(TextField::ImageFolder, "D:\\Other");
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.job.setText(TextField::Folder, "/A/B/C");
    w.job.setText(TextField::DocType, "Memo");
    ASSERT_TRUE(plan.take("C:\\Scans\\B2\\2.tif;x,y", step));
    EXPECT_EQ(plan.imageFolder(), "D:\\Other");
    EXPECT_TRUE(plan.moveFiles());
    plan.reference() = "R";
    plan.fill(block);
    // Split at the new delimiter; three "/" now: the folder is no longer taken from the image
    // path, so the last one stays, in the location block made when the file began.
    EXPECT_EQ(block, "document2=Invoice\t\"R\"\r\ndoc2.fields=Name\r\ndoc2.field1=x,y\r\n"
                     "doc2.location=/Finance/B1\r\ndoc2.create_location=False\r\n"
                     "doc2.append=False\r\ndoc2.delete_images=False\r\n");
}

TEST(DocumentPlanTest, NumberStopsAtTheLargest32BitNumberInsteadOfWrapping) {
    std::int32_t number = 2147483646;
    detail::RaiseDocumentNumber(number);
    EXPECT_EQ(number, 2147483647);
    try {
        detail::RaiseDocumentNumber(number);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(number, 2147483647);
}

} // namespace
} // namespace qm::test

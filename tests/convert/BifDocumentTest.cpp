#include "convert/BifDocument.h"

#include "convert/DocumentPlan.h"
#include "settings/JobSettings.h"
#include "support/TestWorld.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

TEST(BifDocumentTest, DocumentTemplate) {
    EXPECT_EQ(MakeDocumentTemplate("Invoice", "Name|Date"),
              "documentNNNNN=Invoice\t\"PPPPP\"\r\ndocNNNNN.fields=Name|Date\r\n");
    EXPECT_EQ(MakeDocumentTemplate("", ""),
              "documentNNNNN=DDDDD\t\"PPPPP\"\r\ndocNNNNN.fields=\r\n");
    EXPECT_EQ(MakeDocumentTemplate(" ", "a"),
              "documentNNNNN= \t\"PPPPP\"\r\ndocNNNNN.fields=a\r\n");
}

TEST(BifDocumentTest, InitialValues) {
    const std::vector<std::pair<std::string, std::string>> folders = {
        {"", "LLLLL"}, {"/Finance", "/Finance"}, {"/Finance/", "/Finance"}, {"/A//", "/A/"},
        {"/", ""},     {"x\\", "x\\"},
    };
    for (const auto& [setting, expected] : folders) {
        SCOPED_TRACE("folder setting: " + setting);
        EXPECT_EQ(InitialFolder(setting), expected);
    }
    EXPECT_EQ(InitialDocumentType(""), "DDDDD");
    EXPECT_EQ(InitialDocumentType("Invoice"), "Invoice");
}

std::string LocationBlock(const std::string& location, const char* create, const char* append,
                          const char* remove) {
    return "docNNNNN.location=" + location + "\r\ndocNNNNN.create_location=" + create +
           "\r\ndocNNNNN.append=" + append + "\r\ndocNNNNN.delete_images=" + remove + "\r\n";
}

TEST(BifDocumentTest, LocationBlock) {
    struct Case {
        std::string folder;
        std::string location;
    };
    const std::vector<Case> cases = {
        // Fewer than three "/": a base folder, each document in a subfolder of it.
        {"/Finance", "/Finance/LLLLL"},
        {"/Finance/", "/Finance//LLLLL"},
        {"Finance", "Finance/LLLLL"},
        {"a\\b\\c\\d", "a\\b\\c\\d/LLLLL"},
        // Three or more: the folder of every document.
        {"/Finance/2024/Invoices", "/Finance/2024/Invoices"},
        {"/A/B/C", "/A/B/C"},
        {"/A/B/C/", "/A/B/C"},
        {"/A/B//", "/A/B/"},
        {"///", "//"},
        // None: each document's folder comes from its line.
        {"", "LLLLL"},
    };
    // The slash count is worked out by CountChar, as the conversion does.
    test::TestWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE("folder setting: " + c.folder);
        const int slashes = CountChar("/", c.folder, world.reporter);
        EXPECT_EQ(MakeLocationBlock(c.folder, slashes, CheckState::Unchecked, CheckState::Unchecked,
                                    CheckState::Unchecked),
                  LocationBlock(c.location, "False", "False", "False"));
    }

    // A dimmed check box counts as set.
    EXPECT_EQ(MakeLocationBlock("/A/B/C", 3, CheckState::Checked, CheckState::Unchecked,
                                CheckState::Grayed),
              LocationBlock("/A/B/C", "True", "False", "True"));
    EXPECT_EQ(
        MakeLocationBlock("", 0, CheckState::Unchecked, CheckState::Grayed, CheckState::Checked),
        LocationBlock("LLLLL", "False", "True", "True"));
}

TEST(BifDocumentTest, FolderFromImagePath) {
    struct Case {
        std::string imagePath;
        std::string imageFolder;
        std::string folder;
    };
    const std::vector<Case> cases = {
        {"C:\\Scans\\Batch7\\Day2\\0001.tif", "C:\\Scans", "Batch7/Day2"},
        {"C:\\Scans\\0001.tif", "C:\\Scans", ""},
        {"C:\\Scans\\B1\\0001.tif", "C:\\Scans\\", "B1"},
        // The image folder goes ignoring letter case, wherever it occurs.
        {"c:\\scans\\B1\\0001.tif", "C:\\SCANS", "B1"},
        {"C:\\Scans\\x\\C:\\Scans\\y\\1.tif", "c:\\scans", "x//y"},
        {"C:\\Scans\\B1\\0001.tif", "", "C:/Scans/B1"},
        {"C:\\Scans\\B1\\0001.tif", "D:\\Other", "C:/Scans/B1"},
        {"\\\\server\\share\\B1\\x.tif", "\\\\server\\share", "B1"},
        // Absolute without any "\": cut at the last "/".
        {"/scans/B1/0001.tif", "/scans", "B1"},
        {"C:/Scans/B1/0001.tif", "C:/Scans", "B1"},
        {"/0001.tif", "", ""},
        // Relative: cut at the last "\" only, and the image folder is not removed.
        {"B1\\0001.tif", "C:\\Scans", "B1"},
        {"Scans\\B1\\0001.tif", "Scans", "Scans/B1"},
        {"B1\\C2\\0001.tif", "", "B1/C2"},
        {"\\B1\\0001.tif", "", "B1"},
        {"B1/0001.tif", "", ""},
        {"0001.tif", "C:\\Scans", ""},
        {"", "", ""},
        // One separator goes at each end, not more.
        {"\\\\B1\\\\0001.tif", "", "/B1/"},
        {"C:\\Scans\\\xe9t\xe9\\1.tif", "c:\\SCANS", "\xe9t\xe9"},
    };
    test::TestWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE("image path: " + c.imagePath + ", image folder: " + c.imageFolder);
        std::string folder = "previous";
        FolderFromImagePath(c.imagePath, c.imageFolder, world.tools, folder);
        EXPECT_EQ(folder, c.folder);
    }

    std::string folder(200, 'f');
    const char* buffer = folder.data();
    FolderFromImagePath("C:\\Scans\\B1\\0001.tif", "C:\\Scans", world.tools, folder);
    EXPECT_EQ(folder, "B1");
    EXPECT_EQ(folder.data(), buffer) << "the folder is assigned in place";
}

// A job's documents made line by line by the conversion's own plan, with the image reference
// the transfer would have given.
struct JobRun {
    std::string fieldNames = "IMAGEPATH|Name|Date";
    std::string delimiter = ",";
    std::string docType = "Invoice";
    std::string folderSetting;
    std::string imageFolder = "C:\\Scans";
    CheckState createFolder = CheckState::Checked;
    CheckState append = CheckState::Unchecked;
    CheckState deleteImages = CheckState::Unchecked;

    test::TestWorld world;
    std::optional<DocumentPlan> plan;
    std::string out;

    void start() {
        JobSettings& job = world.job;
        job.setText(TextField::FieldNames, fieldNames);
        job.setText(TextField::Delimiter, delimiter);
        job.setText(TextField::DocType, docType);
        job.setText(TextField::Folder, folderSetting);
        job.setText(TextField::ImageFolder, imageFolder);
        job.setCheck(CheckField::CreateFolder, createFolder);
        job.setCheck(CheckField::Append, append);
        job.setCheck(CheckField::DeleteImages, deleteImages);
        plan.emplace(job, world.tools, world.reporter);
        plan->start();
        out.clear();
    }

    // Returns the block of the line.
    std::string line(std::string_view text, std::string_view imageReference) {
        int step = 0;
        EXPECT_TRUE(plan->take(text, step)) << text;
        plan->reference().assign(imageReference);
        std::string block;
        plan->fill(block);
        out += block;
        return block;
    }

    // The value of the location key in a block.
    static std::string location(const std::string& block) {
        const std::size_t key = block.find(".location=");
        const std::size_t start = key + 10;
        return block.substr(start, block.find("\r\n", start) - start);
    }
};

TEST(BifDocumentTest, WorkedExampleBlock) {
    JobRun run;
    run.folderSetting = "/Finance/2024/Invoices";
    run.start();
    const std::string block = run.line("B1\\0001.tif,Smith,2024-01-05", "C:\\Scans\\B1\\0001.tif");
    EXPECT_EQ(block, "document1=Invoice\t\"C:\\Scans\\B1\\0001.tif\"\r\n"
                     "doc1.fields=Name|Date\r\n"
                     "doc1.field1=Smith\r\n"
                     "doc1.field2=2024-01-05\r\n"
                     "doc1.location=/Finance/2024/Invoices\r\n"
                     "doc1.create_location=True\r\n"
                     "doc1.append=False\r\n"
                     "doc1.delete_images=False\r\n");
}

TEST(BifDocumentTest, BlocksFollowEachOtherAndNumber) {
    JobRun run;
    run.fieldNames = "IMAGEPATH|DOCTYPE|SKIP";
    run.docType = "";
    run.folderSetting = "/A/B/C";
    run.createFolder = CheckState::Unchecked;
    run.start();
    run.line("1.tif,Memo,x", "R1");
    run.line("2.tif", "R2");
    EXPECT_EQ(run.out, "document1=Memo\t\"R1\"\r\ndoc1.fields=\r\n"
                       "doc1.location=/A/B/C\r\ndoc1.create_location=False\r\n"
                       "doc1.append=False\r\ndoc1.delete_images=False\r\n"
                       "document2=Memo\t\"R2\"\r\ndoc2.fields=\r\n"
                       "doc2.location=/A/B/C\r\ndoc2.create_location=False\r\n"
                       "doc2.append=False\r\ndoc2.delete_images=False\r\n");
}

TEST(BifDocumentTest, Locations) {
    struct Case {
        const char* name;
        std::string fieldNames;
        std::string folderSetting;
        std::vector<std::string> lines;
        std::vector<std::string> locations;
    };
    const std::vector<Case> cases = {
        {"base folder",
         "IMAGEPATH|Name",
         "/Finance",
         {"C:\\Scans\\B1\\0001.tif,n"},
         {"/Finance/B1"}},
        {"base folder with a closing slash",
         "IMAGEPATH|Name",
         "/Finance/",
         {"C:\\Scans\\B1\\0001.tif,n"},
         {"/Finance//B1"}},
        {"relative image path", "IMAGEPATH|Name", "/Finance", {"B1\\0001.tif,n"}, {"/Finance/B1"}},
        {"image directly in the image folder",
         "IMAGEPATH",
         "/Finance",
         {"C:\\Scans\\1.tif"},
         {"/Finance/"}},
        {"no folder setting",
         "IMAGEPATH",
         "",
         {"C:\\Scans\\B1\\B2\\1.tif", "C:\\Scans\\B3\\1.tif"},
         {"B1/B2", "B3"}},
        {"folder column",
         "IMAGEPATH|VWFOLDER",
         "",
         {"C:\\Scans\\B1\\1.tif,Finance\\2024"},
         {"Finance/2024"}},
        {"folder column with a base folder",
         "IMAGEPATH|VwFolder",
         "/Finance",
         {"C:\\Scans\\B1\\1.tif,2024\\Q1\\"},
         {"/Finance/2024/Q1"}},
        {"folder column keeps the last value on short lines",
         "IMAGEPATH|VWFOLDER",
         "",
         {"1.tif,Finance\\2024", "2.tif", "3.tif,", "4.tif,\"\""},
         {"Finance/2024", "Finance/2024", "Finance/2024", ""}},
        {"no folder column value yet", "IMAGEPATH|VWFOLDER", "", {"1.tif"}, {"LLLLL"}},
        {"fixed folder", "IMAGEPATH|VWFOLDER", "/A/B/C", {"C:\\Scans\\B1\\1.tif,X\\Y"}, {"/A/B/C"}},
        {"fixed folder with a closing slash",
         "IMAGEPATH|Name",
         "/A/B/C/",
         {"C:\\Scans\\B1\\0001.tif,x"},
         {"/A/B/C"}},
        {"image directly in the image folder, no folder setting",
         "IMAGEPATH|Name",
         "",
         {"C:\\Scans\\0001.tif,x"},
         {""}},
        {"fixed folder ignores image subfolders",
         "IMAGEPATH",
         "/A/B/C",
         {"C:\\Scans\\B1\\1.tif", "C:\\Scans\\B2\\1.tif"},
         {"/A/B/C", "/A/B/C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobRun run;
        run.fieldNames = c.fieldNames;
        run.folderSetting = c.folderSetting;
        run.start();
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(JobRun::location(run.line(c.lines[i], "ref")), c.locations[i])
                << "line " << i + 1;
    }
}

TEST(BifDocumentTest, DocumentTypeFromTheLines) {
    JobRun run;
    run.fieldNames = "IMAGEPATH|DOCTYPE";
    run.docType = "";
    run.folderSetting = "/A/B/C";
    run.start();
    EXPECT_EQ(run.line("1.tif", "r").substr(0, 20), "document1=DDDDD\t\"r\"\r");
    EXPECT_EQ(run.line("1.tif,Invoice", "r").substr(0, 22), "document2=Invoice\t\"r\"\r");
    EXPECT_EQ(run.line("2.tif", "r").substr(0, 22), "document3=Invoice\t\"r\"\r");
    EXPECT_EQ(run.line("3.tif,Memo", "r").substr(0, 19), "document4=Memo\t\"r\"\r");

    // With the setting filled in, a DOCTYPE column changes nothing.
    JobRun fixed;
    fixed.fieldNames = "IMAGEPATH|DOCTYPE";
    fixed.folderSetting = "/A/B/C";
    fixed.start();
    EXPECT_EQ(fixed.line("1.tif,Memo", "r").substr(0, 22), "document1=Invoice\t\"r\"\r");
}

struct FillCase {
    const char* name;
    std::string documentTemplate;
    std::string fieldLines;
    std::string locationBlock;
    std::int32_t number;
    std::string imageReference;
    std::string docType;
    std::string folder;
    std::string expected;
    std::string folderAfter;
};

TEST(BifDocumentTest, FillReplacesInOrderOverTheWholeText) {
    const std::vector<FillCase> cases = {
        {"a value naming the image", "", "f=PPPPP\r\n", "", 1, "C:\\x.tif", "", "",
         "f=C:\\x.tif\r\n", ""},
        {"every placeholder, every occurrence", "NNNNN PPPPP DDDDD LLLLL ", "NNNNNNNNNN ",
         "LLLLLLLLLL", 12, "r", "t", "f", "12 r t f 1212 ff", "f"},
        {"image reference holding the type mark", "PPPPP", "", "", 1, "a DDDDD b", "T", "", "a T b",
         ""},
        {"image reference holding the number mark keeps it", "PPPPP", "", "", 7, "NNNNN", "", "",
         "NNNNN", ""},
        {"image reference holding the folder mark", "PPPPP", "", "", 7, "LLLLL", "", "f/", "f",
         "f"},
        {"document type holding marks", "DDDDD", "", "", 7, "r", "PPPPP NNNNN LLLLL", "f",
         "PPPPP NNNNN f", "f"},
        {"folder holding marks is inserted last", "LLLLL", "", "", 7, "r", "t", "NNNNN/", "NNNNN",
         "NNNNN"},
        {"a mark formed across the joins", "xNNN", "NNy", "", 5, "", "", "", "x5y", ""},
        {"a run of marks is read from the left", "PP", "PPPPPPP", "", 5, "", "", "", "PPPP", ""},
        {"exact letter case", "nnnnn Ppppp ddddd lllll", "", "", 5, "r", "t", "f",
         "nnnnn Ppppp ddddd lllll", "f"},
        {"runs longer than a mark", "NNNNNN PPPPPPPPPP LLLL", "", "", 3, "r", "", "f", "3N rr LLLL",
         "f"},
        {"one closing slash goes from the folder", "LLLLL", "", "", 1, "", "", "/a//", "/a/",
         "/a/"},
        {"largest number", "NNNNN", "", "", std::numeric_limits<std::int32_t>::max(), "", "", "",
         "2147483647", ""},
        {"bytes above 127 and NUL", std::string("\xe9PPPPP\0", 7), "", "", 1,
         std::string("\0\xff", 2), "", "", std::string("\xe9\0\xff\0", 4), ""},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.name);
        BlockFiller filler;
        std::string folder = c.folder;
        std::string out = "kept|";
        filler.fill(c.documentTemplate, c.fieldLines, c.locationBlock, c.number, c.imageReference,
                    c.docType, folder, out);
        EXPECT_EQ(out, "kept|" + c.expected);
        EXPECT_EQ(folder, c.folderAfter);
    }
}

// Every occurrence, left to right, the text put in not searched again.
std::string ReplaceAll(std::string text, const std::string& mark, const std::string& by) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + by.size())) {
        text.replace(at, mark.size(), by);
    }
    return text;
}

TEST(BifDocumentTest, FillMatchesPlainReplacementPasses) {
    static const std::vector<std::string> pieces = {
        "NNNNN", "PPPPP", "DDDDD", "LLLLL", "NNNN", "PPPPPP", "DDDDDDDDDD", "LLLL", "N",
        "P",     "D",     "L",     "x",     "/",    "\r\n",   "\xe9",       "=",    " ",
    };
    std::mt19937 random(20240105);
    auto text = [&](int maxPieces) {
        std::string result;
        const int count = std::uniform_int_distribution<int>(0, maxPieces)(random);
        for (int i = 0; i < count; ++i)
            result +=
                pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        return result;
    };

    BlockFiller filler; // one filler for all, as in a conversion
    std::string out;
    std::string folder;
    for (int round = 0; round < 5000; ++round) {
        const std::string documentTemplate = text(12);
        const std::string fieldLines = text(30);
        const std::string locationBlock = text(12);
        const std::int32_t number = std::uniform_int_distribution<std::int32_t>(
            0, round % 2 ? 99 : std::numeric_limits<std::int32_t>::max())(random);
        const std::string imageReference = text(4);
        const std::string docType = text(4);
        if (round % 3 == 0)
            folder = text(4) + (round % 2 ? "/" : "//");
        if (round % 10 == 0)
            out.clear();

        std::string expected = documentTemplate + fieldLines + locationBlock;
        expected = ReplaceAll(expected, "NNNNN", std::to_string(number));
        expected = ReplaceAll(expected, "PPPPP", imageReference);
        expected = ReplaceAll(expected, "DDDDD", docType);
        std::string expectedFolder = folder;
        if (!expectedFolder.empty() && expectedFolder.back() == '/')
            expectedFolder.pop_back();
        expected = out + ReplaceAll(expected, "LLLLL", expectedFolder);

        filler.fill(documentTemplate, fieldLines, locationBlock, number, imageReference, docType,
                    folder, out);
        ASSERT_EQ(out, expected) << "round " << round;
        ASSERT_EQ(folder, expectedFolder) << "round " << round;
    }
}

} // namespace
} // namespace qm

#include "convert/ImageTransfer.h"

#include "platform/AsciiCase.h"
#include "support/TestWorld.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace qm::test {
namespace {

TEST(ImageTransferText, JoinPathAddsOneBackslashUnlessThereIsOne) {
    const struct {
        const char* folder;
        const char* relative;
        const char* joined;
    } cases[] = {
        {"C:\\Scans", "B1\\0001.tif", "C:\\Scans\\B1\\0001.tif"},
        {"C:\\Scans", "\\B1\\0001.tif", "C:\\Scans\\B1\\0001.tif"},
        {"C:\\Scans\\", "B1", "C:\\Scans\\\\B1"}, // the folder's own "\" is kept
        {"/tmp/x", "/a.tif", "/tmp/x\\/a.tif"},   // only "\" counts
        {"", "a.tif", "\\a.tif"},
        {"/tmp/x", "", "/tmp/x\\"},
    };
    std::string out = "left over";
    for (const auto& c : cases) {
        JoinPath(c.folder, c.relative, out);
        EXPECT_EQ(out, c.joined) << c.folder << " + " << c.relative;
    }
}

TEST(ImageTransferText, ReplaceIgnoringCaseFoldsAsciiOnlyAndDoesNotRescan) {
    const struct {
        const char* text;
        const char* find;
        const char* replacement;
        const char* result;
    } cases[] = {
        {"C:\\Scans\\B1\\0001.tif", "c:\\SCANS", "D:\\Out", "D:\\Out\\B1\\0001.tif"},
        {"/s/x/s/y", "/S", "/t", "/t/x/t/y"},
        {"aaa", "aa", "X", "Xa"},
        {"ab", "a", "aa", "aab"},
        {"abc", "", "X", "abc"},
        {"ab", "abc", "X", "ab"},
        {"\xC4/a", "\xE4/", "X", "\xC4/a"}, // bytes above 127 are compared exactly
        {"", "a", "X", ""},
    };
    std::string out;
    for (const auto& c : cases) {
        ReplaceIgnoringCase(c.text, c.find, c.replacement, out);
        EXPECT_EQ(out, c.result) << c.text << " / " << c.find;
    }
}

TEST(ImageTransferText, NumberedNameSuffixesEveryExtensionAndAppendsWithoutOne) {
    TestWorld w;
    const struct {
        const char* reference;
        std::int32_t number;
        const char* numbered;
    } cases[] = {
        {"C:\\Out\\0001.tif", 1, "C:\\Out\\0001-0001.tif"},
        {"C:\\Out\\0001.TIF", 2, "C:\\Out\\0001-0002.TIF"},
        {"C:\\a.tif\\0001.tif", 1, "C:\\a-0001.tif\\0001-0001.tif"},
        {"C:\\Out\\0001", 1, "C:\\Out\\0001-0001"},
        {"C:\\Out\\0001.tif", 12345, "C:\\Out\\0001-12345.tif"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberedName(c.reference, w.tools.GetFExt(c.reference), c.number, w.tools),
                  c.numbered);
}

class ImageTransferTest : public ::testing::Test {
protected:
    TestWorld w;
    std::string scans = w.temp.path("scans");
    std::string out = w.temp.path("out");
    std::string index = w.temp.path("in/a.csv");
    ImageTransfer images{w.files, w.tools, w.host, w.job, index, out};
    std::string image = "B1\\0001.tif";
    std::string reference;

    // Moves `image` (relative to the scans folder) the way a line with moving on does.
    void move() {
        ImageReference(w.tools, image, scans, out, true, reference);
        images.transfer(image, scans, reference);
    }
    bool has(const std::string& relative) { return std::filesystem::exists(w.temp.path(relative)); }
};

TEST_F(ImageTransferTest, ImageFolderIsKeptOrFoundFromThePathOrBesideTheIndexFile) {
    w.temp.write("in/B2/0002.tif", "x");
    const struct {
        std::string given;
        std::string path;
        std::string found;
    } cases[] = {
        {"Q:\\Nowhere", "B1\\0001.tif", "Q:\\Nowhere"}, // not tested for existence
        {"", scans + "/B1/0001.tif", scans + "/B1"},
        {"", "B2\\0002.tif", w.temp.path("in")},
    };
    for (const auto& c : cases) {
        std::string folder = c.given;
        images.findImageFolder(c.path, folder);
        EXPECT_EQ(folder, c.found) << c.path;
    }
    std::string folder;
    try {
        images.findImageFolder("B1\\missing.tif", folder);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 301);
        EXPECT_EQ(e.source(), "Reading Input Files");
        EXPECT_EQ(e.description(),
                  "Cannot determine location of input files.  Please set the Image Folder option.");
    }
}

TEST_F(ImageTransferTest, ReferenceFollowsMovingAndTheKindOfPath) {
    const struct {
        bool move;
        std::string path;
        std::string reference;
    } cases[] = {
        {true, "C:\\SCANS\\B1\\0001.tif", out + "\\B1\\0001.tif"},
        {true, "B1\\0001.tif", out + "\\B1\\0001.tif"},
        {false, "C:\\Elsewhere\\0001.tif", "C:\\Elsewhere\\0001.tif"},
        {false, "\\B1\\0001.tif", "C:\\Scans\\B1\\0001.tif"},
    };
    for (const auto& c : cases) {
        ImageReference(w.tools, c.path, "C:\\Scans", out, c.move, reference);
        EXPECT_EQ(reference, c.reference) << c.path;
    }
}

TEST_F(ImageTransferTest, MoveCreatesTheTargetFolderAndEmptiesTheImagePath) {
    w.temp.write("scans/B1/0001.tif", "image");
    move();
    EXPECT_EQ(reference, out + "\\B1\\0001.tif");
    EXPECT_EQ(w.temp.read("out/B1/0001.tif"), "image");
    EXPECT_FALSE(has("scans/B1/0001.tif"));
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(w.host.boxes.empty());
}

TEST_F(ImageTransferTest, FileExistsAnswers) {
    const struct {
        Answer answer;
        bool fails;
        const char* target; // content at the target afterwards
        bool sourceStays;
    } cases[] = {
        {Answer::Yes, false, "new", false},
        {Answer::No, false, "old", true},
        {Answer::Cancel, true, "old", true},
    };
    for (const auto& c : cases) {
        w.temp.write("scans/B1/0001.tif", "new");
        w.temp.write("out/B1/0001.tif", "old");
        w.host.boxes.clear();
        w.host.answers = {c.answer};
        image = "B1\\0001.tif";
        try {
            move();
            EXPECT_FALSE(c.fails);
        } catch (const Error& e) {
            EXPECT_TRUE(c.fails);
            EXPECT_EQ(e.number(), 21);
            EXPECT_EQ(e.source(), "Copy Image File");
            EXPECT_EQ(e.description(), "Image file aleady exists.");
        }
        ASSERT_EQ(w.host.boxes.size(), 1u);
        const MessageBox& box = w.host.boxes[0];
        EXPECT_EQ(box.title, "File Exists");
        EXPECT_EQ(box.text, "Image file already exists! " + out +
                                "\\B1\\0001.tif.  Do you want to replace this with the new file?");
        EXPECT_EQ(box.buttons, Buttons::YesNoCancel);
        EXPECT_EQ(box.icon, Icon::Question);
        EXPECT_EQ(w.temp.read("out/B1/0001.tif"), c.target);
        EXPECT_EQ(has("scans/B1/0001.tif"), c.sourceStays);
        EXPECT_EQ(reference, out + "\\B1\\0001.tif");
    }
}

TEST_F(ImageTransferTest, YesWhenTheTargetIsTheSourceKeepsTheOnlyCopy) {
    // The image folder is the BIF folder: the target is the source itself.
    w.temp.write("out/B1/0001.tif", "only copy");
    w.host.answers = {Answer::Yes};
    ImageReference(w.tools, image, out, out, true, reference);
    images.transfer(image, out, reference);
    EXPECT_EQ(reference, out + "\\B1\\0001.tif");
    EXPECT_EQ(w.temp.read("out/B1/0001.tif"), "only copy");
    EXPECT_EQ(w.host.boxes.size(), 1u);
}

TEST_F(ImageTransferTest, AbsolutePathOutsideTheImageFolderIsNeitherMovedNorRenamed) {
    // Without the image folder's text in it the target would be the source itself: with
    // duplicates allowed it used to be renamed in place, wherever it lay.
    for (const bool dupes : {false, true}) {
        w.job.setFlag(MenuField::AllowDupes, dupes);
        w.temp.write("elsewhere/0001.tif", "only copy");
        image = w.temp.path("elsewhere/0001.tif");
        ImageReference(w.tools, image, scans, out, true, reference);
        try {
            images.transfer(image, scans, reference);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 1002);
            EXPECT_EQ(e.description(), "Image path " + w.temp.path("elsewhere/0001.tif") +
                                           " leaves the folder " + scans + "!  Cannot move file!");
        }
        EXPECT_EQ(w.temp.read("elsewhere/0001.tif"), "only copy");
        EXPECT_FALSE(has("elsewhere/0001-0001.tif"));
        EXPECT_TRUE(w.host.boxes.empty());
    }
}

TEST_F(ImageTransferTest, DuplicatesAllowedTakeTheFirstFreeNumber) {
    w.job.setFlag(MenuField::AllowDupes, true);
    w.temp.write("out/B1/0001.tif", "old");
    for (const char* content : {"first", "second"}) {
        w.temp.write("scans/B1/0001.tif", content);
        image = "B1\\0001.tif";
        move();
    }
    EXPECT_EQ(reference, out + "\\B1\\0001-0002.tif");
    EXPECT_EQ(w.temp.read("out/B1/0001.tif"), "old");
    EXPECT_EQ(w.temp.read("out/B1/0001-0001.tif"), "first");
    EXPECT_EQ(w.temp.read("out/B1/0001-0002.tif"), "second");
    EXPECT_TRUE(w.host.boxes.empty());

    // The target is the source (the image folder is the BIF folder): the image moves to a
    // numbered name in its own folder.
    w.temp.write("out/B2/0001.tif", "same");
    image = "B2\\0001.tif";
    ImageReference(w.tools, image, out, out, true, reference);
    images.transfer(image, out, reference);
    EXPECT_EQ(w.temp.read("out/B2/0001-0001.tif"), "same");
    EXPECT_FALSE(has("out/B2/0001.tif"));
}

// A missing image, and an empty image path, whose source is the image folder itself.
TEST_F(ImageTransferTest, SourceMissingAnswers) {
    const struct {
        const char* image;
        const char* source; // below the image folder
        const char* target; // below the BIF folder
    } cases[] = {{"B1\\0001.tif", "\\B1\\0001.tif", "\\B1\\0001.tif"}, {"", "\\", "\\"}};
    for (const auto& c : cases)
        for (const Answer answer : {Answer::Yes, Answer::No}) {
            w.host.boxes.clear();
            w.host.answers = {answer};
            image = c.image;
            bool failed = false;
            try {
                move();
            } catch (const Error& e) {
                failed = true;
                EXPECT_EQ(e.number(), 23);
                EXPECT_EQ(e.source(), "Missing Source File");
                EXPECT_EQ(e.description(), "Source file not found.");
            }
            EXPECT_EQ(failed, answer == Answer::No);
            ASSERT_EQ(w.host.boxes.size(), 1u);
            const MessageBox& box = w.host.boxes[0];
            EXPECT_EQ(box.title, "Source File is Missing");
            EXPECT_EQ(box.text, "Source File: " + scans + c.source + "\rIndex File: " + index +
                                    "\rSkip file and continue processing?");
            EXPECT_EQ(box.buttons, Buttons::YesNo);
            EXPECT_EQ(box.icon, Icon::Exclamation);
            EXPECT_EQ(reference, out + c.target);
            EXPECT_FALSE(has("out/B1/0001.tif"));
        }
}

} // namespace
} // namespace qm::test

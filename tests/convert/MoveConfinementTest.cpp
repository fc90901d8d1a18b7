#include "convert/MoveConfinement.h"

#include "convert/Conversion.h"
#include "support/FolderState.h"
#include "support/TestWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Every file, folder and link below `root` with what it holds or points at.
test::FileContents Snapshot(const std::string& root) {
    return test::FolderContents(root, {.links = true, .folders = true});
}

enum class Leaves { ImageFolder, BifFolder };

struct Hostile {
    std::string imagePath;
    Leaves leaves;
};

// A job in w/: index files in w/in, images in w/images/x, the BIF file in w/out. Around it,
// files that an index line must never reach: secret/keys.txt beside w, outside/..., and links
// from inside the job's folders to outside.
class MoveConfinementTest : public ::testing::Test {
protected:
    MoveConfinementTest() {
        for (const char* file :
             {"secret/keys.txt", "outside/secret/keys.txt", "outside/a.tif", "w/keys.txt",
              "w/images/keys.txt", "w/images/x/B1/0001.tif", "w/images/x/B9/a.tif",
              "w/images/x/B8.tif/a.tif", "w/out/B8.tif/a.tif", "w/in/keep.txt"})
            w.temp.write(file, "data");
        fs::create_directory_symlink(w.temp.path("outside"), w.temp.path("w/images/x/link"));
        fs::create_directory_symlink(w.temp.path("outside"), w.temp.path("w/out/B9"));
        fs::create_directory_symlink(w.temp.path("outside"), w.temp.path("w/out/B8-0001.tif"));
        w.mapDrive("C", w.temp.path());
        w.store.write(SettingsScope::User, "Quillmarch", "Shares", "srv/share", w.temp.path());
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setText(TextField::ImageFolder, imageFolder);
        w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    }

    // The landed escapes and their like: ".." at every depth with each kind of separator,
    // absolute paths outside, drive and share prefixes, empty components, links pointing out.
    std::vector<Hostile> HostilePaths() const {
        std::vector<Hostile> rows;
        const std::string t = w.temp.path();
        for (int depth = 1; depth <= 6; ++depth) {
            std::string back;
            std::string forward;
            std::string mixed;
            for (int i = 0; i < depth; ++i) {
                back += "..\\";
                forward += "../";
                mixed += i % 2 == 0 ? "..\\" : "../";
            }
            for (const std::string& up : {back, forward, mixed}) {
                rows.push_back({up + "secret\\keys.txt", Leaves::ImageFolder});
                rows.push_back({"B1\\" + up + "..\\outside\\a.tif", Leaves::ImageFolder});
            }
        }
        for (const std::string& p :
             std::vector<std::string>{"..\\..\\..\\secret\\keys.txt",
                                      "..",
                                      "..\\",
                                      ".",
                                      ".\\",
                                      "\\..\\keys.txt",
                                      "B1\\..\\..\\keys.txt",
                                      "B1/../../../keys.txt",
                                      "B1\\.\\..\\..\\..\\keys.txt",
                                      "B1\\\\..\\\\..\\keys.txt",
                                      "\\\\..\\keys.txt",
                                      "B1\\..\\..\\x\\..\\..\\keys.txt",
                                      t + "/secret/keys.txt",
                                      t + "\\outside\\a.tif",
                                      t + "/w/keys.txt",
                                      t + "/w/images/x/../../keys.txt",
                                      t + "/w/images/x/B1/../../keys.txt",
                                      t + "/w/images/x",
                                      t + "/w/images/xy/0001.tif",

                                      "C:\\secret\\keys.txt",
                                      "c:/outside/a.tif",
                                      "C:\\w\\images\\keys.txt",
                                      "\\\\srv\\share\\secret\\keys.txt",
                                      "//srv/share/outside/a.tif",
                                      "\\\\srv\\share\\w\\images\\x\\..\\keys.txt",
                                      "\\\\other\\share\\a.tif",
                                      "Q:\\a.tif",
                                      "link\\secret\\keys.txt",
                                      "link/a.tif",
                                      "link\\..\\link\\a.tif",
                                      "B1\\..\\link\\a.tif",
                                      "link"})
            rows.push_back({p, Leaves::ImageFolder});
        // Sources inside the image folder whose target leads out through a link in the BIF
        // folder.
        rows.push_back({"B9\\a.tif", Leaves::BifFolder});
        rows.push_back({imageFolder + "\\B9\\a.tif", Leaves::BifFolder});
        // Inside the image folder but without its text: the target is the source itself.
        rows.push_back({"C:\\w\\images\\x\\B1\\0001.tif", Leaves::BifFolder});
        return rows;
    }

    TestWorld w;
    std::string imageFolder = w.temp.path("w/images/x");
    std::string bif = w.temp.path("w/out/b.bif");
};

TEST_F(MoveConfinementTest, HostileImagePathsChangeNothingOutsideAndAreReported) {
    w.process.serviceMode = true; // no one to ask: the report goes to the system log
    const std::vector<Hostile> rows = HostilePaths();
    ASSERT_GE(rows.size(), 50u);
    // Each path alone, and after a line that moves an image of B1: its folders are then kept
    // open, and its move waits, when the hostile line is judged.
    for (const auto& [dupes, first] : {std::pair{false, ""},
                                       {true, ""},
                                       {false, "B1\\0001.tif,Ann\r\n"},
                                       {true, "B1\\0001.tif,Ann\r\n"}}) {
        w.job.setFlag(MenuField::AllowDupes, dupes);
        for (const Hostile& row : rows) {
            SCOPED_TRACE(row.imagePath + (dupes ? " (duplicates allowed)" : "") + " after " +
                         first);
            w.systemLog.events.clear();
            w.temp.write("w/in/a.csv", first + row.imagePath + ",Bob\r\n");
            fs::remove(w.temp.path("w/out/b.bifX"));
            const auto before = Snapshot(w.temp.path());

            EXPECT_FALSE(ConvertCSVToBIF(w.context, w.temp.path("w/in/a.csv"), bif));

            auto after = Snapshot(w.temp.path());
            after.erase("w/out/b.bifX"); // the temporary BIF stays in service mode
            if (*first != '\0' && after.contains("w/out/B1/0001.tif")) {
                // The first line's image moved before the failure, and goes back for the next.
                fs::rename(w.temp.path("w/out/B1/0001.tif"), w.temp.path("w/images/x/B1/0001.tif"));
                fs::remove(w.temp.path("w/out/B1"));
                after = Snapshot(w.temp.path());
                after.erase("w/out/b.bifX");
            }
            EXPECT_EQ(after, before);
            const std::string folder =
                row.leaves == Leaves::ImageFolder ? imageFolder : w.temp.path("w/out");
            ASSERT_EQ(w.systemLog.events.size(), 1u);
            EXPECT_EQ(w.systemLog.events[0].text,
                      "1002 - Image path " + row.imagePath + " leaves the folder " + folder +
                          "!  Cannot move file!\n\nLine # 14\n\nModule: Convert CSV to BIF");
        }
    }
}

TEST_F(MoveConfinementTest, NumberedNameLeadingOutThroughALinkIsRefused) {
    w.job.setFlag(MenuField::AllowDupes, true);
    w.host.answers = {Answer::Yes}; // remove the temporary BIF file
    w.temp.write("w/in/a.csv", "B8.tif\\a.tif,Bob\r\n");
    const auto before = Snapshot(w.temp.path());
    EXPECT_FALSE(ConvertCSVToBIF(w.context, w.temp.path("w/in/a.csv"), bif));
    EXPECT_EQ(Snapshot(w.temp.path()), before);
    ASSERT_FALSE(w.host.boxes.empty());
    EXPECT_EQ(w.host.boxes[0].text, "1002 - Image path B8.tif\\a.tif leaves the folder " +
                                        w.temp.path("w/out") + "!  Cannot move file!\n\nLine # 14");
}

TEST_F(MoveConfinementTest, PathsThatStayInsideStillMove) {
    for (const std::string& p : std::vector<std::string>{
             "B1\\0001.tif", "B1\\..\\B1\\.\\0001.tif", "B1//0001.tif",
             imageFolder + "/B1/0001.tif", imageFolder + "\\B1\\..\\B1\\0001.tif"}) {
        SCOPED_TRACE(p);
        w.temp.write("w/images/x/B1/0001.tif", "image");
        fs::remove_all(w.temp.path("w/out/B1"));
        w.temp.write("w/in/a.csv", p + ",Bob\r\n");
        fs::remove(w.temp.path("w/out/b.bif"));
        EXPECT_TRUE(ConvertCSVToBIF(w.context, w.temp.path("w/in/a.csv"), bif));
        EXPECT_EQ(w.temp.read("w/out/B1/0001.tif"), "image");
        EXPECT_FALSE(fs::exists(w.temp.path("w/images/x/B1/0001.tif")));
    }
    EXPECT_TRUE(w.host.boxes.empty());
}

TEST_F(MoveConfinementTest, MovingOffTouchesNothingWhateverThePath) {
    w.job.setCheck(CheckField::MoveFiles, CheckState::Unchecked);
    const auto before = Snapshot(w.temp.path());
    std::string lines;
    for (const Hostile& row : HostilePaths())
        lines += row.imagePath + ",Bob\r\n";
    w.temp.write("w/in/a.csv", lines);
    EXPECT_TRUE(ConvertCSVToBIF(w.context, w.temp.path("w/in/a.csv"), bif));
    auto after = Snapshot(w.temp.path());
    EXPECT_EQ(after.erase("w/out/b.bif"), 1u);
    EXPECT_EQ(after.erase("w/in/a.csv"), 1u);
    auto expected = before;
    expected.erase("w/in/a.csv");
    EXPECT_EQ(after, expected);
}

TEST(LiesInside, JudgedWhereThePathsLead) {
    TestWorld w;
    w.temp.write("f/a/file", "x");
    fs::create_directory_symlink(w.temp.path("g"), w.temp.path("f/out"));
    fs::create_directory_symlink(w.temp.path("f/loop"), w.temp.path("f/loop"));
    const std::string f = w.temp.path("f");
    const struct {
        std::string path;
        std::string folder;
        bool inside;
    } cases[] = {
        {f + "/a/file", f, true},
        {f + "/a/../a/file", f, true},
        {f + "/new/x", f, true},
        {f + "/new/../../x", f, false},
        {f, f, false},
        {f + "/.", f, false},
        {f + "x/file", f, false},
        {f + "/out/x", f, false},
        {f + "/out/../x", f, false},
        {"", f, false},
        {f + "/a", "", false},
        {"Q:\\a\\b", "Q:\\a", true},
        {"Q:\\a\\..\\b", "Q:\\a", false},
        {f + "/loop/x", f, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LiesInside(w.files, c.path, c.folder), c.inside) << c.path << " in " << c.folder;
}

} // namespace
} // namespace qm::test

#include "convert/Conversion.h"

#include "support/TestWorld.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

const std::string Sections = "[Documents File]\r\n[documents]\r\n";

// A host that runs a step of the test whenever the conversion lets events through.
class EventHost : public ScriptedHost {
public:
    void pumpEvents() override {
        ScriptedHost::pumpEvents();
        if (onPump)
            onPump(pumps);
    }
    std::function<void(long)> onPump;
};

class ConversionTest : public ::testing::Test {
protected:
    ConversionTest() {
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name|Date");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setText(TextField::Folder, "/Finance/2024/Invoices");
        w.job.setText(TextField::ImageFolder, "C:\\Scans");
        w.job.setCheck(CheckField::CreateFolder, CheckState::Checked);
    }

    bool convert(std::string_view content) {
        w.temp.write("in/a.csv", content);
        return ConvertCSVToBIF(w.context, index, bif);
    }
    std::string result(const char* name = "output.bif") {
        return w.temp.read(std::string("out/") + name);
    }
    bool has(const std::string& relative) { return fs::exists(w.temp.path(relative)); }
    // The one error box shown, or "" when there was none.
    std::string report() {
        for (const MessageBox& box : w.host.boxes) {
            if (box.title == "Error in Convert CSV to BIF")
                return box.text;
        }
        return "";
    }
    // True when `line` is a whole line of `text`, other than its first.
    static bool hasLine(const std::string& text, const std::string& line) {
        return text.find("\r\n" + line + "\r\n") != std::string::npos;
    }

    TestWorld w;
    std::string index = w.temp.path("in/a.csv");
    std::string bif = w.temp.path("out/output.bif");
    std::string out = w.temp.path("out");
};

TEST_F(ConversionTest, WorkedExampleByteForByte) {
    ASSERT_TRUE(convert("B1\\0001.tif,Smith,2024-01-05\r\n"));
    EXPECT_EQ(result(), Sections + "document1=Invoice\t\"C:\\Scans\\B1\\0001.tif\"\r\n"
                                   "doc1.fields=Name|Date\r\n"
                                   "doc1.field1=Smith\r\n"
                                   "doc1.field2=2024-01-05\r\n"
                                   "doc1.location=/Finance/2024/Invoices\r\n"
                                   "doc1.create_location=True\r\n"
                                   "doc1.append=False\r\n"
                                   "doc1.delete_images=False\r\n");
    EXPECT_EQ(w.host.boxes.size(), 0u);
    EXPECT_FALSE(has("out/output.bifX"));
    EXPECT_EQ(w.host.status[1], "");
    EXPECT_EQ(w.host.status[2], "");
    EXPECT_EQ(w.host.pumps, 2); // one per line, one at the end
}

TEST_F(ConversionTest, DocumentTypeFromEachLineCarriesOverAndPlaceholdersInValuesAreFilled) {
    w.job.setText(TextField::DocType, "");
    w.job.setText(TextField::FieldNames, "IMAGEPATH|DocType|Name");
    ASSERT_TRUE(convert("a.tif,Invoice,PPPPP\r\nb.tif\r\n"));
    const std::string text = result();
    EXPECT_TRUE(hasLine(text, "document1=Invoice\t\"C:\\Scans\\a.tif\""));
    EXPECT_TRUE(hasLine(text, "doc1.field1=C:\\Scans\\a.tif"));
    EXPECT_TRUE(hasLine(text, "document2=Invoice\t\"C:\\Scans\\b.tif\""));
    EXPECT_TRUE(hasLine(text, "doc2.location=/Finance/2024/Invoices"));
    EXPECT_EQ(text.find("doc2.field1"), std::string::npos);
}

TEST_F(ConversionTest, MissingRequiredNamesFailBeforeAnyFileIsCreated) {
    const struct {
        const char* names;
        const char* docType;
        const char* text;
    } cases[] = {
        {"Name|Date", "Invoice", "1000 - ImagePath field is missing!  Cannot process file!"},
        {"IMAGEPATH|Name", "", "1001 - Document type is missing!  Cannot process file!"},
    };
    for (const auto& c : cases) {
        w.host.boxes.clear();
        w.job.setText(TextField::FieldNames, c.names);
        w.job.setText(TextField::DocType, c.docType);
        EXPECT_FALSE(convert("a.tif,x\r\n"));
        EXPECT_EQ(report(), std::string(c.text) + "\n\nLine # 1");
        EXPECT_EQ(w.host.boxes.size(), 1u); // no "Remove" question
        EXPECT_FALSE(has("out"));
    }
}

TEST_F(ConversionTest, HeaderAndBlankLines) {
    const struct {
        bool skipHeader;
        const char* content;
        const char* documents; // the image names of the documents, in order
    } cases[] = {
        {false, "", ""},
        {true, "IMAGEPATH,Name\r\n", ""},
        {true, "   \r\na.tif\r\n", "a"},
        {false, "a.tif\r\n  \r\n\r\nb.tif\nc.tif\rd.tif", "abcd"},
        {true, "h.tif\r\n \r\na.tif\r\n\r\nb.tif\r\n", "ab"},
    };
    for (const auto& c : cases) {
        w.job.setFlag(MenuField::SkipHeader, c.skipHeader);
        ASSERT_TRUE(convert(c.content)) << report();
        std::string expected = Sections;
        int n = 0;
        for (const char* p = c.documents; *p; ++p) {
            const std::string number = std::to_string(++n);
            expected += "document" + number + "=Invoice\t\"C:\\Scans\\" + *p + ".tif\"\r\n" +
                        "doc" + number + ".fields=Name|Date\r\n" + "doc" + number +
                        ".location=/Finance/2024/Invoices\r\n" + "doc" + number +
                        ".create_location=True\r\ndoc" + number + ".append=False\r\ndoc" + number +
                        ".delete_images=False\r\n";
        }
        EXPECT_EQ(result(), expected) << c.content;
        fs::remove(bif);
    }
}

TEST_F(ConversionTest, EmptyFileWithHeaderSkippedFailsAtFiveWithoutTemporaryFile) {
    w.job.setFlag(MenuField::SkipHeader, true);
    EXPECT_FALSE(convert(""));
    EXPECT_EQ(report(), "62 - Input past end of file: " + index + "\n\nLine # 5");
    EXPECT_EQ(w.host.boxes.size(), 1u);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ConversionTest, MaxFilesPlaysNoPart) {
    w.job.setText(TextField::MaxFiles, "1");
    ASSERT_TRUE(convert("a.tif\r\nb.tif\r\nc.tif\r\n"));
    const std::string first = result();
    fs::remove(bif);
    w.job.setText(TextField::MaxFiles, "2500");
    ASSERT_TRUE(convert("a.tif\r\nb.tif\r\nc.tif\r\n"));
    EXPECT_EQ(result(), first);
    EXPECT_TRUE(hasLine(first, "doc3.delete_images=False"));
}

TEST_F(ConversionTest, FreeNameIsChosenAndAStaleTemporaryOverwritten) {
    const struct {
        const char* wanted;
        std::vector<const char*> existing;
        const char* chosen;
    } cases[] = {
        {"output.bif", {"output.bif", "output1.bif", "output2.bifX"}, "output2.bif"},
        {"output.bif", {"output.bifX", "output1.bif"}, "output.bif"},
        {"output", {"output", "output1"}, "output2"},
        {"a.b.bif", {"a.b.bif"}, "a.b1.bif"},
        {"output.bif", {"output.bif", "output1.bif", "output3.bif", "Output2.bif"}, "output2.bif"},
        {"output.bif",
         {"output.bif", "output01.bif", "output1.bif", "output2x.bif"},
         "output2.bif"},
        {"output.bif", {"output.bif", "output2.bif"}, "output1.bif"},
    };
    for (const auto& c : cases) {
        fs::remove_all(out);
        for (const char* name : c.existing)
            w.temp.write(std::string("out/") + name, "keep");
        bif = out + "/" + c.wanted;
        ASSERT_TRUE(convert("a.tif\r\n")) << report();
        EXPECT_EQ(result(c.chosen).substr(0, Sections.size()), Sections);
        EXPECT_FALSE(has(std::string("out/") + c.chosen + "X"));
        for (const char* name : c.existing) {
            if (std::string(name) != std::string(c.chosen) + "X") {
                EXPECT_EQ(result(name), "keep");
            }
        }
    }
}

TEST_F(ConversionTest, PlacesThatCannotHoldTheBifFileAreReported) {
    w.temp.write("dir/output.bif/x", "");
    const struct {
        std::string bifPath;
        std::string text;
    } cases[] = {
        {w.temp.path("dir/output.bif"), "58 - File already exists (a folder has this name): " +
                                            w.temp.path("dir") + "\\output.bif\n\nLine # 4"},
        {"Q:\\Out\\output.bif", "76 - Path not found (drive Q: is not mapped in section [Drives] "
                                "of the per-user settings): Q:\\Out\n\nLine # 4"},
        {w.temp.path("dir/"),
         "75 - Path/File access error (no file name): " + w.temp.path("dir/") + "\n\nLine # 4"},
    };
    for (const auto& c : cases) {
        w.host.boxes.clear();
        bif = c.bifPath;
        EXPECT_FALSE(convert("a.tif\r\n"));
        EXPECT_EQ(report(), c.text);
        EXPECT_EQ(w.host.boxes.size(), 1u);
    }
}

TEST_F(ConversionTest, FolderThatCannotBeWrittenIsReported) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    fs::create_directories(out);
    ::chmod(out.c_str(), 0555);
    EXPECT_FALSE(convert("a.tif\r\n"));
    EXPECT_EQ(report(), "70 - Permission denied: " + out + "\\output.bifX\n\nLine # 5");
    EXPECT_EQ(w.host.boxes.size(), 1u);
}

TEST_F(ConversionTest, TemporaryNameOfTheIndexFileItselfIsRefused) {
    // A wildcard job can pick up a temporary file that an earlier failure left.
    w.temp.write("out/output.bifX", "a.tif\r\n");
    EXPECT_FALSE(ConvertCSVToBIF(w.context, w.temp.path("out/output.bifX"), bif));
    EXPECT_EQ(w.temp.read("out/output.bifX"), "a.tif\r\n");
    EXPECT_NE(report().find("75 - Path/File access error (it is the index file"),
              std::string::npos);
}

TEST_F(ConversionTest, RemoveQuestionAfterAFailure) {
    // The second line's image is missing: No at "Source File is Missing" fails the run.
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.job.setText(TextField::ImageFolder, w.temp.path("scans"));
    const struct {
        bool service;
        Answer remove;
        bool temporaryStays;
    } cases[] = {{false, Answer::Yes, false}, {false, Answer::No, true}, {true, Answer::No, true}};
    for (const auto& c : cases) {
        fs::remove_all(out);
        w.temp.write("scans/B1/0001.tif", "image");
        w.process.serviceMode = c.service;
        w.host.boxes.clear();
        w.host.answers = {Answer::No, c.remove};
        EXPECT_FALSE(convert("B1\\0001.tif\r\nB1\\0002.tif\r\n"));

        const std::string temporary = out + "\\output.bifX";
        EXPECT_EQ(has("out/output.bifX"), c.temporaryStays);
        EXPECT_FALSE(has("out/output.bif"));
        EXPECT_EQ(w.temp.read("out/B1/0001.tif"), "image"); // moved before the failure, stays
        EXPECT_FALSE(has("scans/B1/0001.tif"));
        EXPECT_EQ(w.host.status[1], "a.csv");
        EXPECT_EQ(w.host.status[2], "B1\\0002.tif");
        if (c.service) {
            EXPECT_EQ(w.host.boxes.size(), 1u); // only "Source File is Missing"
            ASSERT_FALSE(w.systemLog.events.empty());
            EXPECT_EQ(w.systemLog.events.back().text,
                      "23 - Source file not found.\n\nLine # 14\n\nModule: Convert CSV to BIF");
            w.host.answers.clear();
            continue;
        }
        EXPECT_EQ(report(), "23 - Source file not found.\n\nLine # 14");
        ASSERT_EQ(w.host.boxes.size(), 3u);
        const MessageBox& box = w.host.boxes[2];
        EXPECT_EQ(box.text, "Remove " + temporary + "?");
        EXPECT_EQ(box.title, "Quillmarch");
        EXPECT_EQ(box.buttons, Buttons::YesNo);
        EXPECT_EQ(box.icon, Icon::Question);
        if (c.temporaryStays) {
            EXPECT_TRUE(hasLine(result("output.bifX"), "doc1.delete_images=False"));
        }
    }
}

TEST_F(ConversionTest, ImagesMovedWithRelativeAndAbsolutePaths) {
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    const std::string scans = w.temp.path("scans");
    const struct {
        std::string imageFolder;
        std::string line;
        std::string reference;
        const char* movedTo; // below the BIF folder
    } cases[] = {
        {scans, "B1\\0001.tif", out + "\\B1\\0001.tif", "B1/0001.tif"},
        {scans, scans + "/B1/0001.tif", out + "/B1/0001.tif", "B1/0001.tif"},
        {"", scans + "/B1/0001.tif", out + "/0001.tif", "0001.tif"},
        {"", "B1\\0001.tif", out + "\\B1\\0001.tif", "B1/0001.tif"}, // beside the index file
    };
    for (const auto& c : cases) {
        fs::remove_all(out);
        const std::string source =
            c.imageFolder.empty() && c.line[0] != '/' ? "in/B1/0001.tif" : "scans/B1/0001.tif";
        w.temp.write(source, "image");
        w.job.setText(TextField::ImageFolder, c.imageFolder);
        ASSERT_TRUE(convert(c.line + ",x,y\r\n")) << report();
        EXPECT_TRUE(hasLine(result(), "document1=Invoice\t\"" + c.reference + "\"")) << result();
        EXPECT_EQ(w.temp.read(std::string("out/") + c.movedTo), "image");
        EXPECT_FALSE(has(source));
    }
}

TEST_F(ConversionTest, RelativeImageNotBesideTheIndexFileNeedsAnImageFolder) {
    w.job.setText(TextField::ImageFolder, "");
    w.host.answers = {Answer::Yes};
    EXPECT_FALSE(convert("B1\\0001.tif\r\n"));
    EXPECT_EQ(report(), "301 - Cannot determine location of input files.  Please set the Image "
                        "Folder option.\n\nLine # 12");
    EXPECT_FALSE(has("out/output.bifX"));
}

TEST_F(ConversionTest, UnmappedDriveAsImageFolder) {
    w.job.setText(TextField::ImageFolder, "Q:\\Scans");
    ASSERT_TRUE(convert("B1\\0001.tif\r\n")); // moving off: the BIF file only points there
    EXPECT_TRUE(hasLine(result(), "document1=Invoice\t\"Q:\\Scans\\B1\\0001.tif\""));

    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.host.answers = {Answer::No, Answer::Yes};
    EXPECT_FALSE(convert("B1\\0001.tif\r\n"));
    EXPECT_EQ(w.host.boxes[0].text, "Source File: Q:\\Scans\\B1\\0001.tif\rIndex File: " + index +
                                        "\rSkip file and continue processing?");
    EXPECT_EQ(report(), "23 - Source file not found.\n\nLine # 14");
}

TEST_F(ConversionTest, AnswersAtTheImageQuestionsShapeDiskAndBif) {
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.job.setText(TextField::ImageFolder, w.temp.path("scans"));
    const std::string target = out + "\\B1\\0001.tif";
    const struct {
        bool sourceThere;
        Answer answer;
        bool converted;
        const char* targetContent; // "" when there is no file at the target
    } cases[] = {
        {true, Answer::Yes, true, "new"},     {true, Answer::No, true, "old"},
        {true, Answer::Cancel, false, "old"}, {false, Answer::Yes, true, ""},
        {false, Answer::No, false, ""},
    };
    for (const auto& c : cases) {
        fs::remove_all(out);
        fs::remove_all(w.temp.path("scans"));
        if (c.sourceThere) {
            w.temp.write("scans/B1/0001.tif", "new");
            w.temp.write("out/B1/0001.tif", "old");
        }
        w.host.answers = {c.answer, Answer::Yes};
        EXPECT_EQ(convert("B1\\0001.tif\r\n"), c.converted);
        if (c.converted) {
            EXPECT_TRUE(hasLine(result(), "document1=Invoice\t\"" + target + "\""));
        } else {
            EXPECT_FALSE(has("out/output.bifX"));
        }
        EXPECT_EQ(has("out/B1/0001.tif") ? w.temp.read("out/B1/0001.tif") : "", c.targetContent);
        EXPECT_EQ(has("scans/B1/0001.tif"), c.sourceThere && c.answer != Answer::Yes);
        w.host.answers.clear();
    }
}

TEST_F(ConversionTest, DuplicatesAllowedNumberTheSecondAndThirdImage) {
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.job.setFlag(MenuField::AllowDupes, true);
    w.job.setText(TextField::ImageFolder, "");
    w.temp.write("out/0001.tif", "old");
    w.temp.write("s1/0001.tif", "one");
    w.temp.write("s2/0001.tif", "two");
    ASSERT_TRUE(convert(w.temp.path("s1/0001.tif") + "\r\n" + w.temp.path("s2/0001.tif")));
    EXPECT_TRUE(hasLine(result(), "document1=Invoice\t\"" + out + "/0001-0001.tif\""));
    EXPECT_TRUE(hasLine(result(), "document2=Invoice\t\"" + out + "/0001-0002.tif\""));
    EXPECT_EQ(w.temp.read("out/0001.tif"), "old");
    EXPECT_EQ(w.temp.read("out/0001-0001.tif"), "one");
    EXPECT_EQ(w.temp.read("out/0001-0002.tif"), "two");
    // A numbered name held by a link, even one leading out, is taken too.
    w.temp.write("elsewhere/0001.tif", "outside");
    fs::create_symlink(w.temp.path("elsewhere/0001.tif"), w.temp.path("out/0001-0003.tif"));
    w.temp.write("s3/0001.tif", "three");
    ASSERT_TRUE(convert(w.temp.path("s3/0001.tif")));
    EXPECT_TRUE(hasLine(result("output1.bif"), "document1=Invoice\t\"" + out + "/0001-0004.tif\""));
    EXPECT_EQ(w.temp.read("out/0001-0004.tif"), "three");
    EXPECT_EQ(w.temp.read("elsewhere/0001.tif"), "outside");
}

TEST_F(ConversionTest, MoveAcrossFileSystems) {
    std::string shm = "/dev/shm/qmconv-XXXXXX";
    struct stat tmpInfo {};
    struct stat shmInfo {};
    if (::stat(w.temp.path().c_str(), &tmpInfo) != 0 || ::mkdtemp(shm.data()) == nullptr)
        GTEST_SKIP() << "no /dev/shm to move to";
    ::stat(shm.c_str(), &shmInfo);
    if (tmpInfo.st_dev == shmInfo.st_dev) {
        fs::remove_all(shm);
        GTEST_SKIP() << "the temporary folder and /dev/shm are one file system";
    }
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.job.setText(TextField::ImageFolder, w.temp.path("scans"));
    w.temp.write("scans/B1/0001.tif", "image");
    bif = shm + "/out/output.bif";
    const bool converted = convert("B1\\0001.tif\r\n");
    std::error_code ec;
    const bool moved = fs::file_size(shm + "/out/B1/0001.tif", ec) == 5;
    const bool written =
        fs::exists(shm + "/out/output.bif") && !fs::exists(shm + "/out/output.bifX");
    fs::remove_all(shm);
    EXPECT_TRUE(converted) << report();
    EXPECT_TRUE(moved);
    EXPECT_TRUE(written);
    EXPECT_FALSE(has("scans/B1/0001.tif"));
}

TEST_F(ConversionTest, FinalNameTakenMeanwhileKeepsBothFiles) {
    EventHost host;
    Context context{w.files, w.tools, host, w.job, w.process, w.log, w.reporter};
    host.onPump = [&](long) { w.temp.write("out/output.bif", "someone else's"); };
    host.answers = {Answer::No};
    w.temp.write("in/a.csv", "a.tif\r\n");
    EXPECT_FALSE(ConvertCSVToBIF(context, index, bif));
    EXPECT_EQ(report(), "58 - File already exists: " + out + "\\output.bif\n\nLine # 16");
    EXPECT_EQ(result(), "someone else's");
    EXPECT_TRUE(hasLine(result("output.bifX"), "doc1.delete_images=False"));
}

TEST_F(ConversionTest, FailureAfterTheRenameIsReportedButTheBifFileCounts) {
    // The closing log line cannot be written: the BIF file is already in place, so the job
    // runner must still save and remove, and there is no temporary file to offer.
    EventHost host;
    Context context{w.files, w.tools, host, w.job, w.process, w.log, w.reporter};
    w.job.setFlag(MenuField::DebugMode, true);
    host.onPump = [&](long) {
        fs::remove(w.log.path());
        fs::create_directory(w.log.path());
    };
    w.temp.write("in/a.csv", "a.tif\r\n");
    EXPECT_TRUE(ConvertCSVToBIF(context, index, bif));
    EXPECT_NE(report().find("\n\nLine # 16"), std::string::npos);
    EXPECT_TRUE(hasLine(result(), "doc1.delete_images=False"));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ConversionTest, SettingsChangedWhileRunningAreSeenFromTheNextLine) {
    EventHost host;
    host.recordStatus2History = true;
    Context context{w.files, w.tools, host, w.job, w.process, w.log, w.reporter};
    host.onPump = [&](long pumps) {
        if (pumps == 2)
            w.job.setText(TextField::ImageFolder, "D:\\Other");
    };
    w.temp.write("in/a.csv", "a.tif\r\nb.tif\r\n");
    ASSERT_TRUE(ConvertCSVToBIF(context, index, bif));
    EXPECT_TRUE(hasLine(result(), "document1=Invoice\t\"C:\\Scans\\a.tif\""));
    EXPECT_TRUE(hasLine(result(), "document2=Invoice\t\"D:\\Other\\b.tif\""));
    EXPECT_EQ(host.status2History, (std::vector<std::string>{"a.tif", "b.tif", ""}));
}

TEST_F(ConversionTest, DebugLinesInOrderWithThePathsAsTheyWereHandedIn) {
    // The paths handed in are the job's own settings, changed by an event during the run.
    EventHost host;
    Context context{w.files, w.tools, host, w.job, w.process, w.log, w.reporter};
    host.onPump = [&](long) { w.job.setText(TextField::IndexFile, "changed"); };
    w.job.setFlag(MenuField::DebugMode, true);
    w.job.setText(TextField::IndexFile, index);
    w.job.setText(TextField::BIFFile, bif);
    w.temp.write("in/a.csv", "a.tif\r\n");
    ASSERT_TRUE(
        ConvertCSVToBIF(context, w.job.text(TextField::IndexFile), w.job.text(TextField::BIFFile)));
    const std::string stamp = "2026-02-03 09:05:07 - ";
    EXPECT_EQ(w.temp.read("debug-QM.log"),
              stamp + "Converting File: " + index + " to BIF File: " + bif + "\r\n" + stamp +
                  "Read Configuration Settings\r\n" + stamp + "Starting File Conversion\r\n" +
                  stamp + "Finished Converting File: " + index + "\r\n");
}

TEST_F(ConversionTest, HostileContentGivesABifOrACleanReport) {
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919 + 13) % 256);
    const struct {
        const char* name;
        std::string content;
        std::string mustHold;
    } cases[] = {
        {"NUL bytes", std::string("a\0b.tif,Sm\0ith\r\n", 16), std::string("field1=Sm\0ith", 13)},
        {"only delimiters", ",,,,\r\n",
         "document1=Invoice\t\"C:\\Scans\\\"\r\ndoc1.fields=Name|Date"
         "\r\ndoc1.field1=\r\ndoc1.field2=\r\n"},
        {"only quotes", "\"\"\"\"\"\r\n", "document1=Invoice\t\"C:\\Scans\\\"\"\"\r\n"},
        {"binary", binary, Sections},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(convert(c.content)) << c.name << ": " << report();
        EXPECT_NE(result().find(c.mustHold), std::string::npos) << c.name;
        fs::remove(bif);
    }
}

} // namespace
} // namespace qm::test

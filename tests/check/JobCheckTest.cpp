#include "check/JobCheck.h"

#include "check/FindingReport.h"
#include "settings/ConfigFile.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace qm::test {
namespace {

struct Recorder : FindingSink {
    bool count(const std::string&, Severity) override { return true; }
    void show(const Finding& finding) override { findings.push_back(finding); }
    // "file-name:line kind" for each finding whose file ends as given.
    std::vector<std::string> seen(const std::string& fileEnd = "") const {
        std::vector<std::string> lines;
        for (const Finding& f : findings) {
            if (f.file.ends_with(fileEnd))
                lines.push_back(f.file.substr(f.file.find_last_of("/\\") + 1) + ":" +
                                std::to_string(f.line) + " " + f.kind);
        }
        return lines;
    }
    const Finding& at(std::size_t i) const { return findings.at(i); }
    std::vector<Finding> findings;
};

class JobCheckTest : public ::testing::Test {
protected:
    JobCheckTest() {
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name|Amount");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setText(TextField::Delimiter, ",");
        w.job.setText(TextField::ImageFolder, w.temp.path("scans"));
        w.job.setText(TextField::IndexFile, w.temp.path("in/*.csv"));
        w.job.setText(TextField::BIFFile, w.temp.path("out/batch.bif"));
        w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
        for (const char* image : {"1.tif", "2.tif", "3.tif", "4.tif", "5.tif", "6.tif", "7.tif"})
            w.temp.write(std::string("scans/") + image, "image");
        w.temp.write("SCANS/7.tif", "another image");
        w.temp.write("out/4.tif", "already moved");
        w.temp.write("outside.tif", "not the job's");
        w.temp.write("in/a.csv", "\xEF\xBB\xBF"
                                 "1.tif,Smith,10\r\n2.tif,Jones,20\n");
    }

    Recorder check() {
        Recorder recorder;
        totals = CheckJob(w.context, recorder);
        return recorder;
    }

    TestWorld w;
    CheckTotals totals;
};

// What the run passes over (the job's own file, a BIF file of the job, a file a second entry
// picks again) is a warning, and is not checked as an index file.
TEST_F(JobCheckTest, FilesTheRunPassesOverAreWarnings) {
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("in/job.csv"));
    SaveConfig(w.context, w.temp.path("in/job.csv"));
    w.job.setText(TextField::IndexFile, w.temp.path("in/*.csv") + "|" + w.temp.path("in/./a.csv") +
                                            "|" + w.temp.path("out/*.bif"));
    w.temp.write("out/batch3.bif", "[Documents File]\r\n");
    const Recorder found = check();
    EXPECT_EQ(found.seen("job.csv"), std::vector<std::string>{"job.csv:0 own-file"});
    EXPECT_EQ(found.seen("batch3.bif"), std::vector<std::string>{"batch3.bif:0 own-file"});
    EXPECT_EQ(found.seen("./a.csv"), std::vector<std::string>{"a.csv:0 own-file"});
    EXPECT_EQ(totals.indexFiles, 1);
}

TEST_F(JobCheckTest, PlantedDefectsAreFoundAtTheirLinesAndNothingElse) {
    w.temp.write("in/b.csv", "3.tif,Short\r\n"
                             "missing.tif,X,1\r\n"
                             "\r\n"
                             "4.tif,Y,2\r\n"
                             "5.tif,Long,3,extra,more\r\n"
                             "6.tif,Name,\"4\r\n"
                             ",Empty,5\r\n"
                             "..\\outside.tif,Escapes,8\r\n");
    for (const bool allowDupes : {false, true}) {
        w.job.setFlag(MenuField::AllowDupes, allowDupes);
        const Recorder r = check();
        EXPECT_EQ(r.seen(), (std::vector<std::string>{
                                "a.csv:0 bif-file", "b.csv:1 short-line", "b.csv:2 image-not-found",
                                "b.csv:4 target-exists", "b.csv:5 long-line",
                                "b.csv:6 unbalanced-quote", "b.csv:7 empty-image-path",
                                "b.csv:8 path-escapes", "b.csv:0 not-converted"}));
        ASSERT_EQ(r.findings.size(), 9u);
        EXPECT_EQ(r.at(0).message, "BIF file " + w.temp.path("out") + "\\batch.bif, 2 documents");
        EXPECT_EQ(r.at(1).message, "2 values for 3 field names; not written: Amount");
        EXPECT_EQ(r.at(4).message,
                  "5 values for 3 field names: 2 values past the last are ignored");
        // Its errors fail it: no BIF file is announced.
        EXPECT_EQ(r.at(8).message, "no BIF file: the conversion fails and the index file stays");
        // Taken targets stop the conversion unless duplicates get numbered names.
        const Severity taken = allowDupes ? Severity::Note : Severity::Error;
        EXPECT_EQ(r.at(3).severity, taken);
        EXPECT_EQ(totals.indexFiles, 2);
        EXPECT_EQ(totals.lines, 10);
        EXPECT_EQ(totals.documents, 9);
    }
}

// Images found beside their index files, in two folders, move onto one target.
TEST_F(JobCheckTest, TwoLinesMovingOntoOneTarget) {
    w.job.setText(TextField::ImageFolder, "");
    w.job.setText(TextField::IndexFile, w.temp.path("in/a.csv") + "|" + w.temp.path("in2/c.csv"));
    w.temp.write("in/1.tif", "one");
    w.temp.write("in/2.tif", "two");
    w.temp.write("in2/c.csv", "1.tif,Again,3\r\n");
    w.temp.write("in2/1.tif", "another one");
    for (const bool allowDupes : {false, true}) {
        w.job.setFlag(MenuField::AllowDupes, allowDupes);
        const Recorder r = check();
        EXPECT_EQ(r.seen(), (std::vector<std::string>{"a.csv:0 bif-file", "c.csv:1 same-target",
                                                      allowDupes ? "c.csv:0 bif-file"
                                                                 : "c.csv:0 not-converted"}));
        ASSERT_EQ(r.findings.size(), 3u);
        EXPECT_EQ(r.at(1).severity, allowDupes ? Severity::Note : Severity::Error);
        EXPECT_NE(r.at(1).message.find(allowDupes ? "1-0001.tif (duplicates allowed)"
                                                  : "line 1 of " + w.temp.path("in/a.csv")),
                  std::string::npos)
            << r.at(1).message;
    }
}

TEST_F(JobCheckTest, CleanJobHasOnlyNotes) {
    w.job.setCheck(CheckField::MoveFiles, CheckState::Unchecked);
    w.temp.write("in/b.csv", "3.tif,A,1\r\n4.tif,B,2\r\n");
    const Recorder r = check();
    EXPECT_EQ(r.seen(), (std::vector<std::string>{"a.csv:0 bif-file", "b.csv:0 bif-file"}));
    EXPECT_EQ(r.at(1).message, "BIF file " + w.temp.path("out") + "\\batch1.bif, 2 documents");
}

// One setting changed from a clean job, and the findings about the job it gives.
TEST_F(JobCheckTest, SettingsFindings) {
    w.temp.write("afile", "not a folder");
    const struct {
        TextField field;
        std::string value; // "@" stands for the temporary folder
        std::vector<std::string> expected;
        Severity severity;
    } cases[] = {
        {TextField::BIFFile, "", {"no-bif-file"}, Severity::Error},
        {TextField::BIFFile, "batch.bif", {"bif-folder"}, Severity::Error},
        {TextField::BIFFile, "S:\\out\\b.bif", {"unmapped-path"}, Severity::Error},
        {TextField::BIFFile, "@/afile/x/b.bif", {"bif-folder"}, Severity::Error},
        {TextField::BIFFile, "@/new/deeper/b.bif", {"bif-folder-created"}, Severity::Note},
        {TextField::FieldNames, "Name|Amount", {"no-imagepath-field"}, Severity::Error},
        {TextField::DocType, "", {"no-document-type"}, Severity::Error},
        {TextField::Delimiter, ", ", {"delimiter"}, Severity::Warning},
        {TextField::ImageFolder, "@/nowhere", {"image-folder-missing"}, Severity::Warning},
        {TextField::IndexFile, "@/missing/*.csv", {"index-entry"}, Severity::Error},
        {TextField::IndexFile, "@/in/*.txt", {"index-entry"}, Severity::Warning},
        {TextField::IndexFile, "a.csv", {"index-entry"}, Severity::Error},
        {TextField::IndexFile, "", {"no-index-file"}, Severity::Warning},
    };
    for (const auto& c : cases) {
        const std::string before = w.job.text(c.field);
        std::string value = c.value;
        if (const auto at = value.find('@'); at != std::string::npos)
            value.replace(at, 1, w.temp.path());
        w.job.setText(c.field, value);
        const Recorder r = check();
        w.job.setText(c.field, before);
        std::vector<std::string> kinds;
        for (const Finding& f : r.findings) {
            if (f.file == "(command line)") {
                kinds.push_back(f.kind);
                EXPECT_EQ(f.severity, c.severity) << value << ": " << f.message;
            }
        }
        EXPECT_EQ(kinds, c.expected) << value;
    }
}

// Not moving, the run never looks in the image folder: one on a drive that is not mapped is
// said once, as a warning, and the BIF file is still written. Moving, every line fails there,
// and the run fails only when there is a document to convert.
TEST_F(JobCheckTest, AnUnmappedImageFolderMattersOnlyWhenImagesMove) {
    w.job.setText(TextField::ImageFolder, "S:\\scans");
    const struct {
        bool move;
        bool documents;
        std::vector<std::string> expected;
        Severity severity;
    } cases[] = {
        {false, true, {"(command line):0 unmapped-path", "a.csv:0 bif-file"}, Severity::Warning},
        {true,
         true,
         {"a.csv:1 image-not-found", "a.csv:2 image-not-found", "a.csv:0 not-converted",
          "(command line):0 unmapped-path"},
         Severity::Error},
        {true, false, {"a.csv:0 bif-file", "(command line):0 unmapped-path"}, Severity::Warning},
    };
    for (const auto& c : cases) {
        if (!c.documents)
            w.temp.write("in/a.csv", "\r\n");
        w.job.setCheck(CheckField::MoveFiles, c.move ? CheckState::Checked : CheckState::Unchecked);
        const Recorder r = check();
        EXPECT_EQ(r.seen(), c.expected);
        for (const Finding& f : r.findings) {
            if (f.kind == std::string("unmapped-path")) {
                EXPECT_EQ(f.severity, c.severity) << f.message;
            }
        }
    }
}

// Whatever the file holds, the check goes through to its end.
TEST_F(JobCheckTest, BinaryJunkAndAHugeLineAreGoneThrough) {
    std::mt19937 random(7);
    std::string junk(1 << 20, '\0');
    for (char& c : junk)
        c = static_cast<char>(random());
    w.temp.write("in/junk.csv", junk);
    w.temp.write("in/long.csv", "1.tif," + std::string(32 << 20, '"') + "\r\n2.tif,x,y\r\n");
    const Recorder r = check();
    EXPECT_EQ(totals.indexFiles, 3);
    ASSERT_FALSE(r.findings.empty());
    // a.csv moved its first image away: long.csv fails on its first line.
    EXPECT_EQ(r.seen("long.csv").back(), "long.csv:0 not-converted");

    std::ostringstream json;
    FindingReport report(json, ReportFormat::JsonLines, 1000);
    for (const Finding& f : r.findings)
        report.add(f);
    report.finish(totals); // bytes that are not UTF-8 are replaced, not thrown at
    EXPECT_NE(json.str().find("\"kind\":\"summary\""), std::string::npos);
}

// Index lines that repeat the image folder's name: the check names the folder that finds them.
TEST_F(JobCheckTest, ImageFoundFromTheJobsFolderNamesTheImageFolderThatWorks) {
    w.temp.write("in/a.csv", "scans\\B7\\0001.tif,Smith,10\r\n");
    w.temp.write("scans/B7/0001.tif", "image");
    const std::string hint = "; the line's path taken from the job's folder, " + w.temp.path() +
                             "\\scans\\B7\\0001.tif, exists: the image folder " + w.temp.path() +
                             " would find it";
    const struct {
        bool move;
        std::string jobFile;
        std::string expected; // "@" stands for the temporary folder
    } cases[] = {
        {true, w.temp.path("job.sbf"),
         "the image @/scans\\scans\\B7\\0001.tif does not exist: the conversion stops here "
         "(\"Source File is Missing\" is answered No)" +
             hint},
        {false, w.temp.path("job.sbf"),
         "the image @/scans\\scans\\B7\\0001.tif does not exist; the BIF file points at it" + hint},
        // No job file to start from, or the image is not there either: no hint.
        {true, "",
         "the image @/scans\\scans\\B7\\0001.tif does not exist: the conversion stops "
         "here (\"Source File is Missing\" is answered No)"},
        {false, w.temp.path("elsewhere/job.sbf"),
         "the image @/scans\\scans\\B7\\0001.tif does not exist; the BIF file points at it"},
    };
    for (const auto& c : cases) {
        w.job.setCheck(CheckField::MoveFiles, c.move ? CheckState::Checked : CheckState::Unchecked);
        w.job.setText(TextField::CurrentConfigFile, c.jobFile);
        std::string expected = c.expected;
        expected.replace(expected.find('@'), 1, w.temp.path());
        const Recorder r = check();
        std::vector<std::string> seen{"a.csv:1 image-not-found",
                                      c.move ? "a.csv:0 not-converted" : "a.csv:0 bif-file"};
        // The converted file is followed by a save of the job, into a folder that is not there.
        if (c.jobFile.ends_with("elsewhere/job.sbf"))
            seen.push_back("job.sbf:0 job-file-save");
        ASSERT_EQ(r.seen(), seen) << c.jobFile;
        EXPECT_EQ(r.at(0).message, expected);
    }
}

TEST(FindingReportTest, ShowsAtMostTheLimitPerKindAndCountsEvery) {
    std::ostringstream text;
    FindingReport report(text, ReportFormat::Text, 2);
    for (int line = 1; line <= 4; ++line)
        report.add({"in\\a.csv", line, "image-not-found", Severity::Error, "gone"});
    report.add({"job.sbf", 0, "delimiter", Severity::Warning, "long"});
    report.finish({1, 4, 4});
    EXPECT_EQ(text.str(), "in\\a.csv:1: error: gone\n"
                          "in\\a.csv:2: error: gone\n"
                          "job.sbf: warning: long\n"
                          "Checked 1 index file, 4 lines, 4 documents: 4 errors, 1 warning "
                          "(delimiter 1, image-not-found 4); 2 not shown (--max-findings)\n");
    EXPECT_EQ(report.errors(), 4u);
}

} // namespace
} // namespace qm::test

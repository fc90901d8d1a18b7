// `--check` against the run it predicts: each job of a table is checked, then run unattended
// from the same command line, and the two must agree on which index files convert, into which
// BIF files, with how many documents, and on whether the whole command fails.

#include "convert/Journal.h"
#include "operation/ConversionLog.h"
#include "platform/PathMap.h"
#include "platform/posix/ConsoleHost.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixJournalStore.h"
#include "platform/posix/StandardFileTools.h"
#include "startup/Main.h"
#include "support/Doubles.h"
#include "support/TempFolder.h"
#include "support/TestWorld.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

namespace qm {
namespace {

// "@" stands for the job's temporary folder wherever it occurs.
struct Row {
    std::string name;
    std::vector<std::pair<std::string, std::string>> files = {}; // relative path, content
    std::vector<std::pair<std::string, std::string>> links = {}; // relative path, where it leads
    bool move = true;
    bool dupes = false;
    bool skipHeader = false;
    std::string fieldNames = "IMAGEPATH|Name";
    std::string docType = "Invoice";
    std::string imageFolder = "@/scans";
    std::string indexFile = "@/in/*.csv";
    std::vector<std::string> switches = {};
    // A first run before the check fails at scans/2.tif, missing; these files are written then.
    bool failFirst = false;
    std::vector<std::pair<std::string, std::string>> afterFailure = {};
    // A stopped run recorded out/batch.bif as the complete BIF file of in/a.csv.
    bool completedBefore = false;
    // Then, instead, in/a.csv has a journal of junk.
    bool junkJournal = false;
};

// Index file -> "BIF file, documents": what the check announces, or what the run wrote.
using Outcomes = std::map<std::string, std::string>;

struct Verdict {
    Outcomes converted;
    bool fails = false;
    bool operator==(const Verdict&) const = default;
};

void PrintTo(const Verdict& v, std::ostream* out) {
    *out << (v.fails ? "fails;" : "succeeds;");
    for (const auto& [index, bif] : v.converted)
        *out << " " << index << " -> " << bif << ";";
}

std::string Filled(std::string text, const std::string& root) {
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + root.size()))
        text.replace(at, 1, root);
    return text;
}

// A station: real folders in a temporary folder, drive S: mapped nowhere, journals on.
struct Station {
    Station() {
        env.makeFileTools = [this] { return std::make_unique<StandardFileTools>(files, store); };
        env.makeConsoleHost = [this] {
            return std::make_unique<ConsoleHost>(input, err, ConsoleTerminal{});
        };
        env.executableFolder = temp.path();
        env.journals = &journals;
    }

    void write(const std::vector<std::pair<std::string, std::string>>& list) {
        for (const auto& [path, content] : list)
            temp.write(path, Filled(content, temp.path()));
    }

    std::vector<std::string> arguments(const char* road, const Row& row) {
        std::vector<std::string> list = {road, "--json", temp.path("job.sbf")};
        if (std::string(road) != "--check")
            list.erase(list.begin() + 1);
        for (const std::string& s : row.switches)
            list.push_back(Filled(s, temp.path()));
        return list;
    }

    Verdict check(const Row& row) {
        out.str("");
        Verdict v;
        v.fails = Main(arguments("--check", row), env) != exitstatus::Success;
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);) {
            const nlohmann::json f = nlohmann::json::parse(line);
            const std::string message = f.value("message", "");
            if (f["kind"] == "bif-file" && message.starts_with("BIF file "))
                v.converted[f["file"]] = message.substr(9);
        }
        return v;
    }

    Verdict run(const Row& row) {
        systemLog.events.clear();
        Verdict v;
        v.fails = Main(arguments("--headless", row), env) != exitstatus::Success;
        for (const auto& e : systemLog.events) {
            const std::string& t = e.text;
            const auto into = t.find(" into ");
            const auto colon = t.find(": ", into);
            if (e.id != ConversionEventId || !t.starts_with("Converted ") || colon == t.npos)
                continue;
            const auto comma = t.find(',', colon);
            v.converted[t.substr(10, into - 10)] = t.substr(into + 6, colon - into - 6) + ", " +
                                                   t.substr(colon + 2, comma - colon - 2);
        }
        return v;
    }

    test::TempFolder temp;
    test::MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem files{map};
    StandardFileTools tools{files, store};
    PosixJournalStore journals{map, temp.path("journal")};
    test::RecordingSystemLog systemLog;
    test::FixedClock clock;
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream input;
    MainEnvironment env{out, err, files, store, systemLog, clock};
};

std::string JobFile(const Row& row) {
    std::string text = "1\r\n";
    for (const std::string& line :
         {row.indexFile, std::string("@/out/batch.bif"), row.imageFolder, row.docType,
          std::string("/Finance"), std::string(","), std::string("2500"), row.fieldNames})
        text += line + "\r\n";
    text += std::string("0\r\n0\r\n0\r\n") + (row.move ? "1" : "0") + "\r\nFalse\r\n" +
            (row.dupes ? "True" : "False") + "\r\nFalse\r\n" + (row.skipHeader ? "True" : "False") +
            "\r\n";
    return text;
}

// The images every row may use, in the image folder.
const std::vector<std::pair<std::string, std::string>> Scans = {
    {"scans/1.tif", "one"}, {"scans/2.tif", "two"}, {"scans/3.tif", "three"}};

std::vector<Row> Rows() {
    const std::string two = "1.tif,Smith\r\n2.tif,Jones\r\n";
    std::vector<Row> rows = {
        {.name = "moves", .files = {{"in/a.csv", two}, {"in/b.csv", "3.tif,Brown\r\n"}}},
        {.name = "no moves", .files = {{"in/a.csv", two}}, .move = false},
        {.name = "missing image, moving",
         .files = {{"in/a.csv", "1.tif,A\r\ngone.tif,B\r\n"}, {"in/b.csv", "3.tif,C\r\n"}}},
        {.name = "missing image, not moving",
         .files = {{"in/a.csv", "gone.tif,B\r\n"}},
         .move = false},
        {.name = "target taken, no duplicates", .files = {{"in/a.csv", two}, {"out/2.tif", "old"}}},
        {.name = "target taken, duplicates",
         .files = {{"in/a.csv", two}, {"out/2.tif", "old"}, {"out/2-0001.tif", "old"}},
         .dupes = true},
        {.name = "two lines onto one target",
         .files = {{"in/a.csv", "@/scans/x/1.tif,A\r\n@/scans/y/1.tif,B\r\n"},
                   {"scans/x/1.tif", "x"},
                   {"scans/y/1.tif", "y"}},
         .imageFolder = ""},
        {.name = "two lines onto one target, duplicates",
         .files = {{"in/a.csv", "@/scans/x/1.tif,A\r\n@/scans/y/1.tif,B\r\n"},
                   {"scans/x/1.tif", "x"},
                   {"scans/y/1.tif", "y"}},
         .dupes = true,
         .imageFolder = ""},
        {.name = "a number lands in a folder name",
         .files = {{"in/a.csv", "x.tif.d\\0007.tif,A\r\n"},
                   {"scans/x.tif.d/0007.tif", "new"},
                   {"out/x.tif.d/0007.tif", "old"}},
         .dupes = true},
        {.name = "unmapped image folder, not moving",
         .files = {{"in/a.csv", two}},
         .move = false,
         .imageFolder = "S:\\scans"},
        {.name = "unmapped image folder, moving",
         .files = {{"in/a.csv", two}},
         .imageFolder = "S:\\scans"},
        {.name = "/c: names a missing file in a missing folder",
         .files = {{"in/a.csv", two}},
         .switches = {"/c:@/nowhere/other.sbf"}},
        {.name = "/c: names this job again",
         .files = {{"in/a.csv", two}},
         .switches = {"/c:@/job.sbf"}},
        {.name = "empty files", .files = {{"in/a.csv", ""}, {"in/b.csv", "\r\n \r\n"}}},
        {.name = "empty file, header skipped", .files = {{"in/a.csv", ""}}, .skipHeader = true},
        {.name = "header only, header skipped",
         .files = {{"in/a.csv", "IMAGEPATH,Name\r\n"}, {"in/b.csv", "IMAGEPATH,Name\r\n" + two}},
         .skipHeader = true},
        {.name = "odd names picked by the entry",
         .files = {{"in/a.CSV", ""}, {"in/b.csv.bak", ""}, {"in/c.csvx", ""}, {"in/d", ""}},
         .indexFile = "@/in/*.*"},
        {.name = "no IMAGEPATH field", .files = {{"in/a.csv", two}}, .fieldNames = "Image|Name"},
        {.name = "no IMAGEPATH field, nothing to convert",
         .files = {{"in/a.txt", two}},
         .fieldNames = "Image|Name"},
        {.name = "no document type", .files = {{"in/a.csv", two}}, .docType = ""},
        {.name = "no document type, nothing to convert", .files = {}, .docType = ""},
        {.name = "BIF names taken, a failing file between",
         .files = {{"out/batch.bif", "old"},
                   {"in/a.csv", "1.tif,A\r\n"},
                   {"in/b.csv", "gone.tif,B\r\n"},
                   {"in/c.csv", "3.tif,C\r\n"}}},
        {.name = "image beside the index file, no image folder",
         .files = {{"in/a.csv", "4.tif,A\r\n"}, {"in/4.tif", "four"}, {"in/b.csv", "5.tif,B\r\n"}},
         .imageFolder = ""},
        {.name = "empty image path",
         .files = {{"in/a.csv", ",A\r\n"}, {"in/b.csv", "1.tif,B\r\n,C\r\n"}}},
        {.name = "empty image path, not moving", .files = {{"in/a.csv", ",A\r\n"}}, .move = false},
        {.name = "after a failed run, the image found",
         .files = {{"in/a.csv", "1.tif,A\r\n2.tif,B\r\n3.tif,C\r\n"}},
         .failFirst = true,
         .afterFailure = {{"scans/2.tif", "two"}}},
        {.name = "a BIF file completed by a stopped run",
         .files = {{"in/a.csv", two}, {"out/batch.bif", "[Documents File]\r\n"}},
         .completedBefore = true},
        {.name = "a journal of junk", .files = {{"in/a.csv", two}}, .junkJournal = true},
        // Paths that leave the folders, after a line whose move waits in a batch.
        {.name = "a path that leaves the image folder",
         .files = {{"in/a.csv", "1.tif,A\r\n..\\elsewhere\\1.tif,B\r\n"}}},
        {.name = "a folder link leading out",
         .files = {{"in/a.csv", "1.tif,A\r\nout\\1.tif,B\r\n"}},
         .links = {{"scans/out", "@/elsewhere"}}},
        {.name = "a file link leading out",
         .files = {{"in/a.csv", "1.tif,A\r\n4.tif,B\r\n"}},
         .links = {{"scans/4.tif", "@/elsewhere/1.tif"}}},
        {.name = "after a failed run, the image still missing",
         .files = {{"in/a.csv", "1.tif,A\r\n2.tif,B\r\n3.tif,C\r\n"}},
         .failFirst = true},
    };
    // Names in the BIF folder held by something other than a file: a link holds a numbered
    // name wherever it leads; a link to no file, or a folder ("" below), holds a target so
    // that the move cannot take it; a link out to a file is a path that leaves the folder.
    const std::pair<std::string, std::string> heldNames[] = {
        {"out/2-0001.tif", "@/elsewhere/1.tif"},
        {"out/2-0001.tif", "@/elsewhere/gone.tif"},
        {"out/2-0001.tif", "@/elsewhere"},
        {"out/2-0001.tif", ""},
        {"out/2.tif", "@/elsewhere/1.tif"},
        {"out/2.tif", "@/out/gone.tif"},
        {"out/2.tif", ""}};
    for (const auto& [name, link] : heldNames) {
        Row row{.name = name + " held by " + (link.empty() ? "a folder" : "a link to " + link),
                .files = {{"in/a.csv", "1.tif,A\r\n2.tif,B\r\n"}},
                .dupes = true};
        row.files.emplace_back(name == "out/2.tif" ? "out/keep" : "out/2.tif", "taken");
        if (link.empty())
            row.files.emplace_back(name + "/x", "");
        else
            row.links.emplace_back(name, link);
        rows.push_back(std::move(row));
    }
    // Enough lines in one folder for the run to read its folders once, some targets and a
    // numbered name taken.
    Row many{.name = "30 images of one folder", .dupes = true};
    std::string lines30;
    for (int i = 1; i <= 30; ++i) {
        many.files.emplace_back("scans/B1/" + std::to_string(i) + ".tif", "image");
        lines30 += "B1\\" + std::to_string(i) + ".tif,A\r\n";
    }
    many.files.insert(many.files.end(), {{"in/a.csv", lines30},
                                         {"out/B1/5.tif", "taken"},
                                         {"out/B1/20.tif", "taken"},
                                         {"out/B1/20-0001.tif", "taken"}});
    rows.push_back(std::move(many));
    // Then jobs drawn from the same parts, a different mix each.
    // QM_CHECK_JOBS and QM_CHECK_SEED draw a longer or another sweep.
    const char* jobs = std::getenv("QM_CHECK_JOBS");
    const char* seed = std::getenv("QM_CHECK_SEED");
    std::mt19937 random(seed ? static_cast<unsigned>(std::atol(seed)) : 17);
    const auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    const char* const lines[] = {"1.tif,A",
                                 "2.tif,B",
                                 "3.tif,C",
                                 "gone.tif,D",
                                 "\\1.tif,E",
                                 ",F",
                                 "sub\\1.tif,G",
                                 "IMAGEPATH,Name",
                                 "x.tif.d\\0007.tif,H",
                                 "out\\1.tif,I",
                                 "..\\elsewhere\\1.tif,J"};
    const char* const imageFolders[] = {"@/scans", "@/scans", "S:\\scans", ""};
    for (int n = 0, count = jobs ? std::atoi(jobs) : 200; n < count; ++n) {
        Row row{.name = "random job " + std::to_string(n),
                .files = {{"scans/sub/1.tif", "s"}, {"scans/x.tif.d/0007.tif", "x"}},
                .links = {{"scans/out", "@/elsewhere"}}};
        row.move = pick(3) != 0;
        row.dupes = pick(2) != 0;
        row.skipHeader = pick(4) == 0;
        row.imageFolder = imageFolders[pick(4)];
        for (const char* index : {"in/a.csv", "in/b.csv", "in/c.csv"}) {
            std::string text;
            for (unsigned lineCount = pick(4); lineCount > 0; --lineCount)
                text += std::string(lines[pick(std::size(lines))]) + "\r\n";
            row.files.emplace_back(index, text);
        }
        if (pick(3) == 0) {
            row.files.emplace_back("out/2.tif", "taken");
            const char* const holders[] = {"@/elsewhere/1.tif", "@/elsewhere/gone.tif",
                                           "@/elsewhere"};
            if (pick(3) == 0)
                row.links.emplace_back("out/2-0001.tif", holders[pick(3)]);
        } else if (pick(6) == 0) {
            // No file at the target: a folder, or a link that leads nowhere.
            const bool folder = pick(2) == 0;
            row.files.emplace_back(folder ? "out/3.tif/x" : "out/keep", "");
            if (!folder)
                row.links.emplace_back("out/3.tif", "@/out/gone.tif");
        }
        if (pick(3) == 0)
            row.files.emplace_back("out/x.tif.d/0007.tif", "taken");
        if (pick(4) == 0)
            row.files.emplace_back("out/batch.bif", "an earlier BIF file");
        if (pick(10) == 0)
            row.fieldNames = "Image|Name";
        if (pick(10) == 0)
            row.switches.push_back("/c:@/nowhere/other.sbf");
        if (pick(4) == 0)
            row.switches.push_back("/r");
        rows.push_back(std::move(row));
    }
    return rows;
}

TEST(CheckPredictsRunTest, TheCheckAgreesWithTheRunOnEveryRow) {
    // Hundreds of jobs: on a memory file system, syncs cost nothing.
    const test::ScopedEnvironment memory("TMPDIR", std::filesystem::is_directory("/dev/shm")
                                                       ? std::optional<std::string>("/dev/shm")
                                                       : std::nullopt);
    int disagreements = 0;
    for (const Row& row : Rows()) {
        Station s;
        s.write(Scans);
        s.write(row.files);
        s.write({{"elsewhere/1.tif", "outside"}});
        for (const auto& [path, target] : row.links)
            std::filesystem::create_symlink(Filled(target, s.temp.path()), s.temp.path(path));
        s.temp.write("job.sbf", Filled(JobFile(row), s.temp.path()));
        if (row.completedBefore || row.junkJournal) {
            const std::string index = s.temp.path("in/a.csv");
            const std::string bif = s.temp.path("out") + "\\batch.bif";
            const std::unique_ptr<JournalFile> journal = s.journals.open(index);
            journal->append(
                row.junkJournal
                    ? std::string("junk\n")
                    : detail::HeaderRecord(journal->key(), *s.journals.identify(index)) +
                          detail::EncodeRecord({"B", bif, "0", std::string(16, '0')}) +
                          detail::EncodeRecord({"D", bif}));
        }
        if (row.failFirst) {
            // The first run moves the first image and stops at the second, which is missing.
            std::filesystem::remove(s.temp.path("scans/2.tif"));
            ASSERT_TRUE(s.run(row).fails) << row.name;
            s.write(row.afterFailure);
        }
        const Verdict predicted = s.check(row);
        const Verdict happened = s.run(row);
        EXPECT_EQ(predicted, happened) << row.name << "\n" << s.out.str() << s.err.str();
        disagreements += predicted != happened;
    }
    RecordProperty("disagreements", disagreements);
}

} // namespace
} // namespace qm

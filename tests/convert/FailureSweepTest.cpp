// Every counted file operation of a whole conversion, and of a whole job run, is failed in
// turn; after each failure the disk must be in a sound state and the failure must have been
// told to the user.

#include "convert/Conversion.h"
#include "convert/JobRunner.h"
#include "operation/ErrorReporter.h"
#include "support/FaultyFileSystem.h"
#include "support/FolderState.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

using Files = FileContents;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// An error report as the user (or, for a service, the event log) received it.
struct Report {
    std::string title;
    std::string text;
};

std::vector<Report> Reports(const FaultyWorld& w) {
    std::vector<Report> reports;
    for (const MessageBox& box : w.host.boxes) {
        if (box.title.rfind("Error in ", 0) == 0)
            reports.push_back({box.title, box.text});
    }
    static const std::string module = "\n\nModule: ";
    for (const auto& event : w.systemLog.events) {
        const auto at = event.text.rfind(module);
        if (at != std::string::npos)
            reports.push_back(
                {"Error in " + event.text.substr(at + module.size()), event.text.substr(0, at)});
    }
    return reports;
}

// The "Remove ...?" questions asked, by the host path of the file they name.
std::vector<std::string> RemoveQuestions(const FaultyWorld& w) {
    std::vector<std::string> named;
    for (const MessageBox& box : w.host.boxes) {
        if (box.buttons == Buttons::YesNo && box.text.rfind("Remove ", 0) == 0 &&
            EndsWith(box.text, "?")) {
            std::string path = box.text.substr(7, box.text.size() - 8);
            for (char& c : path)
                c = c == '\\' ? '/' : c;
            named.push_back(path);
        }
    }
    return named;
}

// The host paths of the files whose deletion was failed.
std::set<std::string> RefusedDeletions(const FaultyFileSystem& files) {
    std::set<std::string> paths;
    for (const auto& call : files.calls()) {
        if (call.op == FileOp::Delete && call.failed) {
            std::string path = call.path;
            for (char& c : path)
                c = c == '\\' ? '/' : c;
            paths.insert(path);
        }
    }
    return paths;
}

std::string Describe(const FaultyFileSystem::Call& call) {
    return "#" + std::to_string(call.number) + " " + FileOpName(call.op) + " " + call.path;
}

// How the machine fails, and what the person at the screen answers.
struct SweepCase {
    const char* name;
    int errnoValue;
    FileOpSet sticky;
    bool afterEffect;
    Answer remove; // the answer to every "Remove ...?" question
    bool service;
};

struct Outcome {
    bool result = false;
    RunSummary summary;
    bool threw = false;
    std::string thrown;
};

// One image: where it lies before the run, where a clean run puts it, and what it holds.
struct Image {
    std::string source;
    std::string target;
    std::string content;
};

// Each image lies exactly once, at its source or at its target, with its content.
void CheckImages(const std::vector<Image>& images, Files& files) {
    for (const Image& image : images) {
        const bool atSource = files.count(image.source) != 0;
        const bool atTarget = files.count(image.target) != 0;
        EXPECT_NE(atSource, atTarget) << image.source << " / " << image.target;
        if (atSource) {
            EXPECT_EQ(files[image.source], image.content) << image.source;
        }
        if (atTarget) {
            EXPECT_EQ(files[image.target], image.content) << image.target;
        }
        files.erase(image.source);
        files.erase(image.target);
    }
}

// What every sweep checks, whatever was run.
void CheckReports(const FaultyWorld& w, const Outcome& outcome) {
    EXPECT_FALSE(outcome.threw) << outcome.thrown;
    const std::vector<Report> reports = Reports(w);
    if (!w.files.fired()) {
        EXPECT_TRUE(reports.empty());
        return;
    }
    // The failure of the machine is never silent, and the first report names it.
    ASSERT_FALSE(reports.empty()) << "the failure was not reported";
    const Error& first = w.files.failures().front();
    EXPECT_EQ(reports.front().text.rfind(ReportText(first.number(), first.description(), ""), 0),
              0u)
        << reports.front().text;
    // A temporary BIF file that could not be removed on request is said so.
    for (const std::string& refused : RefusedDeletions(w.files)) {
        if (!EndsWith(refused, ".bifX"))
            continue;
        bool told = false;
        for (const Report& report : reports) {
            std::string text = report.text;
            for (char& c : text)
                c = c == '\\' ? '/' : c;
            told = told || text.find(refused) != std::string::npos;
        }
        EXPECT_TRUE(told) << "refused deletion of " << refused << " not reported";
    }
    // The only questions are the offers to remove a temporary file.
    for (const MessageBox& box : w.host.boxes) {
        if (box.buttons != Buttons::Ok) {
            EXPECT_EQ(box.text.rfind("Remove ", 0), 0u) << box.title << ": " << box.text;
        }
    }
}

// A conversion of four lines (one blank) whose images lie in two subfolders; one target
// already exists and duplicates are allowed, so that image gets a numbered name. Debug mode
// is on, so the log lines are written through the failing file system too.
class ConversionScenario {
public:
    explicit ConversionScenario(std::string run) : run_(std::move(run)) {}

    void prepare() const {
        Write("in/a.csv", "B1\\0001.tif,Smith\r\n\r\nB1\\0002.tif,Jones\r\nB2\\0003.tif,Brown\r\n");
        for (const Image& image : images_)
            Write(image.source, image.content);
        Write("out/B1/0002.tif", "earlier 2");
    }

    void configure(FaultyWorld& w) const {
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setText(TextField::Folder, "/Finance");
        w.job.setText(TextField::ImageFolder, run_ + "/scans");
        w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
        w.job.setFlag(MenuField::AllowDupes, true);
        w.job.setFlag(MenuField::DebugMode, true);
    }

    Outcome act(FaultyWorld& w) const {
        Outcome outcome;
        outcome.result = ConvertCSVToBIF(w.context, run_ + "/in/a.csv", run_ + "/out/output.bif");
        return outcome;
    }

    void checkClean(const Files& files) const {
        const std::string& bif = files.at("out/output.bif");
        EXPECT_NE(bif.find("document2=Invoice\t\"" + run_ + "/out\\B1\\0002-0001.tif\"\r\n"),
                  std::string::npos)
            << bif;
        EXPECT_NE(bif.find("doc3.delete_images=False\r\n"), std::string::npos) << bif;
        EXPECT_EQ(files.at("out/B1/0002-0001.tif"), "image 2");
    }

    // `inPlaceAt`: the number of the last operation before the BIF file stands durable
    // under its final name, in a run without failures.
    void check(const SweepCase& c, FaultyWorld& w, const Outcome& outcome, const Files& clean,
               long inPlaceAt) const {
        Files files = FolderContents(run_);
        const long failedAt = w.files.fault().at;

        // The result says whether the BIF file stands: every operation up to that point is
        // needed for it. A failure after it (the closing log line) is reported, but the result
        // stays true, or the job runner would keep the index file and import it twice.
        EXPECT_EQ(outcome.result, failedAt > inPlaceAt);
        if (!outcome.result) {
            bool named = false;
            for (const Report& report : Reports(w))
                named = named || (report.title == "Error in Convert CSV to BIF" &&
                                  report.text.find("\n\nLine # ") != std::string::npos);
            EXPECT_TRUE(named) << "no report of the conversion naming its step";
        }

        // The BIF file is absent or complete.
        if (files.count("out/output.bif")) {
            EXPECT_EQ(files["out/output.bif"], clean.at("out/output.bif"));
        } else {
            EXPECT_FALSE(outcome.result);
        }
        files.erase("out/output.bif");

        // The temporary file stays only where the person said No (or nobody was asked, as a
        // service) or its removal was refused by the disk.
        const std::string temporary = run_ + "/out/output.bifX";
        const std::vector<std::string> asked = RemoveQuestions(w);
        const bool created = std::any_of(w.files.calls().begin(), w.files.calls().end(),
                                         [&](const FaultyFileSystem::Call& call) {
                                             return call.op == FileOp::Create && !call.failed &&
                                                    EndsWith(call.path, "output.bifX");
                                         });
        const bool stillTemporary =
            created && !outcome.result && !fs::exists(run_ + "/out/output.bif");
        if (c.service) {
            EXPECT_TRUE(asked.empty());
            EXPECT_EQ(files.count("out/output.bifX") != 0, stillTemporary);
        } else {
            // Asked at most once, only after the temporary file was made and the conversion
            // failed, and always while it is still there to remove.
            EXPECT_LE(asked.size(), 1u);
            if (!asked.empty()) {
                EXPECT_TRUE(created && !outcome.result);
                EXPECT_EQ(asked[0], temporary);
            }
            if (stillTemporary) {
                EXPECT_EQ(asked.size(), 1u);
            }
            const bool refused = RefusedDeletions(w.files).count(temporary) != 0;
            const bool stays = !asked.empty() && (c.remove == Answer::No || refused);
            EXPECT_EQ(files.count("out/output.bifX") != 0, stays && stillTemporary);
        }
        if (files.count("out/output.bifX")) {
            // Whatever was written of it is a prefix of the complete file.
            const std::string& part = files["out/output.bifX"];
            EXPECT_EQ(clean.at("out/output.bif").compare(0, part.size(), part), 0);
        }
        files.erase("out/output.bifX");

        CheckImages(images_, files);
        EXPECT_EQ(files["out/B1/0002.tif"], "earlier 2");
        files.erase("out/B1/0002.tif");
        EXPECT_EQ(files["in/a.csv"], clean.at("in/a.csv"));
        files.erase("in/a.csv");
        files.erase("debug-QM.log");
        for (const auto& [path, content] : files)
            ADD_FAILURE() << "stray file " << path;
    }

private:
    void Write(const std::string& relative, const std::string& content) const {
        fs::create_directories(fs::path(run_ + "/" + relative).parent_path());
        std::ofstream(run_ + "/" + relative, std::ios::binary) << content;
    }

    std::string run_;
    std::vector<Image> images_ = {
        {"scans/B1/0001.tif", "out/B1/0001.tif", "image 1"},
        {"scans/B1/0002.tif", "out/B1/0002-0001.tif", "image 2"},
        {"scans/B2/0003.tif", "out/B2/0003.tif", "image 3"},
    };
};

// A job run over two index files picked by a wildcard, moving their images, saving the job to
// its .sbf file after each success and removing each converted index file.
class JobScenario {
public:
    explicit JobScenario(std::string run) : run_(std::move(run)) {}

    void prepare() const {
        Write(IndexA.first, IndexA.second);
        Write(IndexB.first, IndexB.second);
        for (const Image& image : images_)
            Write(image.source, image.content);
        Write("job.sbf", OldJob);
    }

    void configure(FaultyWorld& w) const {
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setText(TextField::Folder, "/Finance");
        w.job.setText(TextField::ImageFolder, run_ + "/scans");
        w.job.setText(TextField::IndexFile, run_ + "/in/*.csv");
        w.job.setText(TextField::BIFFile, run_ + "/out/output.bif");
        w.job.setText(TextField::CurrentConfigFile, run_ + "/job.sbf");
        w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
        w.job.setFlag(MenuField::AllowDupes, true);
        w.job.setFlag(MenuField::RemoveProcessed, true);
        w.job.setFlag(MenuField::PromptWhenFinished, false);
        w.job.setFlag(MenuField::DebugMode, true);
    }

    Outcome act(FaultyWorld& w) const {
        Outcome outcome;
        outcome.summary = RunJob(w.context);
        return outcome;
    }

    void checkClean(const Files& files) const {
        EXPECT_EQ(files.count("in/a.csv") + files.count("in/b.csv"), 0u);
        EXPECT_NE(files.at("out/output.bif").find("doc2.delete_images"), std::string::npos);
        EXPECT_NE(files.at("out/output1.bif").find("doc1.delete_images"), std::string::npos);
        EXPECT_NE(files.at("job.sbf"), OldJob);
    }

    void check(const SweepCase& c, FaultyWorld& w, const Outcome& outcome, const Files& clean,
               long) const {
        Files files = FolderContents(run_);
        const std::string bifA = clean.at("out/output.bif");
        const std::string bifB = clean.at("out/output1.bif");

        // Every BIF file is the complete one of one index file, each at most once.
        int completeA = 0;
        int completeB = 0;
        for (const char* name : {"out/output.bif", "out/output1.bif"}) {
            if (!files.count(name))
                continue;
            completeA += files[name] == bifA;
            completeB += files[name] == bifB;
            EXPECT_TRUE(files[name] == bifA || files[name] == bifB) << name << " is partial";
            files.erase(name);
        }
        EXPECT_LE(completeA, 1);
        EXPECT_LE(completeB, 1);

        // An index file goes only once its BIF file stands complete; one that stays is as it was.
        for (const auto& [index, complete] :
             {std::pair{IndexA, completeA}, std::pair{IndexB, completeB}}) {
            if (files.count(index.first)) {
                EXPECT_EQ(files[index.first], index.second);
            } else {
                EXPECT_EQ(complete, 1) << index.first << " deleted without its BIF file";
            }
            files.erase(index.first);
        }
        EXPECT_LE(outcome.summary.converted, completeA + completeB);
        EXPECT_LE(outcome.summary.converted + outcome.summary.failed, 2);

        // Each failed conversion has its own report naming its step.
        int conversionReports = 0;
        for (const Report& report : Reports(w))
            conversionReports += report.title == "Error in Convert CSV to BIF" &&
                                 report.text.find("\n\nLine # ") != std::string::npos;
        EXPECT_GE(conversionReports, outcome.summary.failed);

        // The job file holds the old job or the new one, never a part; it is new only after
        // a conversion succeeded.
        const std::string& sbf = files["job.sbf"];
        EXPECT_TRUE(sbf == OldJob || sbf == clean.at("job.sbf")) << sbf;
        if (completeA + completeB == 0) {
            EXPECT_EQ(sbf, OldJob);
        }
        files.erase("job.sbf");

        // Temporary files stay only where the person said No (or nobody was asked, as a
        // service) or the disk refused their removal.
        const std::vector<std::string> asked = RemoveQuestions(w);
        const std::set<std::string> refused = RefusedDeletions(w.files);
        for (auto it = files.begin(); it != files.end();) {
            const std::string host = run_ + "/" + it->first;
            const bool temporaryBif = EndsWith(it->first, ".bifX");
            const bool temporarySbf =
                it->first.rfind("job.sbf.", 0) == 0 && EndsWith(it->first, ".tmp");
            if (!temporaryBif && !temporarySbf) {
                ++it;
                continue;
            }
            const bool wasAsked = std::find(asked.begin(), asked.end(), host) != asked.end();
            const bool mayStay =
                refused.count(host) != 0 ||
                (temporaryBif && (c.service || (wasAsked && c.remove == Answer::No)));
            EXPECT_TRUE(mayStay) << "stray temporary file " << it->first;
            if (temporaryBif) {
                EXPECT_TRUE(bifA.compare(0, it->second.size(), it->second) == 0 ||
                            bifB.compare(0, it->second.size(), it->second) == 0);
            }
            it = files.erase(it);
        }

        CheckImages(images_, files);
        files.erase("debug-QM.log");
        for (const auto& [path, content] : files)
            ADD_FAILURE() << "stray file " << path;
    }

private:
    static constexpr const char* OldJob = "1\r\nthe job as it was\r\n";
    // Index files by their path below the run folder, with their content.
    using IndexFile = std::pair<std::string, std::string>;
    inline static const IndexFile IndexA = {"in/a.csv",
                                            "A1\\0001.tif,Smith\r\nA1\\0002.tif,Jones\r\n"};
    inline static const IndexFile IndexB = {"in/b.csv", "B1\\0001.tif,Brown\r\n"};

    void Write(const std::string& relative, const std::string& content) const {
        fs::create_directories(fs::path(run_ + "/" + relative).parent_path());
        std::ofstream(run_ + "/" + relative, std::ios::binary) << content;
    }

    std::string run_;
    std::vector<Image> images_ = {
        {"scans/A1/0001.tif", "out/A1/0001.tif", "image a1"},
        {"scans/A1/0002.tif", "out/A1/0002.tif", "image a2"},
        {"scans/B1/0001.tif", "out/B1/0001.tif", "image b1"},
    };
};

template <class Scenario>
Outcome Act(const Scenario& scenario, FaultyWorld& w) {
    Outcome outcome;
    try {
        outcome = scenario.act(w);
    } catch (const std::exception& e) {
        outcome.threw = true;
        outcome.thrown = e.what();
    } catch (...) {
        outcome.threw = true;
        outcome.thrown = "something that is not an exception";
    }
    return outcome;
}

// Runs the scenario once without failures, then once for each of its counted operations with
// that operation failed. Returns the number of operations failed in turn.
template <class Scenario>
long Sweep(const SweepCase& c) {
    TempFolder root;
    const std::string run = root.path("run");
    const Scenario scenario(run);
    auto fresh = [&](FaultyWorld& w) {
        scenario.configure(w);
        w.process.serviceMode = c.service;
        for (int i = 0; i < 4; ++i)
            w.host.answers.push_back(c.remove);
    };

    fs::create_directories(run);
    scenario.prepare();
    Files clean;
    std::vector<FaultyFileSystem::Call> calls;
    {
        FaultyWorld w(run + "/debug-QM.log");
        fresh(w);
        w.files.arm({});
        const Outcome outcome = Act(scenario, w);
        EXPECT_FALSE(outcome.threw) << outcome.thrown;
        EXPECT_TRUE(Reports(w).empty());
        clean = FolderContents(run);
        calls = w.files.calls();
        scenario.checkClean(clean);
    }
    // The BIF file stands once the last folder sync before the closing log line is done.
    long inPlaceAt = 0;
    for (const auto& call : calls) {
        if (call.op == FileOp::SyncFolder)
            inPlaceAt = call.number;
    }

    for (long n = 1; n <= static_cast<long>(calls.size()); ++n) {
        fs::remove_all(run);
        fs::create_directories(run);
        scenario.prepare();
        FaultyWorld w(run + "/debug-QM.log");
        fresh(w);
        w.files.arm({n, c.errnoValue, c.sticky, c.afterEffect});
        SCOPED_TRACE(std::string(c.name) + ", failing " + Describe(calls[n - 1]));
        const Outcome outcome = Act(scenario, w);
        EXPECT_TRUE(w.files.fired());
        CheckReports(w, outcome);
        scenario.check(c, w, outcome, clean, inPlaceAt);
        if (::testing::Test::HasFailure())
            break;
    }
    return static_cast<long>(calls.size());
}

const SweepCase ConversionSweeps[] = {
    {"disk full, Yes to Remove", ENOSPC, {}, false, Answer::Yes, false},
    {"permission denied, No to Remove", EACCES, {}, false, Answer::No, false},
    {"input/output error, as a service", EIO, {}, false, Answer::No, true},
    {"disk turns read-only, Yes to Remove", EROFS, FileOpSet::ReadOnly(), false, Answer::Yes,
     false},
    {"share does it and then fails, Yes to Remove", EIO, {}, true, Answer::Yes, false},
};

const SweepCase JobSweeps[] = {
    {"disk full, Yes to Remove", ENOSPC, {}, false, Answer::Yes, false},
    {"input/output error, No to Remove", EIO, {}, false, Answer::No, false},
    {"disk stays full, Yes to Remove", ENOSPC, FileOpSet::DiskFull(), false, Answer::Yes, false},
    {"disk turns read-only, Yes to Remove", EROFS, FileOpSet::ReadOnly(), false, Answer::Yes,
     false},
    {"share does it and then fails, No to Remove", EIO, {}, true, Answer::No, false},
    {"disk full, as a service", ENOSPC, {}, false, Answer::No, true},
};

TEST(FailureSweepTest, ConversionWithImageMoves) {
    for (const SweepCase& c : ConversionSweeps) {
        const long swept = Sweep<ConversionScenario>(c);
        std::printf("[ sweep    ] conversion, %s: %ld operations failed in turn\n", c.name, swept);
        EXPECT_GT(swept, 30);
        if (HasFailure())
            break;
    }
}

TEST(FailureSweepTest, JobRunRemovingIndexFilesAndSavingTheJob) {
    for (const SweepCase& c : JobSweeps) {
        const long swept = Sweep<JobScenario>(c);
        std::printf("[ sweep    ] job run, %s: %ld operations failed in turn\n", c.name, swept);
        EXPECT_GT(swept, 50);
        if (HasFailure())
            break;
    }
}

} // namespace
} // namespace qm::test

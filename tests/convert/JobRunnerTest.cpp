#include "convert/JobRunner.h"

#include "support/TestWorld.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qm {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

// An index file holding only its header line converts into an empty BIF file; an empty one
// fails, because the header line to skip is missing.
const std::string GoodIndex = "Name,ImagePath\r\n";
const std::string FailingIndex = "";

void PrepareJob(test::TestWorld& world) {
    JobSettings& job = world.job;
    job.setText(TextField::FieldNames, "Name|ImagePath");
    job.setText(TextField::DocType, "Invoice");
    job.setText(TextField::ImageFolder, world.temp.path("img"));
    job.setText(TextField::BIFFile, world.temp.path("out/result.bif"));
    job.setFlag(MenuField::SkipHeader, true);
    job.setFlag(MenuField::DebugMode, true);
    job.setFlag(MenuField::PromptWhenFinished, false);
    job.setText(TextField::CurrentConfigFile, world.temp.path("job.sbf"));
}

std::string Log(test::TestWorld& world) {
    return fs::exists(world.temp.path("debug-QM.log")) ? world.temp.read("debug-QM.log") : "";
}

// The index files converted successfully, in the order the conversions finished.
Paths Converted(test::TestWorld& world) {
    static const std::string marker = " - Finished Converting File: ";
    Paths paths;
    const std::string log = Log(world);
    for (auto at = log.find(marker); at != std::string::npos; at = log.find(marker, at)) {
        at += marker.size();
        paths.push_back(log.substr(at, log.find("\r\n", at) - at));
    }
    return paths;
}

Paths InFolder(test::TestWorld& world, const Paths& names) {
    Paths paths;
    for (const auto& name : names)
        paths.push_back(world.temp.path("in/" + name));
    return paths;
}

std::size_t BifFileCount(test::TestWorld& world) {
    std::size_t count = 0;
    if (fs::exists(world.temp.path("out")))
        for (const auto& entry : fs::directory_iterator(world.temp.path("out")))
            count += entry.path().extension() == ".bif";
    return count;
}

struct SelectionCase {
    const char* name;
    Paths files;       // in the folder "in"
    std::string entry; // the name part of the entry, in the folder "in"
    Paths expected;
};

TEST(JobRunnerTest, WhichFilesAnEntryTakes) {
    const SelectionCase cases[] = {
        {"plain name", {"a.csv", "b.csv"}, "b.csv", {"b.csv"}},
        {"plain name, letter case differs", {"A.CSV"}, "a.csv", {}},
        {"extension", {"a.csv", "b.csv", "c.txt"}, "*.csv", {"a.csv", "b.csv"}},
        {"extension, letter case differs", {"A.CSV"}, "*.csv", {}},
        {"pattern matches one, extension takes all",
         {"x1.csv", "y1.csv"},
         "x*.csv",
         {"x1.csv", "y1.csv"}},
        {"pattern matches none", {"y1.csv"}, "x*.csv", {}},
        {"every file", {"a.csv", "b.txt", "c"}, "*.*", {"a.csv", "b.txt", "c"}},
        {"question mark alone is a plain name", {"a1.csv"}, "a?.csv", {}},
        {"subfolders are not looked into", {"sub/a.csv", "b.csv"}, "*.csv", {"b.csv"}},
        {"empty folder", {}, "*.csv", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestWorld world;
        PrepareJob(world);
        fs::create_directories(world.temp.path("in"));
        for (const auto& name : c.files)
            world.temp.write("in/" + name, GoodIndex);
        world.job.setText(TextField::IndexFile, world.temp.path("in/" + c.entry));

        const RunSummary summary = RunJob(world.context);

        EXPECT_EQ(Converted(world), InFolder(world, c.expected));
        EXPECT_FALSE(summary.refused);
        EXPECT_EQ(summary.converted, static_cast<int>(c.expected.size()));
        EXPECT_EQ(summary.failed, 0);
        EXPECT_EQ(BifFileCount(world), c.expected.size()); // one BIF file each
        EXPECT_TRUE(world.host.boxes.empty());
    }
}

// Entries relative to the working folder, with a one-level folder written either way.
// A job never takes its own files for index files, however an entry names them, and converts a
// file that two entries pick once.
TEST(JobRunnerTest, AJobNeverConsumesItsOwnFiles) {
    struct Case {
        const char* name;
        std::string entries; // "@" stands for the temporary folder
        std::string bifFile;
        bool removes;    // else a file stays for the next entry to pick again
        Paths converted; // below the temporary folder
    };
    const std::vector<Case> cases = {
        {"the job file", "@/jobs/*.*", "@/out/result.bif", true, {"jobs/a.csv"}},
        {"earlier BIF files", "@/io/*.*", "@/io/result.bif", true, {"io/a.csv"}},
        {"the BIF folder through a link", "@/link/*.*", "@/io/result.bif", true, {"link/a.csv"}},
        {"one file, two entries",
         "@/in/*.csv|@/in/./a.csv|@/link-in/a.csv",
         "@/out/result.bif",
         false,
         {"in/a.csv"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestWorld world;
        PrepareJob(world);
        const auto filled = [&](std::string text) {
            for (auto at = text.find('@'); at != text.npos; at = text.find('@'))
                text.replace(at, 1, world.temp.path());
            return text;
        };
        world.job.setFlag(MenuField::RemoveProcessed, c.removes);
        world.job.setText(TextField::CurrentConfigFile, world.temp.path("jobs/job.sbf"));
        world.job.setText(TextField::IndexFile, filled(c.entries));
        world.job.setText(TextField::BIFFile, filled(c.bifFile));
        for (const char* file : {"jobs/a.csv", "in/a.csv", "io/a.csv"})
            world.temp.write(file, GoodIndex);
        // What earlier runs left: BIF files, numbered and not, and a temporary file.
        for (const char* file :
             {"io/result.bif", "io/result7.bif", "io/RESULT.BIF", "io/result2.bifX"})
            world.temp.write(file, "[Documents File]\r\n[documents]\r\n");
        world.temp.write("jobs/job.sbf", "1\r\n");
        fs::create_directory_symlink(world.temp.path("io"), world.temp.path("link"));
        fs::create_directory_symlink(world.temp.path("in"), world.temp.path("link-in"));
        const RunSummary summary = RunJob(world.context);
        Paths converted;
        for (const std::string& file : Converted(world))
            converted.push_back(file.substr(world.temp.path().size() + 1));
        EXPECT_EQ(converted, c.converted);
        EXPECT_EQ(summary.failed, 0);
        for (const char* kept : {"jobs/job.sbf", "io/result.bif", "io/result7.bif", "io/RESULT.BIF",
                                 "io/result2.bifX"})
            EXPECT_TRUE(fs::exists(world.temp.path(kept))) << kept;
        EXPECT_NE(Log(world).find("Index file passed over"), std::string::npos);
    }
}

TEST(JobRunnerTest, RelativeEntriesNameTheirFiles) {
    test::TestWorld world;
    PrepareJob(world);
    world.temp.write("in/a.csv", GoodIndex);
    world.temp.write("in/b.csv", GoodIndex);
    const fs::path before = fs::current_path();
    fs::current_path(world.temp.path());
    world.job.setText(TextField::IndexFile, "in/a.csv|in\\b.csv");
    const RunSummary summary = RunJob(world.context);
    const Paths converted = Converted(world);
    fs::current_path(before);
    EXPECT_EQ(converted, (Paths{"in/a.csv", "in\\b.csv"}));
    EXPECT_EQ(summary.converted, 2);
}

TEST(JobRunnerTest, EntriesInOrder) {
    test::TestWorld world;
    PrepareJob(world);
    world.temp.write("A/z.csv", GoodIndex);
    world.temp.write("A/a.csv", GoodIndex);
    world.temp.write("B/one.csv", GoodIndex);
    world.temp.write("B/two.csv", GoodIndex);
    world.job.setText(TextField::IndexFile,
                      world.temp.path("A/*.csv") + "|" + world.temp.path("B/one.csv"));
    RunJob(world.context);
    EXPECT_EQ(Converted(world), (Paths{world.temp.path("A/a.csv"), world.temp.path("A/z.csv"),
                                       world.temp.path("B/one.csv")}));
}

TEST(JobRunnerTest, MissingFolderEndsTheRun) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setFlag(MenuField::PromptWhenFinished, true);
    world.temp.write("in/a.csv", GoodIndex);
    world.temp.write("in/b.csv", GoodIndex);
    const std::string missing = world.temp.path("missing/*.csv");
    world.job.setText(TextField::IndexFile, world.temp.path("in/a.csv") + "|" + missing + "|" +
                                                world.temp.path("in/b.csv"));

    const RunSummary summary = RunJob(world.context);

    EXPECT_EQ(Converted(world), InFolder(world, {"a.csv"}));
    EXPECT_EQ(summary.converted, 1);
    ASSERT_EQ(world.host.boxes.size(), 2u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Load Files to Convert");
    const std::string& text = world.host.boxes[0].text;
    const std::string detail = "\n\nCurrent File: " + missing;
    ASSERT_GE(text.size(), detail.size());
    EXPECT_EQ(text.substr(text.size() - detail.size()), detail);
    EXPECT_EQ(world.host.boxes[1].text, "Finished BIF conversion!");
}

TEST(JobRunnerTest, MissingBifSettingIsErrorNine) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setFlag(MenuField::PromptWhenFinished, true);
    world.job.setText(TextField::BIFFile, "");
    world.temp.write("in/a.csv", GoodIndex);
    world.job.setText(TextField::IndexFile, world.temp.path("in/a.csv"));

    const RunSummary summary = RunJob(world.context);

    EXPECT_EQ(summary.converted, 0);
    EXPECT_TRUE(Converted(world).empty());
    ASSERT_EQ(world.host.boxes.size(), 2u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Load Files to Convert");
    EXPECT_EQ(world.host.boxes[0].text, "9 - Missing BIF file setting\n\nCurrent File: ");
    const MessageBox& finish = world.host.boxes[1];
    EXPECT_EQ(finish.text, "Finished BIF conversion!");
    EXPECT_EQ(finish.title, "Quillmarch");
    EXPECT_EQ(finish.buttons, Buttons::Ok);
    EXPECT_EQ(finish.icon, Icon::Information);
    EXPECT_TRUE(fs::exists(world.temp.path("in/a.csv")));
}

TEST(JobRunnerTest, NoEntriesStillMakesTheBifFolderAndFinishes) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setFlag(MenuField::PromptWhenFinished, true);
    world.job.setText(TextField::BIFFile, world.temp.path("out/deep/result.bif"));
    world.job.setText(TextField::IndexFile, "");
    world.job.setText(TextField::CurrentConfigFile, "/jobs/daily.sbf");

    const RunSummary summary = RunJob(world.context);

    EXPECT_EQ(summary.converted, 0);
    EXPECT_TRUE(fs::is_directory(world.temp.path("out/deep")));
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].text, "Finished BIF conversion!");
    EXPECT_NE(Log(world).find(" - Started Processing Job: /jobs/daily.sbf\r\n"), std::string::npos);
}

TEST(JobRunnerTest, NoFinishMessageAsAService) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setFlag(MenuField::PromptWhenFinished, true);
    world.process.serviceMode = true;
    world.temp.write("in/a.csv", GoodIndex);
    world.job.setText(TextField::IndexFile, world.temp.path("in/a.csv"));
    RunJob(world.context);
    EXPECT_EQ(Converted(world).size(), 1u);
    EXPECT_TRUE(world.host.boxes.empty());
}

TEST(JobRunnerTest, RemoveProcessedDeletesOnlyConvertedFiles) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setFlag(MenuField::RemoveProcessed, true);
    world.temp.write("in/a.csv", GoodIndex);
    world.temp.write("in/b.csv", FailingIndex);
    ASSERT_EQ(::chmod(world.temp.path("in/a.csv").c_str(), 0444), 0);
    world.job.setText(TextField::IndexFile, world.temp.path("in/*.csv"));

    const RunSummary summary = RunJob(world.context);

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(summary.failed, 1);
    EXPECT_FALSE(fs::exists(world.temp.path("in/a.csv"))); // read-only, deleted all the same
    EXPECT_TRUE(fs::exists(world.temp.path("in/b.csv")));
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Convert CSV to BIF");
}

TEST(JobRunnerTest, IndexFilesStayWithoutRemoveProcessed) {
    test::TestWorld world;
    PrepareJob(world);
    world.temp.write("in/a.csv", GoodIndex);
    world.job.setText(TextField::IndexFile, world.temp.path("in/a.csv"));
    RunJob(world.context);
    EXPECT_EQ(Converted(world).size(), 1u);
    EXPECT_TRUE(fs::exists(world.temp.path("in/a.csv")));
}

TEST(JobRunnerTest, JobIsSavedAfterEachSuccessOnly) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setText(TextField::CurrentConfigFile, world.temp.path("job.sbf"));
    world.temp.write("in/b.csv", FailingIndex);
    world.job.setText(TextField::IndexFile, world.temp.path("in/b.csv"));
    RunJob(world.context);
    EXPECT_FALSE(fs::exists(world.temp.path("job.sbf")));

    world.temp.write("in/a.csv", GoodIndex);
    world.job.setText(TextField::IndexFile, world.temp.path("in/a.csv"));
    RunJob(world.context);
    const std::string saved = world.temp.read("job.sbf");
    EXPECT_EQ(saved.substr(0, 3 + world.temp.path("in/a.csv").size() + 2),
              "1\r\n" + world.temp.path("in/a.csv") + "\r\n");
    EXPECT_TRUE(world.host.dialogs.empty());
}

TEST(JobRunnerTest, SaveDialogUntilAFileIsChosen) {
    test::TestWorld world;
    PrepareJob(world);
    world.job.setText(TextField::CurrentConfigFile, "");
    for (const char* name : {"a.csv", "b.csv", "c.csv"})
        world.temp.write(std::string("in/") + name, GoodIndex);
    world.job.setText(TextField::IndexFile, world.temp.path("in/*.csv"));
    const std::string chosen = world.temp.path("chosen.sbf");
    world.host.dialogAnswers = {std::nullopt, chosen};

    const RunSummary summary = RunJob(world.context);

    EXPECT_EQ(summary.converted, 3); // a cancelled save does not stop the run
    EXPECT_EQ(world.host.dialogs.size(), 2u);
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), chosen);
    EXPECT_TRUE(fs::exists(chosen));
    EXPECT_TRUE(world.host.boxes.empty());
}

// A host whose event pump runs a hook once, as a click handled during a conversion would.
class HookHost : public test::ScriptedHost {
public:
    void pumpEvents() override {
        ScriptedHost::pumpEvents();
        if (hook) {
            auto once = std::move(hook);
            hook = nullptr;
            once();
        }
    }
    std::function<void()> hook;
};

struct HookWorld {
    test::TestWorld world;
    HookHost host;
    Context context{world.files,   world.tools, host,          world.job,
                    world.process, world.log,   world.reporter};
};

TEST(JobRunnerTest, RunDuringARunIsRefused) {
    HookWorld w;
    PrepareJob(w.world);
    w.world.temp.write("in/a.csv", GoodIndex);
    w.world.temp.write("in/b.csv", GoodIndex);
    w.world.job.setText(TextField::IndexFile, w.world.temp.path("in/*.csv"));
    std::optional<RunSummary> inner;
    w.host.hook = [&] { inner = RunJob(w.context); };

    const RunSummary outer = RunJob(w.context);

    ASSERT_TRUE(inner.has_value());
    EXPECT_TRUE(inner->refused);
    EXPECT_EQ(inner->converted, 0);
    EXPECT_FALSE(outer.refused);
    EXPECT_EQ(outer.converted, 2);
    EXPECT_EQ(Converted(w.world), InFolder(w.world, {"a.csv", "b.csv"}));
    EXPECT_NE(Log(w.world).find("Run refused"), std::string::npos);
    EXPECT_FALSE(w.world.process.jobRunning);
    EXPECT_FALSE(RunJob(w.context).refused); // the next run is allowed again
}

TEST(JobRunnerTest, FailureInsideARunReleasesTheGuard) {
    HookWorld w;
    PrepareJob(w.world);
    w.world.temp.write("in/a.csv", GoodIndex);
    w.world.job.setText(TextField::IndexFile, w.world.temp.path("in/a.csv"));
    w.host.hook = [] { throw std::runtime_error("window went away"); };
    w.host.answers = {Answer::No}; // in case the conversion offers to remove its temporary file

    EXPECT_NO_THROW(RunJob(w.context));
    EXPECT_FALSE(w.world.process.jobRunning);
    EXPECT_FALSE(RunJob(w.context).refused);
}

struct ForeignFailure {};

TEST(JobRunnerTest, ForeignExceptionReleasesTheGuard) {
    HookWorld w;
    PrepareJob(w.world);
    w.world.temp.write("in/a.csv", GoodIndex);
    w.world.job.setText(TextField::IndexFile, w.world.temp.path("in/a.csv"));
    w.host.hook = [] { throw ForeignFailure{}; };

    EXPECT_THROW(RunJob(w.context), ForeignFailure);
    EXPECT_FALSE(w.world.process.jobRunning);
    EXPECT_FALSE(RunJob(w.context).refused);
}

TEST(JobRunnerTest, FileRemovedBeforeItsTurnIsReported) {
    HookWorld w;
    PrepareJob(w.world);
    for (const char* name : {"a.csv", "b.csv", "c.csv"})
        w.world.temp.write(std::string("in/") + name, GoodIndex);
    w.world.job.setText(TextField::IndexFile, w.world.temp.path("in/*.csv"));
    w.host.hook = [&] { fs::remove(w.world.temp.path("in/b.csv")); };

    const RunSummary summary = RunJob(w.context);

    EXPECT_EQ(Converted(w.world), InFolder(w.world, {"a.csv", "c.csv"}));
    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(summary.failed, 1);
    ASSERT_EQ(w.world.host.boxes.size(), 1u); // the conversion reports through the world's host
    EXPECT_EQ(w.world.host.boxes[0].title, "Error in Convert CSV to BIF");
}

} // namespace
} // namespace qm

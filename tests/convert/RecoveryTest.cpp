// A job interrupted at any point is finished by its next run, exactly once: the same BIF
// documents, images and index files as a run that was never disturbed.

#include "convert/IndexFileRun.h"
#include "convert/JobRunner.h"
#include "convert/Journal.h"
#include "platform/posix/PosixJournalStore.h"
#include "support/FaultyFileSystem.h"
#include "support/FolderState.h"
#include "support/TempFolder.h"
#include "support/TestWorld.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <thread>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// A job that moves the images of in/*.csv from img/ below out/batch.bif, saved as job.sbf.
void MovingJob(JobSettings& job, const TempFolder& temp) {
    job.setText(TextField::FieldNames, "Name|ImagePath");
    job.setText(TextField::DocType, "Invoice");
    job.setText(TextField::IndexFile, temp.path("in/*.csv"));
    job.setText(TextField::ImageFolder, temp.path("img"));
    job.setText(TextField::BIFFile, temp.path("out/batch.bif"));
    job.setText(TextField::CurrentConfigFile, temp.path("job.sbf"));
    job.setCheck(CheckField::MoveFiles, CheckState::Checked);
}

// Two index files of two documents; moves, duplicates and removal on; one target is taken
// before the job starts, so its image gets a numbered name.
struct RecoveryWorld {
    explicit RecoveryWorld(bool service = true) {
        JobSettings& job = w.job;
        MovingJob(job, temp);
        job.setFlag(MenuField::AllowDupes, true);
        job.setFlag(MenuField::RemoveProcessed, true);
        job.setFlag(MenuField::PromptWhenFinished, false);
        job.setFlag(MenuField::DebugMode, true);
        w.process.serviceMode = service;
        for (const char* batch : {"a", "b"}) {
            std::string index;
            for (int i = 1; i <= 2; ++i) {
                const std::string image = std::string(batch) + "\\" + std::to_string(i) + ".tif";
                index += "Doc " + std::string(batch) + std::to_string(i) + "," + image + "\r\n";
                temp.write("img/" + std::string(batch) + "/" + std::to_string(i) + ".tif",
                           "image " + image);
            }
            temp.write("in/" + std::string(batch) + ".csv", index);
        }
        temp.write("out/a/2.tif", "an earlier batch's image");
        w.context.journals = &journals;
    }

    State state() const {
        FileContents files = FolderContents(temp.path());
        std::erase_if(files, [](const auto& file) {
            return file.first.starts_with("journal/") || file.first == "debug-QM.log" ||
                   file.first == "job.sbf";
        });
        State s = StateFrom(files);
        // Each world has a folder of its own, whose name the references hold.
        for (std::string& bif : s.bifs)
            for (auto at = bif.find(temp.path()); at != bif.npos; at = bif.find(temp.path()))
                bif.replace(at, temp.path().size(), "TEMP");
        std::sort(s.bifs.begin(), s.bifs.end());
        return s;
    }

    long journalCount() const {
        if (!fs::exists(temp.path("journal")))
            return 0;
        return std::count_if(fs::directory_iterator(temp.path("journal")), fs::directory_iterator(),
                             [](const auto& e) { return e.path().extension() == ".journal"; });
    }

    TempFolder temp;
    FaultyWorld w{temp.path("debug-QM.log")};
    PosixJournalStore journals{w.map, temp.path("journal")};
};

// Every file operation of the job fails in turn, once as refused and once as done with its
// reply lost; the next run must end where an undisturbed run ends, without a question.
TEST(RecoveryTest, AFailureAnywhereIsFinishedByTheNextRun) {
    // Hundreds of runs: on a memory file system, syncs cost nothing.
    const ScopedEnvironment memory("TMPDIR", fs::is_directory("/dev/shm")
                                                 ? std::optional<std::string>("/dev/shm")
                                                 : std::nullopt);
    RecoveryWorld undisturbed;
    undisturbed.w.files.arm({});
    EXPECT_EQ(RunJob(undisturbed.w.context).converted, 2);
    const long operations = undisturbed.w.files.count();
    const State expected = undisturbed.state();
    ASSERT_EQ(expected.bifs.size(), 2u);
    EXPECT_EQ(expected.files.count("in/a.csv"), 0u);
    EXPECT_EQ(expected.files.count("out/a/2-0001.tif"), 1u);
    EXPECT_EQ(undisturbed.journalCount(), 0);

    for (const bool afterEffect : {false, true}) {
        for (long at = 1; at <= operations; ++at) {
            SCOPED_TRACE("operation " + std::to_string(at) + (afterEffect ? ", done" : ""));
            RecoveryWorld world;
            world.w.files.arm({at, EIO, {}, afterEffect});
            RunJob(world.w.context);
            world.w.files.arm({});
            RunJob(world.w.context);
            EXPECT_EQ(world.state(), expected);
            EXPECT_EQ(world.journalCount(), 0);
        }
    }
}

// Writes a journal for the index file as an interrupted run would have left it.
void LeaveJournal(RecoveryWorld& world, const std::string& index, const std::string& records) {
    std::unique_ptr<JournalFile> file = world.journals.open(index);
    ASSERT_TRUE(file);
    const std::optional<FileIdentity> identity = world.journals.identify(index);
    ASSERT_TRUE(identity);
    file->append(detail::HeaderRecord(file->key(), *identity) + records);
}

std::string Moved(RecoveryWorld& world, const std::string& image, const std::string& target) {
    return detail::EncodeRecord(
        {"M", world.temp.path("img") + "\\" + image, world.temp.path("out") + "\\" + target});
}

TEST(RecoveryTest, ARecordedNumberedTargetCountsAsMovedAndATornRecordIsIgnored) {
    RecoveryWorld world;
    world.temp.write("out/a/2-0001.tif", "image a\\2.tif");
    fs::remove(world.temp.path("img/a/2.tif"));
    LeaveJournal(world, world.temp.path("in/a.csv"),
                 Moved(world, "a\\2.tif", "a\\2-0001.tif") +
                     Moved(world, "a\\1.tif", "a\\1.tif").substr(0, 20));
    EXPECT_EQ(RunJob(world.w.context).converted, 2);
    EXPECT_TRUE(world.w.host.boxes.empty());
    const std::string bif = world.temp.read("out/batch.bif");
    EXPECT_NE(bif.find("out\\a\\2-0001.tif\"\r\n"), std::string::npos) << bif;
    EXPECT_EQ(world.temp.read("out/a/1.tif"), "image a\\1.tif"); // moved as usual
    EXPECT_NE(world.temp.read("debug-QM.log").find("Torn record"), std::string::npos);
    EXPECT_EQ(world.journalCount(), 0);
}

// A recorded move whose target holds the source's bytes while the source is still there: a
// move across file systems killed before the source went. An honest record finishes the move;
// a forged one (the BIF folder in other letter case, a link in it leading out) is never used
// to remove, move or reference anything, whether the source is there or not.
TEST(RecoveryTest, ARecordedMoveIsFinishedOnlyWhenItsTargetLiesInside) {
    const struct {
        const char* name;
        const char* target; // below the world's folder
        bool inside;
        bool sourceThere;
        bool dupes = true;
    } rows[] = {
        {"honest record, both copies", "out/a/1.tif", true, true},
        {"honest record, both copies, no duplicates", "out/a/1.tif", true, true, false},
        {"other letter case, both copies", "OUT/a/1.tif", false, true},
        {"through a link, both copies", "out/lnk/1.tif", false, true},
        {"other letter case, source gone", "OUT/a/1.tif", false, false},
        {"through a link, source gone", "out/lnk/1.tif", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecoveryWorld world;
        world.w.job.setFlag(MenuField::AllowDupes, row.dupes);
        if (!row.dupes)
            world.w.host.answers = {Answer::No}; // "File Exists" for a\2.tif, taken before
        const std::string image = "image a\\1.tif";
        fs::create_directories(world.temp.path("out"));
        fs::create_directory_symlink(world.temp.path("elsewhere"), world.temp.path("out/lnk"));
        world.temp.write(row.inside ? row.target : "elsewhere/1.tif", image);
        world.temp.write("OUT/a/1.tif", image);
        if (!row.sourceThere)
            fs::remove(world.temp.path("img/a/1.tif"));
        std::string below = row.target;
        std::replace(below.begin(), below.end(), '/', '\\');
        const std::string recorded = world.temp.path() + "/" + below;
        LeaveJournal(world, world.temp.path("in/a.csv"),
                     detail::EncodeRecord({"M", world.temp.path("img") + "\\a\\1.tif", recorded}));

        RunJob(world.w.context);
        for (const MessageBox& box : world.w.host.boxes)
            EXPECT_EQ(box.text.find("\\1.tif"), std::string::npos) << box.text;
        // Nothing outside the job changed, and no BIF file names it.
        if (!row.inside) {
            EXPECT_EQ(world.temp.read("elsewhere/1.tif"), image);
        }
        EXPECT_EQ(world.temp.read("OUT/a/1.tif"), image);
        for (const std::string& bif : world.state().bifs) {
            EXPECT_EQ(bif.find("OUT\\"), std::string::npos) << bif;
            EXPECT_EQ(bif.find("lnk"), std::string::npos) << bif;
        }
        // The image is at one place of the job: moved once (no numbered second copy), or,
        // when its source is gone and the record cannot be used, nowhere new.
        EXPECT_FALSE(fs::exists(world.temp.path("out/a/1-0001.tif")));
        EXPECT_FALSE(fs::exists(world.temp.path("img/a/1.tif")));
        EXPECT_EQ(fs::exists(world.temp.path("out/a/1.tif")), row.sourceThere);
        if (row.sourceThere) {
            EXPECT_EQ(world.temp.read("out/a/1.tif"), image);
            EXPECT_FALSE(fs::exists(world.temp.path("in/a.csv")));
        }
    }
}

TEST(RecoveryTest, ACompleteBifFileIsNotWrittenASecondTime) {
    for (const bool intact : {true, false}) {
        RecoveryWorld world;
        world.temp.write("out/batch.bif", "[Documents File]\r\n[documents]\r\n");
        const FileMeasure m = *world.journals.measure(world.temp.path("out/batch.bif"));
        if (!intact)
            world.temp.write("out/batch.bif", "[Documents File]\r\n[Documents]\r\n");
        char checksum[17];
        std::snprintf(checksum, sizeof checksum, "%016llx",
                      static_cast<unsigned long long>(m.checksum));
        LeaveJournal(world, world.temp.path("in/b.csv"),
                     detail::EncodeRecord({"B", world.temp.path("out") + "\\batch.bif",
                                           std::to_string(m.size), checksum}));
        EXPECT_EQ(RunJob(world.w.context).converted, 2);
        EXPECT_EQ(world.state().bifs.size(), intact ? 2u : 3u) << intact;
        EXPECT_FALSE(fs::exists(world.temp.path("in/b.csv")));
        EXPECT_EQ(world.journalCount(), 0);
    }
}

TEST(RecoveryTest, AJournalOfJunkOrNamingOtherFoldersIsIgnoredAndReported) {
    for (const bool junk : {true, false}) {
        RecoveryWorld world(false);
        world.temp.write("elsewhere/1.tif", "not the job's");
        fs::remove(world.temp.path("img/a/1.tif"));
        if (junk)
            LeaveJournal(world, world.temp.path("in/a.csv"), "M\tgarbage\n\x01\x02");
        else
            LeaveJournal(world, world.temp.path("in/a.csv"),
                         detail::EncodeRecord({"M", world.temp.path("img") + "\\a\\1.tif",
                                               world.temp.path("elsewhere/1.tif")}));
        world.w.host.answers = {Answer::No, Answer::No}; // source missing; remove the temporary
        const RunSummary summary = RunJob(world.w.context);
        EXPECT_EQ(summary.failed, 1);
        ASSERT_GE(world.w.host.boxes.size(), 2u);
        EXPECT_EQ(world.w.host.boxes[0].title, "Error in Convert CSV to BIF");
        EXPECT_NE(world.w.host.boxes[0].text.find("1020 - Journal ignored"), std::string::npos);
        EXPECT_EQ(world.w.host.boxes[1].title, "Source File is Missing");
        EXPECT_EQ(world.temp.read("elsewhere/1.tif"), "not the job's");
        EXPECT_EQ(world.journalCount(), 0) << "nothing was recorded";
    }
}

// Journals whose every append fails, as on a full disk, or that cannot be deleted, as in a
// journal folder that turned read-only.
class FailingJournalStore : public JournalStore {
public:
    enum class Fails { Append, Remove };
    FailingJournalStore(JournalStore& real, Fails fails) : real_(real), fails_(fails) {}
    std::unique_ptr<JournalFile> open(const std::string& indexPath) override {
        struct Failing : JournalFile {
            Failing(std::unique_ptr<JournalFile> f, Fails failing)
                : real(std::move(f)), fails(failing) {}
            const std::string& path() const override { return real->path(); }
            const std::string& key() const override { return real->key(); }
            std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override {
                return real->readAt(offset, buffer, size);
            }
            void append(std::string_view record) override {
                if (fails == Fails::Append)
                    throw MachineError(ENOSPC, path());
                real->append(record);
            }
            void truncate(std::uint64_t length) override { real->truncate(length); }
            void remove() override {
                if (fails == Fails::Remove)
                    throw MachineError(EROFS, path());
                real->remove();
            }
            std::string setAside() override { return real->setAside(); }
            std::unique_ptr<JournalFile> real;
            Fails fails;
        };
        std::unique_ptr<JournalFile> file = real_.open(indexPath);
        return file ? std::make_unique<Failing>(std::move(file), fails_) : nullptr;
    }
    std::optional<FileMeasure> measure(const std::string& path) override {
        return real_.measure(path);
    }
    std::optional<FileIdentity> identify(const std::string& path) override {
        return real_.identify(path);
    }
    std::unique_ptr<HeldLock> lockFolder(const std::string& folder) override {
        return real_.lockFolder(folder);
    }
    void visitIdle(const std::function<void(JournalFile&)>& visit) override {
        real_.visitIdle(visit);
    }

private:
    JournalStore& real_;
    Fails fails_;
};

TEST(RecoveryTest, NothingIsMovedOrRemovedWithoutARecord) {
    for (const bool move : {true, false}) {
        RecoveryWorld world;
        world.w.job.setCheck(CheckField::MoveFiles,
                             move ? CheckState::Checked : CheckState::Unchecked);
        FailingJournalStore full(world.journals, FailingJournalStore::Fails::Append);
        world.w.context.journals = &full;
        const State before = world.state();
        EXPECT_EQ(RunJob(world.w.context).failed, 2);
        ASSERT_EQ(world.w.systemLog.events.size(), 2u);
        EXPECT_NE(
            world.w.systemLog.events[0].text.find("Disk full: " + world.temp.path("journal/")),
            std::string::npos)
            << world.w.systemLog.events[0].text;
        State after = world.state();
        for (const char* left : {"out/batch.bifX", "out/batch1.bifX"})
            after.files.erase(left); // kept in service mode, never under the final name
        EXPECT_EQ(after, before);
    }
}

// A check looks at a journal as the rerun reads it and changes nothing: no journal is made,
// none is locked, truncated or set aside, whatever it holds.
TEST(RecoveryTest, AJournalLookedAtIsReadAsTheRerunReadsItAndLeftAsItIs) {
    const struct {
        const char* what;
        bool leave;        // a journal is there
        bool junk;         // ... holding junk
        bool indexChanged; // ... written for the index file before it changed
        bool applied;
    } cases[] = {
        {"none", false, false, false, false},
        {"a move", true, false, false, true},
        {"junk", true, true, false, false},
        {"another file under the name", true, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecoveryWorld world;
        const std::string index = world.temp.path("in/a.csv");
        if (c.leave)
            LeaveJournal(world, index, c.junk ? "junk\n" : Moved(world, "a\\1.tif", "a\\1.tif"));
        if (c.indexChanged)
            world.temp.write("in/a.csv", "Doc,a\\1.tif\r\n");
        const auto journalFolder = [&] {
            std::map<std::string, std::string> files;
            if (fs::exists(world.temp.path("journal")))
                for (const auto& entry : fs::directory_iterator(world.temp.path("journal")))
                    files[entry.path().filename().string()] = ReadWhole(entry.path());
            return files;
        };
        const auto before = journalFolder();
        std::string junk;
        const std::unique_ptr<Journal> peeked =
            Journal::Peek(world.w.context, index, world.temp.path("out/batch.bif"), junk);
        EXPECT_EQ(!junk.empty(), c.junk) << junk;
        const std::string* target =
            peeked ? peeked->recordedTarget(world.temp.path("img") + "\\a\\1.tif") : nullptr;
        EXPECT_EQ(target != nullptr, c.applied);
        EXPECT_EQ(journalFolder(), before); // nothing made, truncated or set aside
        // Not locked: a run takes the journal while the check still holds it.
        EXPECT_NE(world.journals.open(index), nullptr);
    }
}

TEST(RecoveryTest, AnIndexFileLockedByAnotherProcessIsLeftToIt) {
    RecoveryWorld world;
    const std::unique_ptr<JournalFile> held = world.journals.open(world.temp.path("in/a.csv"));
    ASSERT_TRUE(held);
    const RunSummary summary = RunJob(world.w.context);
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_TRUE(fs::exists(world.temp.path("in/a.csv")));
    EXPECT_TRUE(fs::exists(world.temp.path("img/a/1.tif")));
    EXPECT_NE(world.temp.read("debug-QM.log")
                  .find("Index file left to another process (its journal is locked): " +
                        world.temp.path("in/a.csv")),
              std::string::npos);
}

// A journal that outlives its work must never stand for a file it was not written for, nor
// let a BIF file be written twice: a scanning station reuses index file names, and the
// document system takes BIF files as soon as they have their names.
TEST(RecoveryTest, AJournalThatOutlivedItsWorkIsNeverAppliedToANewFileNorWritesABifTwice) {
    struct Case {
        const char* what;
        bool journalStays;     // else the removal of in/a.csv fails
        bool stationWritesNew; // a new in/a.csv with a new image arrives before the rerun
    };
    for (const Case& c : {Case{"the journal could not be deleted", true, true},
                          Case{"the index file could not be removed", false, false}}) {
        SCOPED_TRACE(c.what);
        RecoveryWorld world;
        FailingJournalStore stuck(world.journals, FailingJournalStore::Fails::Remove);
        if (c.journalStays) {
            world.w.context.journals = &stuck;
        } else {
            RecoveryWorld probe;
            probe.w.files.arm({});
            RunJob(probe.w.context);
            long at = 0;
            for (const auto& call : probe.w.files.calls())
                if (call.op == FileOp::Delete && call.path == probe.temp.path("in/a.csv"))
                    at = call.number;
            ASSERT_GT(at, 0);
            world.w.files.arm({at, EIO, {}, false});
        }
        RunJob(world.w.context);
        world.w.files.arm({});
        world.w.context.journals = &world.journals;
        ASSERT_GE(world.journalCount(), 1);
        // The document system takes the BIF files.
        for (const char* bif : {"out/batch.bif", "out/batch1.bif"})
            fs::remove(world.temp.path(bif));
        if (c.stationWritesNew) {
            world.temp.write("in/a.csv", "Doc a3,a\\3.tif\r\n");
            world.temp.write("img/a/3.tif", "image a\\3.tif");
        }
        world.w.host.boxes.clear();
        const RunSummary rerun = RunJob(world.w.context);
        EXPECT_EQ(rerun.failed, 0);
        EXPECT_TRUE(world.w.host.boxes.empty());
        EXPECT_FALSE(fs::exists(world.temp.path("in/a.csv")));
        const State after = world.state();
        const auto holding = [&](const char* document) {
            return std::count_if(after.bifs.begin(), after.bifs.end(), [&](const std::string& b) {
                return b.find(document) != std::string::npos;
            });
        };
        EXPECT_EQ(holding("Doc a1"), 0) << "a BIF file the document system took is written again";
        if (c.stationWritesNew) {
            EXPECT_EQ(holding("Doc a3"), 1) << "the new file under the old name is converted";
            EXPECT_EQ(after.files.count("out/a/3.tif"), 1u);
            EXPECT_NE(world.temp.read("debug-QM.log").find("1020 - Journal set aside"),
                      std::string::npos);
        }
        EXPECT_EQ(world.journalCount(), 0);
    }
}

// Two jobs that write one BIF folder, however they spell it, and whether or not they keep a
// journal, take turns: the free name and the temporary file are one process's at a time.
TEST(RecoveryTest, OneLockPerBifFolderWhateverItsSpelling) {
    for (const char* spelling : {"out", "out/./", "link-to-out", "out/../out"}) {
        SCOPED_TRACE(spelling);
        TestWorld t;
        t.temp.write("out/x", "");
        fs::create_directory_symlink(t.temp.path("out"), t.temp.path("link-to-out"));
        PosixJournalStore journals{t.map, t.temp.path("journal")};
        t.context.journals = &journals;
        t.job.setText(TextField::FieldNames, "Name|ImagePath");
        t.job.setText(TextField::DocType, "Invoice");
        t.job.setText(TextField::IndexFile, t.temp.path("in/*.csv"));
        t.job.setText(TextField::BIFFile, t.temp.path(spelling) + "/batch.bif");
        t.job.setFlag(MenuField::PromptWhenFinished, false);
        t.job.setText(TextField::CurrentConfigFile, t.temp.path("job.sbf"));
        t.temp.write("in/a.csv", "Doc,a.tif\r\n");
        t.temp.write("in/a.tif", "");

        std::unique_ptr<HeldLock> held = journals.lockFolder(t.temp.path("out"));
        std::atomic<bool> finished = false;
        std::thread run([&] {
            RunJob(t.context);
            finished = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(finished) << "the run did not wait for the folder's lock";
        EXPECT_FALSE(fs::exists(t.temp.path("out/batch.bif")));
        held.reset();
        run.join();
        EXPECT_TRUE(fs::exists(t.temp.path("out/batch.bif")));
    }
}

// Moves wait in batches for one sync of their records; a failure at a line still leaves the
// moves of the lines before it made and none after, whether it comes before the line's move,
// at a question, or in a later batch than the first, and whether the targets are free or
// every one is taken and numbered.
TEST(RecoveryTest, AFailureAtALineLeavesTheMovesBeforeItMadeAndNoneAfter) {
    constexpr int Lines = 300;
    constexpr int Failing = 280; // past the first batch
    struct Case {
        const char* name;
        std::string failingImage; // the image path of the failing line
        bool targetTaken;         // the failing line's target exists before the run
        bool numbered;            // every target is taken, duplicates allowed
        std::int32_t error;
        std::optional<Answer> answer = {}; // to the failing line's question
    };
    const Case cases[] = {
        {"a path that leaves its folder", "..\\..\\outside.tif", false, false, 1002},
        {"a missing source, answered No", "missing.tif", false, false, 23, Answer::No},
        {"a taken target, answered Cancel", "280.tif", true, false, 21, Answer::Cancel},
        {"no failure", "280.tif", false, false, 0},
        {"numbered: a path that leaves its folder", "..\\..\\outside.tif", false, true, 1002},
        {"numbered: no failure", "280.tif", false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        FaultyWorld w{temp.path("debug-QM.log")};
        PosixJournalStore journals{w.map, temp.path("journal")};
        w.context.journals = &journals;
        w.process.serviceMode = true;
        JobSettings& job = w.job;
        MovingJob(job, temp);
        job.setFlag(MenuField::PromptWhenFinished, false);
        job.setFlag(MenuField::AllowDupes, c.numbered);
        if (c.answer)
            w.host.answers.push_back(*c.answer);
        std::string index;
        for (int i = 1; i <= Lines; ++i) {
            const std::string image = std::to_string(i) + ".tif";
            temp.write("img/" + image, "image " + image);
            if (c.numbered)
                temp.write("out/" + image, "an earlier batch's image");
            index +=
                "Doc " + std::to_string(i) + "," + (i == Failing ? c.failingImage : image) + "\r\n";
        }
        temp.write("in/a.csv", index);
        if (c.targetTaken)
            temp.write("out/" + c.failingImage, "an earlier batch's image");

        const RunSummary totals = RunJob(w.context);
        EXPECT_EQ(totals.failed, c.error == 0 ? 0 : 1);
        const std::string number = std::to_string(c.error) + " - ";
        EXPECT_EQ(std::any_of(w.systemLog.events.begin(), w.systemLog.events.end(),
                              [&](const auto& e) { return e.text.find(number) == 0; }),
                  c.error != 0);
        for (int i = 1; i <= Lines; ++i) {
            const std::string image = std::to_string(i) + ".tif";
            const bool moved = c.error == 0 || i < Failing;
            const std::string target = c.numbered ? std::to_string(i) + "-0001.tif" : image;
            EXPECT_EQ(fs::exists(temp.path("out/" + target)),
                      moved || (i == Failing && c.targetTaken))
                << target;
            EXPECT_EQ(fs::exists(temp.path("img/" + image)), !moved) << image;
        }
    }
}

} // namespace
} // namespace qm::test

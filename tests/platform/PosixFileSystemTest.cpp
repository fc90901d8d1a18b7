#include "platform/posix/PosixFileSystem.h"

#include "platform/Error.h"
#include "platform/PathMap.h"
#include "platform/posix/Fd.h"
#include "platform/posix/FolderListing.h"
#include "support/Doubles.h"
#include "support/TempFolder.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qm {
namespace {

using namespace std::string_literals;

class PosixFileSystemTest : public ::testing::Test {
protected:
    PosixFileSystemTest() {
        store.write(SettingsScope::User, "Quillmarch", "Drives", "T", temp.path());
    }

    // The error an operation raises, or nothing.
    static std::optional<Error> raised(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const Error& error) {
            return error;
        }
        return std::nullopt;
    }

    static mode_t modeOf(const std::string& hostPath) {
        struct stat st {};
        EXPECT_EQ(::stat(hostPath.c_str(), &st), 0) << hostPath;
        return st.st_mode & 07777;
    }

    static std::vector<std::string> entriesOf(const std::string& hostFolder) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(hostFolder.c_str());
        EXPECT_NE(dir, nullptr) << hostFolder;
        if (!dir)
            return names;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name != "."s && entry->d_name != ".."s)
                names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempFolder temp;
    test::MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem files{map};
};

struct ErrorCase {
    const char* what;
    std::function<void(FileSystem&)> operation;
    std::int32_t number;
    // The whole description, or for error 75 the path it must end with.
    std::string description;
};

TEST_F(PosixFileSystemTest, FailuresRaiseTheClassicNumbers) {
    temp.write("in/a.csv", "x");
    temp.write("in/b.csv", "y");
    temp.write("folder/keep", "");
    const std::vector<ErrorCase> cases = {
        {"read a missing file", [](FileSystem& f) { f.openForReading("T:\\in\\missing.csv"); }, 53,
         "File not found: T:\\in\\missing.csv"},
        {"read in a missing folder", [](FileSystem& f) { f.openForReading("T:\\nope\\a.csv"); }, 76,
         "Path not found: T:\\nope\\a.csv"},
        {"read through a file as folder",
         [](FileSystem& f) { f.openForReading("T:\\in\\a.csv\\x"); }, 76,
         "Path not found: T:\\in\\a.csv\\x"},
        {"read \"\"", [](FileSystem& f) { f.openForReading(""); }, 53,
         "File not found (no file given): "},
        {"read a folder", [](FileSystem& f) { f.openForReading("T:\\folder"); }, 75,
         ": T:\\folder"},
        {"read on an unmapped drive", [](FileSystem& f) { f.openForReading("Q:\\a.csv"); }, 76,
         "Path not found (drive Q: is not mapped in section [Drives] of the per-user settings): "
         "Q:\\a.csv"},
        {"create in a missing folder", [](FileSystem& f) { f.createTextFile("T:\\nope\\a.bif"); },
         76, "Path not found: T:\\nope\\a.bif"},
        {"create over a folder", [](FileSystem& f) { f.createTextFile("T:\\folder"); }, 75,
         ": T:\\folder"},
        {"create \"\"", [](FileSystem& f) { f.createTextFile(""); }, 76,
         "Path not found (no folder given): "},
        {"append in a missing folder", [](FileSystem& f) { f.openForAppend("T:/nope/log"); }, 76,
         "Path not found: T:/nope/log"},
        {"move a missing file", [](FileSystem& f) { f.moveFile("T:\\in\\x.csv", "T:\\in\\y.csv"); },
         53, "File not found: T:\\in\\x.csv"},
        {"move from a missing folder",
         [](FileSystem& f) { f.moveFile("T:\\nope\\x.csv", "T:\\in\\y.csv"); }, 76,
         "Path not found: T:\\nope\\x.csv"},
        {"move into a missing folder",
         [](FileSystem& f) { f.moveFile("T:\\in\\a.csv", "T:\\nope\\a.csv"); }, 76,
         "Path not found: T:\\nope\\a.csv"},
        {"move onto an existing file",
         [](FileSystem& f) { f.moveFile("T:\\in\\a.csv", "T:\\in\\b.csv"); }, 58,
         "File already exists: T:\\in\\b.csv"},
        {"move onto a folder", [](FileSystem& f) { f.moveFile("T:\\in\\a.csv", "T:\\folder"); }, 58,
         "File already exists: T:\\folder"},
        {"move a folder", [](FileSystem& f) { f.moveFile("T:\\folder", "T:\\moved"); }, 75,
         ": T:\\folder"},
        {"move \"\"", [](FileSystem& f) { f.moveFile("", "T:\\in\\z.csv"); }, 53,
         "File not found (no file given): "},
        {"replace from a missing file",
         [](FileSystem& f) { f.replaceFile("T:\\in\\x.csv", "T:\\in\\a.csv"); }, 53,
         "File not found: T:\\in\\x.csv"},
        {"replace into a missing folder",
         [](FileSystem& f) { f.replaceFile("T:\\in\\a.csv", "T:\\nope\\a.csv"); }, 76,
         "Path not found: T:\\nope\\a.csv"},
        {"delete a missing file", [](FileSystem& f) { f.deleteFile("T:\\in\\x.csv"); }, 53,
         "File not found: T:\\in\\x.csv"},
        {"delete in a missing folder", [](FileSystem& f) { f.deleteFile("T:\\nope\\x.csv"); }, 76,
         "Path not found: T:\\nope\\x.csv"},
        {"delete a folder", [](FileSystem& f) { f.deleteFile("T:\\folder"); }, 75, ": T:\\folder"},
        {"create an existing folder", [](FileSystem& f) { f.createFolder("T:\\folder"); }, 58,
         "File already exists: T:\\folder"},
        {"create a folder over a file", [](FileSystem& f) { f.createFolder("T:\\in\\a.csv"); }, 58,
         "File already exists: T:\\in\\a.csv"},
        {"create a folder whose parent is missing",
         [](FileSystem& f) { f.createFolder("T:\\nope\\sub"); }, 76,
         "Path not found: T:\\nope\\sub"},
        {"create folder \"\"", [](FileSystem& f) { f.createFolder(""); }, 76,
         "Path not found (no folder given): "},
        {"create a folder on an unmapped drive", [](FileSystem& f) { f.createFolder("Q:\\Scans"); },
         76,
         "Path not found (drive Q: is not mapped in section [Drives] of the per-user settings): "
         "Q:\\Scans"},
        {"list a missing folder", [](FileSystem& f) { f.listFiles("T:\\nope"); }, 76,
         "Path not found: T:\\nope"},
        {"list a file", [](FileSystem& f) { f.listFiles("T:\\in\\a.csv"); }, 76,
         "Path not found: T:\\in\\a.csv"},
        {"list \"\"", [](FileSystem& f) { f.listFiles(""); }, 76,
         "Path not found (no folder given): "},
        {"sync a missing folder", [](FileSystem& f) { f.syncFolder("T:\\nope"); }, 76,
         "Path not found: T:\\nope"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto error = raised([&] { c.operation(files); });
        ASSERT_TRUE(error.has_value()) << "no error raised";
        EXPECT_EQ(error->number(), c.number) << error->description();
        if (c.number == errnum::PathFileAccessError)
            EXPECT_TRUE(error->description().ends_with(c.description)) << error->description();
        else
            EXPECT_EQ(error->description(), c.description);
    }
    // Nothing above may have changed what was there.
    EXPECT_EQ(temp.read("in/a.csv"), "x");
    EXPECT_EQ(temp.read("in/b.csv"), "y");
    EXPECT_EQ(entriesOf(temp.path("in")), (std::vector<std::string>{"a.csv", "b.csv"}));
    EXPECT_EQ(entriesOf(temp.path()), (std::vector<std::string>{"folder", "in"}));
}

TEST_F(PosixFileSystemTest, PermissionFailuresAreError70) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permission checks do not apply";
    temp.write("locked/a.csv", "x");
    temp.write("secret.csv", "x");
    ASSERT_EQ(::chmod(temp.path("secret.csv").c_str(), 0), 0);
    ASSERT_EQ(::chmod(temp.path("locked").c_str(), 0555), 0);
    const std::vector<ErrorCase> cases = {
        {"create in a read-only folder",
         [](FileSystem& f) { f.createTextFile("T:\\locked\\b.bif"); }, 70,
         "Permission denied: T:\\locked\\b.bif"},
        {"read an unreadable file", [](FileSystem& f) { f.openForReading("T:\\secret.csv"); }, 70,
         "Permission denied: T:\\secret.csv"},
        {"delete from a read-only folder", [](FileSystem& f) { f.deleteFile("T:\\locked\\a.csv"); },
         70, "Permission denied: T:\\locked\\a.csv"},
        {"move into a read-only folder",
         [](FileSystem& f) { f.moveFile("T:\\secret.csv", "T:\\locked\\s.csv"); }, 70,
         "Permission denied: T:\\locked\\s.csv"},
        {"move out of a read-only folder",
         [](FileSystem& f) { f.moveFile("T:\\locked\\a.csv", "T:\\a.csv"); }, 70,
         "Permission denied: T:\\locked\\a.csv"},
        {"create a folder in a read-only folder",
         [](FileSystem& f) { f.createFolder("T:\\locked\\sub"); }, 70,
         "Permission denied: T:\\locked\\sub"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto error = raised([&] { c.operation(files); });
        ASSERT_TRUE(error.has_value()) << "no error raised";
        EXPECT_EQ(error->number(), c.number);
        EXPECT_EQ(error->description(), c.description);
    }
    EXPECT_TRUE(files.fileExists("T:\\locked\\a.csv"));
}

struct KindCase {
    const char* path;
    bool file;
    bool folder;
};

TEST_F(PosixFileSystemTest, TellsFilesFromFolders) {
    temp.write("in/a.csv", "x");
    ASSERT_EQ(::symlink("a.csv", temp.path("in/link.csv").c_str()), 0);
    ASSERT_EQ(::symlink("gone.csv", temp.path("in/dead.csv").c_str()), 0);
    ASSERT_EQ(::symlink("in", temp.path("inlink").c_str()), 0);
    const KindCase cases[] = {
        {"T:\\in\\a.csv", true, false},    {"T:/in/a.csv", true, false},
        {"t:\\in\\a.csv", true, false},    {"T:\\in", false, true},
        {"T:\\in\\", false, true},         {"T:", false, true},
        {"T:\\in\\missing", false, false}, {"T:\\nope\\a.csv", false, false},
        {"T:\\in\\link.csv", true, false}, {"T:\\in\\dead.csv", false, false},
        {"T:\\inlink", false, true},       {"", false, false},
        {"Q:\\in\\a.csv", false, false},   {"\\\\srv\\share\\a", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files.fileExists(c.path), c.file) << c.path;
        EXPECT_EQ(files.folderExists(c.path), c.folder) << c.path;
    }
    EXPECT_TRUE(files.fileExists(temp.path("in/a.csv")));

    // The system would read the name only up to the NUL byte, as "a.csv".
    const std::string withNul("T:\\in\\a.csv\0-0001", 17);
    EXPECT_FALSE(files.fileExists(withNul));
    EXPECT_FALSE(files.folderExists(std::string("T:\\in\0x", 7)));
    const auto error = raised([&] { files.deleteFile(withNul); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), errnum::PathNotFound);
    EXPECT_TRUE(files.fileExists("T:\\in\\a.csv"));
    // The same beneath the folders of a conversion's moves, where the numbered names are tried.
    const std::unique_ptr<ConfinedMoves> moves = files.openConfined("T:\\in", "T:\\in");
    ASSERT_TRUE(moves);
    EXPECT_TRUE(moves->fileExists(ConfinedMoves::Side::Bif, "a.csv"));
    EXPECT_FALSE(moves->fileExists(ConfinedMoves::Side::Bif, std::string("a.csv\0-0001", 11)));
    EXPECT_FALSE(moves->folderExists(std::string(".\0x", 3)));
}

TEST_F(PosixFileSystemTest, SameFileFollowsMappingAndLinks) {
    temp.write("a.tif", "x");
    temp.write("b.tif", "x");
    ASSERT_EQ(::link(temp.path("a.tif").c_str(), temp.path("hard.tif").c_str()), 0);
    ASSERT_EQ(::symlink("a.tif", temp.path("soft.tif").c_str()), 0);
    EXPECT_TRUE(files.sameFile("T:\\a.tif", temp.path("a.tif")));
    EXPECT_TRUE(files.sameFile("T:\\a.tif", "t:/a.tif"));
    EXPECT_TRUE(files.sameFile("T:\\a.tif", "T:\\hard.tif"));
    EXPECT_TRUE(files.sameFile("T:\\soft.tif", "T:\\a.tif"));
    EXPECT_FALSE(files.sameFile("T:\\a.tif", "T:\\b.tif"));
    EXPECT_FALSE(files.sameFile("T:\\missing.tif", "T:\\missing.tif"));
    EXPECT_FALSE(files.sameFile("", ""));
    EXPECT_FALSE(files.sameFile("Q:\\a.tif", "Q:\\a.tif"));
}

TEST_F(PosixFileSystemTest, WritersCreateTruncateAndAppendBytesUnchanged) {
    temp.write("out.bif", "old content that is longer");
    auto writer = files.createTextFile("T:\\out.bif");
    writer->writeLine("[Documents File]");
    writer->write("caf\xe9\0x"s);
    writer->close();
    EXPECT_EQ(temp.read("out.bif"), "[Documents File]\r\ncaf\xe9\0x"s);

    auto log = files.openForAppend("T:\\log.txt");
    log->writeLine("one");
    log->close();
    log = files.openForAppend("T:\\log.txt");
    log->writeLine("two");
    log->flush();
    EXPECT_EQ(temp.read("log.txt"), "one\r\ntwo\r\n");
    log->close();
}

TEST_F(PosixFileSystemTest, LargeAndSmallWritesKeepTheirOrder) {
    std::string expected;
    auto writer = files.createTextFile("T:\\big.bif");
    for (int i = 0; i < 300; ++i) {
        const std::string piece(static_cast<std::size_t>(i * 997 % 70000),
                                static_cast<char>('a' + i % 26));
        writer->write(piece);
        expected += piece;
    }
    writer->sync();
    EXPECT_EQ(temp.read("big.bif"), expected);
    writer->close();
}

TEST_F(PosixFileSystemTest, AFullDiskIsError61AndStaysAnError) {
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    auto writer = files.createTextFile("/dev/full");
    writer->writeLine("document00001=");
    auto error = raised([&] { writer->flush(); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errnum::DiskFull);
    EXPECT_EQ(error->description(), "Disk full: /dev/full");
    // A caller that goes on must not see success later.
    error = raised([&] { writer->write("x"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errnum::DiskFull);
    EXPECT_TRUE(raised([&] { writer->sync(); }).has_value());
    writer->close();
    writer->close();
}

TEST_F(PosixFileSystemTest, MoveWithinOneFileSystem) {
    temp.write("in/a.tif", "image");
    temp.write("out/keep", "");
    files.moveFile("T:\\in\\a.tif", "T:\\out\\a.tif");
    EXPECT_FALSE(files.fileExists("T:\\in\\a.tif"));
    EXPECT_EQ(temp.read("out/a.tif"), "image");
}

TEST_F(PosixFileSystemTest, MoveOntoAnExistingFileLeavesBothUntouched) {
    temp.write("in/a.tif", "source");
    temp.write("out/a.tif", "target");
    const auto error = raised([&] { files.moveFile("T:\\in\\a.tif", "T:\\out\\a.tif"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errnum::FileAlreadyExists);
    EXPECT_EQ(temp.read("in/a.tif"), "source");
    EXPECT_EQ(temp.read("out/a.tif"), "target");
}

TEST_F(PosixFileSystemTest, EntriesBeneathTheFoldersAndAFolderMadeAnewWhileKeptOpen) {
    using Kind = ConfinedMoves::Kind;
    using Side = ConfinedMoves::Side;
    temp.write("img/B1/a.tif", "old");
    temp.write("img/B1/b.tif", "b");
    temp.write("out/B1/keep", "");
    temp.write("elsewhere/a.tif", "outside");
    ASSERT_EQ(::symlink("a.tif", temp.path("img/B1/link.tif").c_str()), 0);
    ASSERT_EQ(::symlink(temp.path("elsewhere").c_str(), temp.path("img/out-link").c_str()), 0);
    const std::unique_ptr<ConfinedMoves> moves = files.openConfined("T:\\img", "T:\\out");
    const struct {
        Side side;
        const char* part;
        Kind kind;
    } rows[] = {
        {Side::Images, "B1/a.tif", Kind::File},    {Side::Images, "B1/none.tif", Kind::Missing},
        {Side::Images, "B2/a.tif", Kind::Missing}, {Side::Images, "B1/link.tif", Kind::Link},
        {Side::Images, "B1", Kind::Other},         {Side::Images, "out-link/a.tif", Kind::Unknown},
        {Side::Bif, "B1/a.tif", Kind::Missing},    {Side::Bif, "B1/keep", Kind::File},
    };
    for (const auto& row : rows)
        EXPECT_EQ(moves->entry(row.side, row.part).kind, row.kind) << row.part;

    // B1 is looked up, then removed and made anew with another a.tif before the move: the move
    // takes the new one, found afresh when the folder kept open no longer holds it.
    EXPECT_EQ(moves->entry(Side::Images, "B1/a.tif").kind, Kind::File);
    std::filesystem::remove_all(temp.path("img/B1"));
    temp.write("img/B1/a.tif", "new");
    moves->move("T:\\img\\B1\\a.tif", "B1/a.tif", "T:\\out\\B1\\a.tif", "B1/a.tif", nullptr);
    EXPECT_EQ(temp.read("out/B1/a.tif"), "new");
    EXPECT_FALSE(files.fileExists("T:\\img\\B1\\a.tif"));
    // A source replaced after it was looked up is looked at again and moved as it is now; one
    // replaced by a link leading out is put back and the move refused.
    const ConfinedMoves::Entry looked = moves->entry(Side::Images, "B1/b.tif");
    temp.write("img/B1/b.tif.new", "replaced");
    std::filesystem::rename(temp.path("img/B1/b.tif.new"), temp.path("img/B1/b.tif"));
    moves->move("T:\\img\\B1\\b.tif", "B1/b.tif", "T:\\out\\B1\\b.tif", "B1/b.tif", &looked.key);
    EXPECT_EQ(temp.read("out/B1/b.tif"), "replaced");
    temp.write("img/B1/d.tif", "d");
    const ConfinedMoves::Entry linked = moves->entry(Side::Images, "B1/d.tif");
    std::filesystem::remove(temp.path("img/B1/d.tif"));
    std::filesystem::create_symlink(temp.path("elsewhere/a.tif"), temp.path("img/B1/d.tif"));
    EXPECT_TRUE(raised([&] {
        moves->move("T:\\img\\B1\\d.tif", "B1/d.tif", "T:\\out\\B1\\d.tif", "B1/d.tif",
                    &linked.key);
    }));
    EXPECT_TRUE(std::filesystem::is_symlink(temp.path("img/B1/d.tif")));
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::symlink_status(temp.path("out/B1/d.tif"))));

    // Once the moves are finished, nothing kept open answers for the folder.
    std::filesystem::remove_all(temp.path("img/B1"));
    temp.write("img/B1/c.tif", "c");
    moves->finishMoves();
    EXPECT_EQ(moves->entry(Side::Images, "B1/c.tif").kind, Kind::File);
}

// A folder on another file system than the temporary folder, or nothing when /dev/shm is on
// the same one.
class OtherFileSystem {
public:
    explicit OtherFileSystem(const std::string& near) {
        struct stat here {};
        struct stat there {};
        if (::stat(near.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
            here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0)
            return;
        const char* old = std::getenv("TMPDIR");
        const std::optional<std::string> saved =
            old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TMPDIR", "/dev/shm", 1);
        folder.emplace();
        if (saved)
            ::setenv("TMPDIR", saved->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    std::optional<test::TempFolder> folder;
};

// A folder looked in for many names of a batch is read once: what the listing tells must be
// what a lookup tells, a name made since must still be found, and a listed source changed since
// must be moved as a lookup would find it, or not at all.
TEST_F(PosixFileSystemTest, EntriesFromAFolderListingAgreeWithLookupsAndStaleOnesMoveNothing) {
    using Kind = ConfinedMoves::Kind;
    OtherFileSystem other(temp.path());
    std::vector<std::pair<std::string, test::TempFolder*>> places = {{"T", &temp}};
    if (other.folder) {
        store.write(SettingsScope::User, "Quillmarch", "Drives", "S", other.folder->path());
        places.emplace_back("S", &*other.folder);
    }
    int listed = 0;
    int gaps = 0;
    for (const auto& [drive, place] : places) {
        SCOPED_TRACE(place->path());
        std::vector<std::string> names = {"link.tif", "out.tif", "sub", "none.tif"};
        for (int i = 100; i < 124; ++i)
            place->write("img/B1/" + names.emplace_back(std::to_string(i) + ".tif"), "image");
        place->write("elsewhere/a.tif", "outside");
        place->write("img/B1/sub/keep", "");
        place->write("out/B1/keep", "");
        std::filesystem::create_symlink("100.tif", place->path("img/B1/link.tif"));
        std::filesystem::create_symlink(place->path("elsewhere/a.tif"),
                                        place->path("img/B1/out.tif"));
        FolderListing listing;
        const Fd folder(::open(place->path("img/B1").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        listed += listing.read(folder.get(), 1 << 20, 1000);
        EXPECT_FALSE(listing.read(folder.get(), 1 << 20, 10)) << "more names than allowed";
        EXPECT_FALSE(listing.read(folder.get(), 16, 1000)) << "a larger folder than allowed";

        const std::unique_ptr<ConfinedMoves> moves =
            files.openConfined(drive + ":\\img", drive + ":\\out");
        const auto entry = [&](const std::string& name) {
            return moves->entry(ConfinedMoves::Side::Images, "B1/" + name);
        };
        for (int pass = 0; pass < 2; ++pass) { // the first names looked up, then listed
            for (const std::string& name : names) {
                struct stat st {};
                const bool there = ::lstat(place->path("img/B1/" + name).c_str(), &st) == 0;
                const ConfinedMoves::Entry e = entry(name);
                EXPECT_EQ(e.kind, !there                ? Kind::Missing
                                  : S_ISREG(st.st_mode) ? Kind::File
                                  : S_ISLNK(st.st_mode) ? Kind::Link
                                                        : Kind::Other)
                    << name;
                const FileKey key{static_cast<std::uint64_t>(st.st_dev),
                                  static_cast<std::uint64_t>(st.st_ino)};
                EXPECT_TRUE(!there || e.key == key) << name;
            }
        }
        place->write("img/B1/late.tif", "late");
        EXPECT_EQ(entry("late.tif").kind, Kind::File) << "made after the listing";

        // Changed since the listings (the BIF folder's read too): a file made below the BIF
        // folder at the target, a name that listing lacks, is never replaced; a source replaced
        // by another file is moved as it is now; one replaced by a link leading out, or
        // removed, is not.
        for (const std::string& name : names)
            moves->entry(ConfinedMoves::Side::Bif, "B1/" + name);
        for (const auto& [name, change] : {std::pair{"104.tif", "target"},
                                           {"101.tif", "file"},
                                           {"102.tif", "link"},
                                           {"103.tif", "removed"}}) {
            const FileKey listedKey = entry(name).key;
            const std::string source = place->path("img/B1/") + name;
            if (change != std::string("target"))
                std::filesystem::remove(source);
            if (change == std::string("file"))
                place->write("img/B1/" + std::string(name), "replaced");
            else if (change == std::string("link"))
                std::filesystem::create_symlink(place->path("elsewhere/a.tif"), source);
            else if (change == std::string("target")) {
                place->write("out/B1/" + std::string(name), "made since");
                const Kind told = moves->entry(ConfinedMoves::Side::Bif, "B1/104.tif").kind;
                EXPECT_NE(told, Kind::Unknown);
                gaps += told == Kind::Missing;
            }
            const bool refused =
                raised([&, name = std::string(name)] {
                    moves->move(drive + ":\\img\\B1\\" + name, "B1/" + name,
                                drive + ":\\out\\B1\\" + name, "B1/" + name, &listedKey);
                }).has_value();
            EXPECT_EQ(refused, change != std::string("file")) << name;
        }
        EXPECT_EQ(place->read("out/B1/101.tif"), "replaced");
        EXPECT_TRUE(std::filesystem::is_symlink(place->path("img/B1/102.tif")));
        EXPECT_FALSE(std::filesystem::exists(
            std::filesystem::symlink_status(place->path("out/B1/102.tif"))));
        EXPECT_EQ(place->read("out/B1/104.tif"), "made since");
        EXPECT_EQ(place->read("img/B1/104.tif"), "image");
        EXPECT_EQ(place->read("elsewhere/a.tif"), "outside");
        moves->finishMoves();
    }
    EXPECT_GT(listed, 0) << "no folder here could be listed: the listing went untested";
    EXPECT_GT(gaps, 0) << "no listing told a missing name: that went untested";
}

TEST_F(PosixFileSystemTest, MoveAcrossFileSystemsKeepsContentAndMode) {
    OtherFileSystem other(temp.path());
    if (!other.folder)
        GTEST_SKIP() << "/dev/shm is on the same file system as " << temp.path();
    store.write(SettingsScope::User, "Quillmarch", "Drives", "S", other.folder->path());

    std::string content;
    for (int i = 0; i < 3 * 1024 * 1024; ++i)
        content += static_cast<char>(i * 31 % 251);
    temp.write("in/a.tif", content);
    ASSERT_EQ(::chmod(temp.path("in/a.tif").c_str(), 0640), 0);
    other.folder->write("out/keep", "");

    files.moveFile("T:\\in\\a.tif", "S:\\out\\a.tif");
    EXPECT_FALSE(files.fileExists("T:\\in\\a.tif"));
    EXPECT_TRUE(other.folder->read("out/a.tif") == content) << "content differs";
    EXPECT_EQ(modeOf(other.folder->path("out/a.tif")), 0640u);
    EXPECT_EQ(entriesOf(other.folder->path("out")), (std::vector<std::string>{"a.tif", "keep"}));
}

TEST_F(PosixFileSystemTest, FailedMoveAcrossFileSystemsLeavesTheSource) {
    OtherFileSystem other(temp.path());
    if (!other.folder)
        GTEST_SKIP() << "/dev/shm is on the same file system as " << temp.path();
    store.write(SettingsScope::User, "Quillmarch", "Drives", "S", other.folder->path());
    temp.write("in/a.tif", "source");
    other.folder->write("out/a.tif", "target");

    auto error = raised([&] { files.moveFile("T:\\in\\a.tif", "S:\\out\\a.tif"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errnum::FileAlreadyExists);
    EXPECT_EQ(error->description(), "File already exists: S:\\out\\a.tif");

    error = raised([&] { files.moveFile("T:\\in\\a.tif", "S:\\nope\\a.tif"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errnum::PathNotFound);

    EXPECT_EQ(temp.read("in/a.tif"), "source");
    EXPECT_EQ(other.folder->read("out/a.tif"), "target");
    EXPECT_EQ(entriesOf(other.folder->path("out")), (std::vector<std::string>{"a.tif"}));
}

TEST_F(PosixFileSystemTest, MoveAcrossThatCannotRemoveTheSourceTakesTheCopyBack) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permission checks do not apply";
    OtherFileSystem other(temp.path());
    if (!other.folder)
        GTEST_SKIP() << "/dev/shm is on the same file system as " << temp.path();
    store.write(SettingsScope::User, "Quillmarch", "Drives", "S", other.folder->path());
    temp.write("in/a.tif", "source");
    other.folder->write("out/keep", "");
    ASSERT_EQ(::chmod(temp.path("in").c_str(), 0555), 0);

    const auto error = raised([&] { files.moveFile("T:\\in\\a.tif", "S:\\out\\a.tif"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), errnum::PermissionDenied);
    EXPECT_EQ(error->description(), "Permission denied: T:\\in\\a.tif");
    EXPECT_EQ(temp.read("in/a.tif"), "source");
    EXPECT_EQ(entriesOf(other.folder->path("out")), (std::vector<std::string>{"keep"}));
}

TEST_F(PosixFileSystemTest, ReplaceRenamesOverTheTarget) {
    temp.write("out.bifX", "new");
    temp.write("out.bif", "old");
    files.replaceFile("T:\\out.bifX", "T:\\out.bif");
    EXPECT_EQ(temp.read("out.bif"), "new");
    EXPECT_FALSE(files.fileExists("T:\\out.bifX"));
    files.syncFolder("T:\\");
}

TEST_F(PosixFileSystemTest, DeletesReadOnlyFiles) {
    temp.write("in/a.csv", "x");
    ASSERT_EQ(::chmod(temp.path("in/a.csv").c_str(), 0444), 0);
    files.deleteFile("T:\\in\\a.csv");
    EXPECT_FALSE(files.fileExists("T:\\in\\a.csv"));
}

TEST_F(PosixFileSystemTest, CreatesOneFolderLevel) {
    files.createFolder("T:\\out");
    files.createFolder("T:/out/sub/");
    EXPECT_TRUE(files.folderExists(temp.path("out/sub")));
}

struct ListingCase {
    std::string folder;
    std::string prefix;
};

TEST_F(PosixFileSystemTest, ListsRegularFilesInByteOrderWrittenLikeTheFolder) {
    for (const char* name : {"b.csv", "a.csv", "B.csv", ".hidden", "\xe9.csv", "sub/inner.csv"})
        temp.write(std::string("in/") + name, "x");
    ASSERT_EQ(::symlink("a.csv", temp.path("in/link.csv").c_str()), 0);
    ASSERT_EQ(::symlink("gone.csv", temp.path("in/dead.csv").c_str()), 0);
    ASSERT_EQ(::symlink("sub", temp.path("in/sublink").c_str()), 0);
    temp.write("x/keep", "");
    const std::vector<std::string> names = {".hidden", "B.csv",    "a.csv",
                                            "b.csv",   "link.csv", "\xe9.csv"};
    const std::vector<ListingCase> cases = {
        {"T:\\in", "T:\\in\\"},
        {"t:\\in", "t:\\in\\"},
        {"T:/in", "T:/in/"},
        {"T:/x/..\\in", "T:/x/..\\in\\"},
        {"T:\\in\\", "T:\\in\\"},
        {"T:/in/", "T:/in/"},
        {temp.path("in"), temp.path("in") + "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        std::vector<std::string> expected;
        for (const auto& name : names)
            expected.push_back(c.prefix + name);
        EXPECT_EQ(files.listFiles(c.folder), expected);
    }
    EXPECT_EQ(files.listFiles("T:\\in\\sub"), (std::vector<std::string>{"T:\\in\\sub\\inner.csv"}));
}

struct MatchCase {
    const char* pattern;
    bool matches;
};

TEST_F(PosixFileSystemTest, MatchesAnyLooksForOneOrdinaryMatchingFile) {
    for (const char* name : {"in/a.csv", "in/b.txt", "in/.hidden.doc", "in/README", "in/dir.tif/x"})
        temp.write(name, "x");
    ASSERT_EQ(::symlink("b.txt", temp.path("in/link.lnk").c_str()), 0);
    const MatchCase cases[] = {
        {"T:\\in\\*.csv", true},
        {"T:\\in\\*.CSV", false},
        {"T:/in/*.txt", true},
        {"T:\\in\\*.doc", false},
        {"T:\\in\\*.tif", false},
        {"T:\\in\\*.*", true},
        {"T:\\in\\README.*", true},
        {"T:\\in\\READ??", true},
        {"T:\\in\\?.csv", true},
        {"T:\\in\\*.lnk", true},
        {"T:\\in\\a.csv", true},
        {"T:\\in\\c.csv", false},
        {"T:\\nope\\*.csv", false},
        {"Q:\\in\\*.csv", false},
        {"*.csv", false},
        {"T:\\in\\a.csv\\*", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(files.matchesAny(c.pattern), c.matches) << c.pattern;
}

} // namespace
} // namespace qm

#include "platform/Error.h"
#include "platform/posix/QtSettingsStore.h"
#include "platform/posix/StandardFileTools.h"
#include "support/TestWorld.h"

#include <climits>
#include <cstdint>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

using test::ScopedEnvironment;
using test::TestWorld;
using test::WaitForFile;

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// --- CreateAnyFolder ---------------------------------------------------------------------

TEST(CreateAnyFolderTest, CreatesEveryMissingLevel) {
    const struct {
        const char* folder;  // below the drive C:, mapped to <temp>/c
        const char* created; // host folder below <temp>/c that must exist afterwards
    } cases[] = {
        {"C:\\Scans\\B1", "Scans/B1"},
        {"C:/deep/er/still/deeper", "deep/er/still/deeper"},
        {"C:\\mixed/seps\\here", "mixed/seps/here"},
        {"C:\\closing\\", "closing"},
        {"C:\\doubled\\\\sep", "doubled/sep"},
        {"C:\\my.dir\\B1", "my.dir/B1"},
        {"C:rel\\B2", "rel/B2"},
    };
    for (const auto& c : cases) {
        TestWorld world;
        world.temp.write("c/.keep", "");
        world.mapDrive("C", world.temp.path("c"));
        ASSERT_NO_THROW(world.tools.CreateAnyFolder(c.folder)) << c.folder;
        EXPECT_TRUE(IsFolder(world.temp.path("c/") + c.created)) << c.folder;
    }
}

TEST(CreateAnyFolderTest, HostPathsAndSharesWork) {
    TestWorld world;
    world.tools.CreateAnyFolder(world.temp.path("plain/a/b"));
    EXPECT_TRUE(IsFolder(world.temp.path("plain/a/b")));

    std::string backslashed = world.temp.path("back\\a\\b");
    world.tools.CreateAnyFolder(backslashed);
    EXPECT_TRUE(IsFolder(world.temp.path("back/a/b")));

    world.temp.write("share/.keep", "");
    world.store.write(SettingsScope::User, "Quillmarch", "Shares", "srv/scans",
                      world.temp.path("share"));
    world.tools.CreateAnyFolder("\\\\SRV\\Scans\\B1\\B2");
    EXPECT_TRUE(IsFolder(world.temp.path("share/B1/B2")));
}

TEST(CreateAnyFolderTest, ExistingFolderIsLeftAsItIs) {
    TestWorld world;
    world.temp.write("c/Scans/keep.txt", "kept");
    world.mapDrive("C", world.temp.path("c"));
    EXPECT_NO_THROW(world.tools.CreateAnyFolder("C:\\Scans"));
    EXPECT_NO_THROW(world.tools.CreateAnyFolder("C:"));
    EXPECT_NO_THROW(world.tools.CreateAnyFolder("C:\\"));
    EXPECT_EQ(world.temp.read("c/Scans/keep.txt"), "kept");
}

TEST(CreateAnyFolderTest, FailuresAre76AndCreateNothing) {
    TestWorld world;
    world.mapDrive("C", world.temp.path("gone")); // mapped, but the host folder is missing
    const struct {
        const char* folder;
        const char* mentions;
    } cases[] = {
        {"", "Path not found"},
        {"D:\\Scans\\B1", "drive D: is not mapped"},
        {"d:", "drive D: is not mapped"},
        {"\\\\nosrv\\noshare\\B1", "is not mapped"},
        {"C:\\Scans\\B1", "Path not found"},
        {"C:", "Path not found"},
    };
    for (const auto& c : cases) {
        try {
            world.tools.CreateAnyFolder(c.folder);
            ADD_FAILURE() << "no error for \"" << c.folder << "\"";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::PathNotFound) << c.folder;
            EXPECT_NE(e.description().find(c.mentions), std::string::npos)
                << c.folder << ": " << e.description();
        }
    }
    // Neither the mapped host folder nor a folder named after the drive was made.
    EXPECT_FALSE(IsFolder(world.temp.path("gone")));
    EXPECT_NE(::access("D:", F_OK), 0);
    EXPECT_NE(::access("D:\\Scans", F_OK), 0);
}

TEST(CreateAnyFolderTest, FileInTheWayIsAnErrorAndStays) {
    TestWorld world;
    world.temp.write("c/Scans", "a file");
    world.mapDrive("C", world.temp.path("c"));
    EXPECT_THROW(world.tools.CreateAnyFolder("C:\\Scans\\B1"), Error);
    EXPECT_EQ(world.temp.read("c/Scans"), "a file");
}

// --- L0Pad -------------------------------------------------------------------------------

TEST(L0PadTest, Table) {
    const struct {
        std::int32_t number;
        std::int16_t width;
        const char* expected;
    } cases[] = {
        {0, 4, "0000"},
        {1, 4, "0001"},
        {12, 4, "0012"},
        {1234, 4, "1234"},
        {12345, 4, "12345"}, // never cut
        {3, 10, "0000000003"},
        {42, 1, "42"},
        {5, 0, "5"},
        {5, -3, "5"},
        {-5, 4, "-005"}, // the sign counts toward the width
        {-12345, 4, "-12345"},
        {INT32_MAX, 4, "2147483647"},
        {INT32_MIN, 4, "-2147483648"},
        {INT32_MIN, 12, "-02147483648"},
    };
    TestWorld world;
    for (const auto& c : cases)
        EXPECT_EQ(world.tools.L0Pad(c.number, c.width), c.expected)
            << c.number << " width " << c.width;
}

// --- LMGetStringSetting --------------------------------------------------------------------

TEST(LMGetStringSettingTest, ReadsTheMachineFileOrGivesTheDefault) {
    test::TempFolder first;
    test::TempFolder second;
    second.write("Brackenfold.conf", "[DefaultFolders]\nConfig=/srv/jobs\nOther=x\n");
    first.write("Brackenfold.conf", "[DefaultFolders]\nOther=first wins\n");
    ScopedEnvironment dirs("XDG_CONFIG_DIRS", first.path() + ":relative/ignored:" + second.path());

    TestWorld world;
    QtSettingsStore machine;
    StandardFileTools tools(world.files, machine);
    const struct {
        const char* application;
        const char* section;
        const char* key;
        const char* defaultValue;
        const char* expected;
    } cases[] = {
        {"Brackenfold", "DefaultFolders", "Config", "", "/srv/jobs"},
        {"Brackenfold", "DefaultFolders", "Other", "", "first wins"},
        {"Brackenfold", "DefaultFolders", "Missing", "fallback", "fallback"},
        {"Brackenfold", "OtherSection", "Config", "", ""},
        {"NoSuchApplication", "DefaultFolders", "Config", "dflt", "dflt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tools.LMGetStringSetting(c.application, c.section, c.key, c.defaultValue),
                  c.expected)
            << c.application << "/" << c.section << "/" << c.key;
}

TEST(LMGetStringSettingTest, ReadsTheMachineScopeNotTheUserScope) {
    TestWorld world;
    world.store.write(SettingsScope::User, "Brackenfold", "DefaultFolders", "Config", "user");
    EXPECT_EQ(world.tools.LMGetStringSetting("Brackenfold", "DefaultFolders", "Config", "d"), "d");
    world.store.write(SettingsScope::Machine, "Brackenfold", "DefaultFolders", "Config", "m");
    EXPECT_EQ(world.tools.LMGetStringSetting("Brackenfold", "DefaultFolders", "Config", "d"), "m");
}

// --- StartDoc ----------------------------------------------------------------------------

// A stand-in for xdg-open first on PATH: it records its argument in "started", then waits for
// "release" before it records "done", so a caller that waited for it would hang.
class StartDocTest : public ::testing::Test {
protected:
    void SetUp() override {
        world.temp.write("bin/xdg-open",
                         "#!/bin/sh\n"
                         "printf '%s' \"$1\" > \"$QM_MARKERS/started.tmp\"\n"
                         "mv \"$QM_MARKERS/started.tmp\" \"$QM_MARKERS/started\"\n"
                         "i=0\n"
                         "while [ ! -e \"$QM_MARKERS/release\" ] && [ $i -lt 400 ]; do\n"
                         "  sleep 0.05; i=$((i+1))\n"
                         "done\n"
                         "printf '%s' \"$1\" > \"$QM_MARKERS/done\"\n");
        ASSERT_EQ(::chmod(world.temp.path("bin/xdg-open").c_str(), 0755), 0);
        world.temp.write("markers/.keep", "");
        const char* oldPath = std::getenv("PATH");
        path.emplace("PATH", world.temp.path("bin") + ":" + (oldPath ? oldPath : "/usr/bin:/bin"));
        markers.emplace("QM_MARKERS", world.temp.path("markers"));
    }

    void TearDown() override {
        // Let a started stand-in end before its folder goes.
        if (::access(marker("started").c_str(), F_OK) == 0) {
            world.temp.write("markers/release", "");
            WaitForFile(marker("done"));
        }
    }

    std::string marker(const char* name) const { return world.temp.path("markers/") + name; }

    TestWorld world;
    std::optional<ScopedEnvironment> path;
    std::optional<ScopedEnvironment> markers;
};

TEST_F(StartDocTest, ReturnsWithoutWaitingAndPassesTheHostPath) {
    world.temp.write("c/docs/QMManual.pdf", "%PDF");
    world.mapDrive("C", world.temp.path("c"));

    world.tools.StartDoc("C:\\docs\\QMManual.pdf");

    // The handler is still running (it waits for "release"), yet the call has returned.
    EXPECT_NE(::access(marker("done").c_str(), F_OK), 0);
    ASSERT_TRUE(WaitForFile(marker("started")));
    EXPECT_EQ(world.temp.read("markers/started"), world.temp.path("c") + "/docs/QMManual.pdf");
    EXPECT_NE(::access(marker("done").c_str(), F_OK), 0);
    world.temp.write("markers/release", "");
    EXPECT_TRUE(WaitForFile(marker("done")));
}

TEST_F(StartDocTest, HandsOverAddressesAndOddNamesIntact) {
    world.temp.write("with blank/it's here.pdf", "x");
    world.temp.write("-manual.pdf", "x");
    const std::string cwd = std::filesystem::current_path();
    const struct {
        std::string document;
        std::string expected;
    } cases[] = {
        {"https://www.example.com/a?b=c&d=e f", "https://www.example.com/a?b=c&d=e f"},
        {"mailto:someone@example.com", "mailto:someone@example.com"},
        {world.temp.path("with blank/it's here.pdf"), world.temp.path("with blank/it's here.pdf")},
        // A name that starts with "-" must not read as an option of the handler.
        {"-manual.pdf", "./-manual.pdf"},
    };
    ASSERT_EQ(::chdir(world.temp.path().c_str()), 0);
    for (const auto& c : cases) {
        ::unlink(marker("started").c_str());
        ::unlink(marker("done").c_str());
        ::unlink(marker("release").c_str());
        world.tools.StartDoc(c.document);
        ASSERT_TRUE(WaitForFile(marker("started"))) << c.document;
        EXPECT_EQ(world.temp.read("markers/started"), c.expected);
        world.temp.write("markers/release", "");
        ASSERT_TRUE(WaitForFile(marker("done"))) << c.document;
    }
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

TEST_F(StartDocTest, MissingDocumentIs53NamingIt) {
    const std::string missing = world.temp.path("no such.pdf");
    for (const std::string& document : {missing, std::string("Z:\\unmapped\\a.pdf")}) {
        try {
            world.tools.StartDoc(document);
            ADD_FAILURE() << "no error for " << document;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::FileNotFound);
            EXPECT_NE(e.description().find(document), std::string::npos) << e.description();
        }
    }
    EXPECT_NE(::access(marker("started").c_str(), F_OK), 0);
}

TEST_F(StartDocTest, NoHandlerOnPathIs75NamingTheDocument) {
    world.temp.write("doc.pdf", "x");
    world.temp.write("emptybin/.keep", "");
    ScopedEnvironment onlyEmpty("PATH", world.temp.path("emptybin"));
    try {
        world.tools.StartDoc(world.temp.path("doc.pdf"));
        ADD_FAILURE() << "no error without xdg-open";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::PathFileAccessError);
        EXPECT_NE(e.description().find(world.temp.path("doc.pdf")), std::string::npos);
        EXPECT_NE(e.description().find("xdg-open"), std::string::npos) << e.description();
    }
}

// The finished handler must not stay behind as a zombie of this process.
TEST_F(StartDocTest, FinishedHandlerIsReaped) {
    world.temp.write("markers/release", "");
    world.temp.write("doc.pdf", "x");
    world.tools.StartDoc(world.temp.path("doc.pdf"));
    ASSERT_TRUE(WaitForFile(marker("done")));

    const auto zombieChildren = [] {
        int count = 0;
        DIR* proc = ::opendir("/proc");
        if (!proc)
            return -1;
        while (const dirent* entry = ::readdir(proc)) {
            std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
            std::string line;
            if (!std::getline(stat, line))
                continue;
            // pid (comm) state ppid ...
            const auto close = line.rfind(')');
            if (close == std::string::npos || close + 4 > line.size())
                continue;
            char state = 0;
            long ppid = 0;
            if (std::sscanf(line.c_str() + close + 2, "%c %ld", &state, &ppid) == 2 &&
                ppid == ::getpid() && state == 'Z')
                ++count;
        }
        ::closedir(proc);
        return count;
    };
    int zombies = -1;
    for (int i = 0; i < 200 && zombies != 0; ++i) {
        zombies = zombieChildren();
        if (zombies != 0)
            ::usleep(20000);
    }
    EXPECT_EQ(zombies, 0);
}

} // namespace
} // namespace qm

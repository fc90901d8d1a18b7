#include "platform/PathMap.h"

#include "platform/Error.h"
#include "support/Doubles.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

class PathMapTest : public ::testing::Test {
protected:
    PathMapTest() {
        map("Drives", "C", "/mnt/c");
        map("Drives", "D", "/srv/d/");
        map("Drives", "R", "/");
        map("Shares", "server/share", "/mnt/share");
    }
    void map(const std::string& section, const std::string& key, const std::string& folder) {
        store.write(SettingsScope::User, "Quillmarch", section, key, folder);
    }

    test::MemorySettingsStore store;
    PathMap paths{store};
};

struct MappingCase {
    const char* path;
    const char* host;
};

TEST_F(PathMapTest, MapsDrivesSharesAndSeparators) {
    const MappingCase cases[] = {
        {"C:\\Scans\\a.tif", "/mnt/c/Scans/a.tif"},
        {"c:\\Scans\\a.tif", "/mnt/c/Scans/a.tif"},
        {"C:/Scans/a.tif", "/mnt/c/Scans/a.tif"},
        {"C:x", "/mnt/c/x"},
        {"C:x\\y", "/mnt/c/x/y"},
        {"C:", "/mnt/c"},
        {"C:\\", "/mnt/c/"},
        {"D:\\x", "/srv/d/x"},
        {"d:x", "/srv/d/x"},
        {"R:\\x", "/x"},
        {"R:x", "/x"},
        {"\\\\server\\share\\in\\a.csv", "/mnt/share/in/a.csv"},
        {"//server/share/in/a.csv", "/mnt/share/in/a.csv"},
        {"\\\\SERVER\\Share\\in\\a.csv", "/mnt/share/in/a.csv"},
        {"\\/server\\share/in", "/mnt/share/in"},
        {"\\\\server\\share", "/mnt/share"},
        {"\\\\server\\share\\", "/mnt/share/"},
        {"in\\a.csv", "in/a.csv"},
        {"in/a.csv", "in/a.csv"},
        {"/tmp/x\\y", "/tmp/x/y"},
        {"\\x", "/x"},
        {"a:b", "/mnt/a/b"},
        {"", ""},
    };
    map("Drives", "A", "/mnt/a");
    for (const auto& c : cases)
        EXPECT_EQ(paths.toHost(c.path), c.host) << "path \"" << c.path << "\"";
}

struct UnmappedCase {
    const char* path;
    const char* detail;
};

TEST_F(PathMapTest, AnUnmappedDriveOrShareIsError76NamingPathAndDrive) {
    map("Drives", "E", "");
    const UnmappedCase cases[] = {
        {"F:\\Scans\\a.tif", "drive F: is not mapped"},
        {"f:\\Scans\\a.tif", "drive F: is not mapped"},
        {"E:\\a", "drive E: is not mapped"},
        {"\\\\other\\share\\a.csv", "share \\\\other\\share is not mapped"},
        {"//server/other/a.csv", "share //server/other is not mapped"},
        {"\\\\server", "share \\\\server is not mapped"},
        {"\\\\\\share\\a", "share \\\\\\share is not mapped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            paths.toHost(c.path);
            ADD_FAILURE() << "no error raised";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), errnum::PathNotFound);
            const std::string description = error.description();
            EXPECT_NE(description.find(c.detail), std::string::npos) << description;
            EXPECT_TRUE(description.ends_with(std::string(": ") + c.path)) << description;
        }
    }
}

TEST_F(PathMapTest, ReadsTheStoreOnEveryCall) {
    EXPECT_EQ(paths.toHost("C:\\a"), "/mnt/c/a");
    map("Drives", "C", "/elsewhere");
    EXPECT_EQ(paths.toHost("C:\\a"), "/elsewhere/a");
}

} // namespace
} // namespace qm

#include "platform/PathParts.h"

#include "platform/PathMap.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

struct PartsCase {
    const char* path;
    const char* folder;
    const char* name;
    const char* extension;
    bool full;
};

// Folder, name and extension of each path, and whether it is full.
const PartsCase kParts[] = {
    // Drives, both separators, either letter case.
    {"C:\\Scans\\a.csv", "C:\\Scans", "a.csv", "csv", true},
    {"C:/Scans/a.csv", "C:/Scans", "a.csv", "csv", true},
    {"c:\\a.csv", "c:", "a.csv", "csv", true},
    {"C:\\Scans/B1\\0001.tif", "C:\\Scans/B1", "0001.tif", "tif", true},
    // A drive without a separator is the drive's folder, not a full path.
    {"C:a.csv", "C:", "a.csv", "csv", false},
    {"C:", "C:", "", "", false},
    {"C:\\", "C:", "", "", true},
    {"1:\\x", "1:", "x", "", false},
    // Shares.
    {"\\\\srv\\share\\a.csv", "\\\\srv\\share", "a.csv", "csv", true},
    {"//srv/share/in/a.csv", "//srv/share/in", "a.csv", "csv", true},
    {"\\\\srv", "", "srv", "", true},
    // No separator, relative folders.
    {"a.csv", "", "a.csv", "csv", false},
    {"in\\a.csv", "in", "a.csv", "csv", false},
    {"in/sub\\a.csv", "in/sub", "a.csv", "csv", false},
    {"", "", "", "", false},
    // POSIX paths; a name directly below the root has no folder text.
    {"/srv/in/a.csv", "/srv/in", "a.csv", "csv", true},
    {"/a.csv", "", "a.csv", "csv", true},
    {"\\a.csv", "", "a.csv", "csv", false},
    {"\\Scans\\a.csv", "\\Scans", "a.csv", "csv", false},
    // Dotted folders do not lend their dot to a name without one.
    {"C:\\my.dir\\file", "C:\\my.dir", "file", "", true},
    {"my.dir/file", "my.dir", "file", "", false},
    {"C:\\my.dir\\file.tar.gz", "C:\\my.dir", "file.tar.gz", "gz", true},
    {".hidden", "", ".hidden", "hidden", false},
    {"name.", "", "name.", "", false},
    // Wildcards: ".*" gives the extension "*".
    {"C:\\In\\*.*", "C:\\In", "*.*", "*", true},
    {"C:\\In\\batch*.csv", "C:\\In", "batch*.csv", "csv", true},
    {"in/x.*", "in", "x.*", "*", false},
    // Closing and doubled separators never end the folder part.
    {"C:\\In\\", "C:\\In", "", "", true},
    {"C:\\In\\\\a.csv", "C:\\In", "a.csv", "csv", true},
    {"/srv//in///a.csv", "/srv//in", "a.csv", "csv", true},
};

TEST(PathPartsTest, FolderNameExtensionAndFullness) {
    for (const PartsCase& c : kParts) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetFPath(c.path), c.folder);
        EXPECT_EQ(GetFName(c.path), c.name);
        EXPECT_EQ(GetFExt(c.path), c.extension);
        EXPECT_EQ(IsFullPath(c.path), c.full);
    }
}

TEST(PathPartsTest, BaseHoldsTheExtensionsDotSoCuttingGivesTheStem) {
    const struct {
        const char* path;
        const char* stem;
    } cases[] = {
        {"C:\\Out\\output.bif", "output"},
        {"C:\\Out\\batch.2026.bif", "batch.2026"},
        {"/srv/out/.bif", ""},
        {"C:\\my.dir\\output.bif", "output"},
    };
    for (const auto& c : cases) {
        const std::string base = GetFBase(c.path);
        const auto dot = base.rfind('.');
        ASSERT_NE(dot, std::string::npos) << c.path;
        EXPECT_EQ(base.substr(0, dot), c.stem) << c.path;
        EXPECT_EQ(base.substr(dot + 1), GetFExt(c.path)) << c.path;
    }
}

TEST(PathPartsTest, RootLengthCoversDriveShareAndRoot) {
    const struct {
        const char* path;
        std::size_t length;
    } cases[] = {
        {"C:\\Scans", 2},    {"C:Scans", 2}, {"\\\\srv\\share\\B1", 11},
        {"//srv/share", 11}, {"\\\\srv", 5}, {"/srv/in", 1},
        {"\\Scans", 1},      {"in/out", 0},  {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RootLength(c.path), c.length) << c.path;
}

// Callers name a file as its folder part, "\" and its name; once mapped to the host that must
// be the file the whole path names.
TEST(PathPartsTest, FolderBackslashNameIsTheSameFileOnTheHost) {
    test::MemorySettingsStore store;
    store.write(SettingsScope::User, "Quillmarch", "Drives", "C", "/mnt/c");
    store.write(SettingsScope::User, "Quillmarch", "Shares", "srv/share", "/mnt/share");
    const PathMap map(store);
    const auto normal = [](std::string path) {
        std::string out;
        for (char c : path) {
            if (!(c == '/' && !out.empty() && out.back() == '/'))
                out += c;
        }
        return out;
    };
    const char* paths[] = {
        "C:\\Scans\\a.csv",
        "C:/a.csv",
        "C:a.csv",
        "C:\\In\\\\a.csv",
        "\\\\srv\\share\\a.csv",
        "//srv/share/in/b.tif",
        "/srv/in/a.csv",
        "/a.csv",
        "\\a.csv",
        "in\\a.csv",
        "in/sub\\a.csv",
        "/srv//in///a.csv",
    };
    for (const char* path : paths) {
        const std::string joined = GetFPath(path) + "\\" + GetFName(path);
        EXPECT_EQ(normal(map.toHost(joined)), normal(map.toHost(path)))
            << path << " joined as " << joined;
    }
}

} // namespace
} // namespace qm

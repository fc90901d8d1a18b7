#include "platform/posix/QtSettingsStore.h"

#include "platform/Error.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

using test::ScopedEnvironment;
using test::TempFolder;

class QtSettingsStoreTest : public ::testing::Test {
protected:
    TempFolder user;
    TempFolder machine;
    ScopedEnvironment configHome{"XDG_CONFIG_HOME", user.path()};
    ScopedEnvironment configDirs{"XDG_CONFIG_DIRS", machine.path()};
};

TEST_F(QtSettingsStoreTest, ValuesComeBackByteForByteInANewStore) {
    const struct {
        const char* name;
        std::string value;
    } cases[] = {
        {"twips", "1440"},
        {"empty", ""},
        {"drive", "C:\\Scans\\B1"},
        {"blanks", "  /srv/a b  "},
        {"comma", "a, b,c"},
        {"ini", "a=b;c#d [x] \"q\" %41"},
        {"lines", "one\ntwo\r\nthree"},
        {"utf8", "/srv/caf\xC3\xA9"},
        {"latin1", "caf\xE9 \xFF\x80"},
        {"nul", std::string("a\0b", 3)},
    };
    {
        QtSettingsStore store;
        for (const auto& c : cases)
            store.write(SettingsScope::User, "Quillmarch", "Values", c.name, c.value);
    }
    QtSettingsStore fresh;
    for (const auto& c : cases) {
        const auto value = fresh.read(SettingsScope::User, "Quillmarch", "Values", c.name);
        ASSERT_TRUE(value.has_value()) << c.name;
        EXPECT_EQ(*value, c.value) << c.name;
    }
}

TEST_F(QtSettingsStoreTest, FilesLiveWhereTheDesktopLooks) {
    QtSettingsStore store;
    store.write(SettingsScope::User, "Quillmarch", "Window", "left", "1440");
    store.write(SettingsScope::Machine, "Brackenfold", "DefaultFolders", "Config", "/srv/jobs");
    const std::string userFile = user.read("Quillmarch.conf");
    EXPECT_NE(userFile.find("[Window]"), std::string::npos) << userFile;
    EXPECT_NE(userFile.find("left=1440"), std::string::npos) << userFile;
    const std::string machineFile = machine.read("Brackenfold.conf");
    EXPECT_NE(machineFile.find("[DefaultFolders]"), std::string::npos) << machineFile;
    EXPECT_NE(machineFile.find("Config=/srv/jobs"), std::string::npos) << machineFile;
}

TEST_F(QtSettingsStoreTest, HandWrittenFilesAreRead) {
    // As an administrator writes them: UTF-8 text, a comma, a nested key, no quotes.
    machine.write("Brackenfold.conf", "[DefaultFolders]\n"
                                      "Config=/srv/caf\xC3\xA9/jobs\n"
                                      "List=/srv/a, b\n"
                                      "[Shares]\n"
                                      "srv\\scans=/mnt/scans\n");
    QtSettingsStore store;
    EXPECT_EQ(store.read(SettingsScope::Machine, "Brackenfold", "DefaultFolders", "Config"),
              "/srv/caf\xC3\xA9/jobs");
    EXPECT_EQ(store.read(SettingsScope::Machine, "Brackenfold", "DefaultFolders", "List"),
              "/srv/a, b");
    EXPECT_EQ(store.read(SettingsScope::Machine, "Brackenfold", "Shares", "srv/scans"),
              "/mnt/scans");
}

TEST_F(QtSettingsStoreTest, MissingIsNothingAndEmptyIsEmpty) {
    QtSettingsStore store;
    EXPECT_EQ(store.read(SettingsScope::User, "Quillmarch", "Window", "left"), std::nullopt);
    store.write(SettingsScope::User, "Quillmarch", "Window", "left", "");
    EXPECT_EQ(store.read(SettingsScope::User, "Quillmarch", "Window", "left"), "");
    EXPECT_EQ(store.read(SettingsScope::User, "Quillmarch", "Window", "top"), std::nullopt);
}

TEST_F(QtSettingsStoreTest, ScopesApplicationsSectionsAndNestedKeysAreApart) {
    QtSettingsStore store;
    store.write(SettingsScope::User, "Quillmarch", "Shares", "srv/scans", "/mnt/a");
    store.write(SettingsScope::User, "Quillmarch", "Shares", "srv/other", "/mnt/b");
    store.write(SettingsScope::User, "Quillmarch", "Drives", "C", "/mnt/c");
    store.write(SettingsScope::User, "Other", "Drives", "C", "/mnt/other");
    store.write(SettingsScope::Machine, "Quillmarch", "Drives", "C", "/mnt/machine");
    const struct {
        SettingsScope scope;
        const char* application;
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    } cases[] = {
        {SettingsScope::User, "Quillmarch", "Shares", "srv/scans", "/mnt/a"},
        {SettingsScope::User, "Quillmarch", "Shares", "srv/other", "/mnt/b"},
        {SettingsScope::User, "Quillmarch", "Shares", "srv", std::nullopt},
        {SettingsScope::User, "Quillmarch", "Drives", "C", "/mnt/c"},
        {SettingsScope::User, "Quillmarch", "Drives", "c", std::nullopt},
        {SettingsScope::User, "Other", "Drives", "C", "/mnt/other"},
        {SettingsScope::Machine, "Quillmarch", "Drives", "C", "/mnt/machine"},
        {SettingsScope::Machine, "Quillmarch", "Shares", "srv/scans", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(store.read(c.scope, c.application, c.section, c.key), c.expected)
            << c.application << "/" << c.section << "/" << c.key;
}

TEST_F(QtSettingsStoreTest, AChangedConfigFolderApplies) {
    QtSettingsStore store;
    store.write(SettingsScope::User, "Quillmarch", "Window", "left", "1");
    TempFolder other;
    other.write("Quillmarch.conf", "[Window]\nleft=2\n");
    {
        ScopedEnvironment elsewhere("XDG_CONFIG_HOME", other.path());
        EXPECT_EQ(store.read(SettingsScope::User, "Quillmarch", "Window", "left"), "2");
    }
    EXPECT_EQ(store.read(SettingsScope::User, "Quillmarch", "Window", "left"), "1");
}

TEST_F(QtSettingsStoreTest, UnwritableFolderRaisesNamingTheFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    ASSERT_EQ(::chmod(user.path().c_str(), 0555), 0);
    QtSettingsStore store;
    try {
        store.write(SettingsScope::User, "Quillmarch", "Window", "left", "1");
        ADD_FAILURE() << "no error for a read-only folder";
    } catch (const Error& e) {
        EXPECT_TRUE(e.number() == errnum::PermissionDenied ||
                    e.number() == errnum::PathFileAccessError)
            << e.number();
        EXPECT_NE(e.description().find(user.path("Quillmarch.conf")), std::string::npos)
            << e.description();
    }
    ::chmod(user.path().c_str(), 0755);
    // Once the folder can be written again, so can the setting.
    EXPECT_NO_THROW(store.write(SettingsScope::User, "Quillmarch", "Window", "left", "2"));
    EXPECT_EQ(QtSettingsStore().read(SettingsScope::User, "Quillmarch", "Window", "left"), "2");
}

} // namespace
} // namespace qm

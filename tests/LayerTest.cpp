#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The header an include line names, or nothing for any other line.
std::optional<std::string> IncludedHeader(const std::string& line) {
    static const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
    std::smatch match;
    if (!std::regex_search(line, match, include))
        return std::nullopt;
    return match[1].str();
}

// Why a core file may not include `header`, or "" when it may.
std::string Forbidden(const std::string& header) {
    if (!header.empty() && header[0] == 'Q')
        return "a Qt header";
    static const char* const system[] = {"unistd.h",  "fcntl.h", "syslog.h", "dirent.h",
                                         "windows.h", "spawn.h", "pwd.h",    "grp.h",
                                         "pthread.h", "poll.h",  "termios.h"};
    for (const char* name : system) {
        if (header == name)
            return "an operating system header";
    }
    for (const char* prefix : {"sys/", "netinet/", "arpa/", "linux/", "systemd/"}) {
        if (header.rfind(prefix, 0) == 0)
            return "an operating system header";
    }
    return {};
}

TEST(LayerTest, DetectsForbiddenIncludes) {
    const struct {
        const char* line;
        bool forbidden;
    } cases[] = {
        {"#include <QString>", true},
        {"#include <QtCore/QSettings>", true},
        {"#  include <unistd.h>", true},
        {"  #include \"fcntl.h\"", true},
        {"#include <sys/stat.h>", true},
        {"#include <syslog.h>", true},
        {"#include <dirent.h>", true},
        {"#include <windows.h>", true},
        {"#include <spawn.h>", true},
        {"#include <queue>", false},
        {"#include <string>", false},
        {"#include \"platform/FileSystem.h\"", false},
        {"#include \"settings/JobSettings.h\"", false},
        {"// #include <unistd.h>", false},
        {"std::string s = \"#include <QString>\";", false},
    };
    for (const auto& c : cases) {
        const auto header = IncludedHeader(c.line);
        EXPECT_EQ(header && !Forbidden(*header).empty(), c.forbidden) << c.line;
    }
}

// The core uses standard C++ only: the machine is reached through the platform interfaces.
TEST(LayerTest, CoreIncludesNoQtAndNoSystemHeaders) {
    const std::filesystem::path source = QM_SOURCE_DIR;
    int files = 0;
    for (const char* folder : {"settings", "convert", "startup", "service"}) {
        const auto root = source / folder;
        if (!std::filesystem::exists(root))
            continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            const auto extension = entry.path().extension();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
                continue;
            ++files;
            std::ifstream in(entry.path());
            std::string line;
            int number = 0;
            while (std::getline(in, line)) {
                ++number;
                const auto header = IncludedHeader(line);
                if (!header)
                    continue;
                const std::string why = Forbidden(*header);
                EXPECT_TRUE(why.empty()) << entry.path().string() << ":" << number << " includes "
                                         << why << ": <" << *header << ">";
            }
        }
    }
    EXPECT_GT(files, 0) << "no core sources found under " << source;
}

} // namespace

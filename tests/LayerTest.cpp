#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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
    for (const char* folder : {"operation", "settings", "convert", "check", "startup", "service"}) {
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

// The layers from the bottom up; a file may include its own layer and those below it.
constexpr const char* Layers[] = {"platform", "operation", "settings", "convert",
                                  "check",    "service",   "startup",  "ui"};

int LayerOf(const std::string& folder) {
    const auto found = std::find(std::begin(Layers), std::end(Layers), folder);
    return found == std::end(Layers) ? -1 : static_cast<int>(found - std::begin(Layers));
}

// Calls `visit(file, lineNumber, header)` for every include line of the sources under src.
void ForEachInclude(
    const std::function<void(const std::filesystem::path&, int, const std::string&)>& visit) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(QM_SOURCE_DIR)) {
        const auto extension = entry.path().extension();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
            continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            if (const auto header = IncludedHeader(line))
                visit(entry.path(), number, *header);
        }
    }
}

// No include runs from a lower layer up to a higher one.
TEST(LayerTest, IncludesRunDownwardOnly) {
    const std::filesystem::path source = QM_SOURCE_DIR;
    int checked = 0;
    ForEachInclude([&](const std::filesystem::path& file, int number, const std::string& header) {
        const auto relative = std::filesystem::relative(file, source);
        const int from = LayerOf(relative.begin()->string());
        const auto slash = header.find('/');
        const int to = slash == std::string::npos ? -1 : LayerOf(header.substr(0, slash));
        if (from < 0 || to < 0)
            return;
        ++checked;
        EXPECT_LE(to, from) << relative.string() << ":" << number << " includes " << header
                            << " from a higher layer";
    });
    EXPECT_GT(checked, 50);
}

// Qt Widgets (and Qt GUI) are seen by the window's folder only.
TEST(LayerTest, OnlyTheWindowSeesQtWidgets) {
    const std::filesystem::path source = QM_SOURCE_DIR;
    ForEachInclude([&](const std::filesystem::path& file, int number, const std::string& header) {
        const auto relative = std::filesystem::relative(file, source);
        if (relative.begin()->string() == "ui" || relative.string() == "main.cpp")
            return;
        const bool widgets = header.rfind("QtWidgets", 0) == 0 || header.rfind("QtGui", 0) == 0 ||
                             header == "QWidget" || header == "QApplication" ||
                             header == "QMainWindow" || header == "QMessageBox" ||
                             header == "QGuiApplication";
        EXPECT_FALSE(widgets) << relative.string() << ":" << number << " includes " << header;
    });
}

} // namespace

#include "platform/posix/DebugLogLocation.h"

#include "platform/posix/ProgramFolders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qm {

namespace {

const char* const LogName = "debug-QM.log";

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

} // namespace

std::string StateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // Relative values are to be ignored by the XDG rules.
    if (state && state[0] == '/')
        return state;
    std::string home = HomeFolder();
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home + "/.local/state";
}

namespace {

// mkdir -p with owner-only permissions for what it creates.
void CreateFolders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos == folder.size() || folder[pos] == '/') {
            const std::string level = folder.substr(0, pos);
            if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
                return;
        }
    }
}

} // namespace

std::string DebugLogLocation(const std::string& executableFolder) {
    if (!executableFolder.empty() && InstalledDataFolder(executableFolder).empty() &&
        access(executableFolder.c_str(), W_OK | X_OK) == 0)
        return executableFolder + "/" + LogName;
    const std::string folder = StateFolder() + "/quillmarch";
    CreateFolders(folder);
    return folder + "/" + LogName;
}

std::string ExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableFolder() {
    const std::string path = ExecutablePath();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace qm

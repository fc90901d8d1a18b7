#include "platform/posix/DebugLogLocation.h"

#include "platform/Error.h"
#include "platform/posix/HostFolders.h"
#include "platform/posix/ProgramFolders.h"

#include <cstdlib>
#include <pwd.h>
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

std::string DebugLogLocation(const std::string& executableFolder) {
    if (!executableFolder.empty() && InstalledDataFolder(executableFolder).empty() &&
        access(executableFolder.c_str(), W_OK | X_OK) == 0)
        return executableFolder + "/" + LogName;
    const std::string folder = StateFolder() + "/quillmarch";
    try {
        CreateHostFolders(folder, 0700);
    } catch (const Error&) {
        // The log then cannot be opened there; that is reported where it is written.
    }
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

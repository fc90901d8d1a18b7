#include "platform/posix/StandardFileTools.h"

#include "platform/AsciiCase.h"
#include "platform/Error.h"
#include "platform/PathParts.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace qm {

namespace {

// "http://x", "mailto:a@b", "file:///x": a scheme of two or more characters and a ":", so a
// drive letter ("C:\x") is never taken for one.
bool IsWebAddress(const std::string& document) {
    const std::size_t colon = document.find(':');
    if (colon == std::string::npos || colon < 2)
        return false;
    if (!IsAsciiLetter(document[0]))
        return false;
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = document[i];
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

// Frees the started handler's process entry once it ends, so no zombie is left for the life
// of a long-running window or service. The waiting thread takes no signals meant for the
// program's own threads.
void ReapInBackground(pid_t pid) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the entry stays until the program ends; the document still opens.
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// How long a start waits for the handler's verdict. xdg-open ends at once with a status
// other than 0 when no application opens the document; one that opened it either ends with 0
// or (without a desktop environment) stays until its viewer is closed.
constexpr auto HandlerVerdictWait = std::chrono::milliseconds(1500);

// The handler's exit status when it ended within HandlerVerdictWait, else nothing (it is
// still running and is reaped when it ends).
std::optional<int> HandlerStatus(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + HandlerVerdictWait;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR)
            return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline) {
            ReapInBackground(pid);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Starts `program argument` found on PATH, without a shell: stdin from /dev/null, a session of
// its own (a Ctrl+C at the program's terminal does not close the document), default signal
// handling and an empty signal mask. Returns 0 or the errno of the failed start; the
// handler's status goes to `status` when it ended within HandlerVerdictWait.
int SpawnDetached(const char* program, const std::string& argument, std::optional<int>& status) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (int rc = posix_spawn_file_actions_init(&actions))
        return rc;
    if (int rc = posix_spawnattr_init(&attributes)) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGCHLD,
                    SIGTSTP, SIGTTIN, SIGTTOU})
        sigaddset(&defaults, sig);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    flags |= POSIX_SPAWN_SETSID;
#endif
    int rc = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0)
        rc = posix_spawnattr_setflags(&attributes, flags);
    if (rc == 0)
        rc = posix_spawnattr_setsigmask(&attributes, &none);
    if (rc == 0)
        rc = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (rc == 0) {
        std::vector<char> name(program, program + std::strlen(program) + 1);
        std::vector<char> arg(argument.c_str(), argument.c_str() + argument.size() + 1);
        char* argv[] = {name.data(), arg.data(), nullptr};
        pid_t pid = 0;
        rc = posix_spawnp(&pid, program, &actions, &attributes, argv, environ);
        if (rc == 0)
            status = HandlerStatus(pid);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

} // namespace

StandardFileTools::StandardFileTools(FileSystem& files, SettingsStore& store)
    : files_(files), store_(store), map_(store) {}

std::string StandardFileTools::GetFPath(const std::string& path) {
    return qm::GetFPath(path);
}

std::string StandardFileTools::GetFName(const std::string& path) {
    return qm::GetFName(path);
}

std::string StandardFileTools::GetFBase(const std::string& path) {
    return qm::GetFBase(path);
}

std::string StandardFileTools::GetFExt(const std::string& path) {
    return qm::GetFExt(path);
}

bool StandardFileTools::IsFullPath(const std::string& path) {
    return qm::IsFullPath(path);
}

void StandardFileTools::CreateAnyFolder(const std::string& folder) {
    if (folder.empty())
        throw PathError(errnum::PathNotFound, folder);

    // Every level below the root, as the caller wrote it: "C:\Scans\B1" gives "C:\Scans" and
    // "C:\Scans\B1". The root (drive, share, "/") is the host's business and never created.
    std::vector<std::string> levels;
    const std::size_t root = RootLength(folder);
    std::size_t pos = root;
    while (pos < folder.size()) {
        while (pos < folder.size() && IsPathSeparator(folder[pos]))
            ++pos;
        if (pos == folder.size())
            break;
        while (pos < folder.size() && !IsPathSeparator(folder[pos]))
            ++pos;
        levels.push_back(folder.substr(0, pos));
    }

    if (levels.empty()) {
        if (files_.folderExists(folder))
            return;
        map_.toHost(folder); // an unmapped drive or share says so
        throw PathError(errnum::PathNotFound, folder);
    }

    for (const std::string& level : levels) {
        if (files_.folderExists(level))
            continue;
        try {
            files_.createFolder(level);
        } catch (const Error& e) {
            // Someone else may have created it since the test; only a folder will do.
            if (e.number() != errnum::FileAlreadyExists || !files_.folderExists(level))
                throw;
        }
    }
}

std::string StandardFileTools::L0Pad(std::int32_t number, std::int16_t width) {
    const bool negative = number < 0;
    // Through 64 bits so the most negative number has a magnitude.
    std::string digits = std::to_string(negative ? -static_cast<std::int64_t>(number)
                                                 : static_cast<std::int64_t>(number));
    const std::size_t wanted = width > 0 ? static_cast<std::size_t>(width) : 0;
    const std::size_t used = digits.size() + (negative ? 1 : 0);
    if (used < wanted)
        digits.insert(0, wanted - used, '0');
    return negative ? "-" + digits : digits;
}

void StandardFileTools::StartDoc(const std::string& document) {
    std::string target = document;
    if (!IsWebAddress(document)) {
        if (document.empty() || (!files_.fileExists(document) && !files_.folderExists(document)))
            throw PathError(errnum::FileNotFound, document);
        target = map_.toHost(document);
        // A name that begins with "-" would be read as an option of the handler.
        if (target.front() == '-')
            target.insert(0, "./");
    }
    std::optional<int> status;
    if (const int rc = SpawnDetached("xdg-open", target, status))
        throw PathError(errnum::PathFileAccessError, document,
                        std::string("cannot start xdg-open: ") + std::strerror(rc));
    if (status && *status != 0)
        throw PathError(errnum::PathFileAccessError, document,
                        "no application opened it: xdg-open ended with status " +
                            std::to_string(*status));
}

std::string StandardFileTools::LMGetStringSetting(const std::string& application,
                                                  const std::string& section,
                                                  const std::string& key,
                                                  const std::string& defaultValue) {
    return store_.read(SettingsScope::Machine, application, section, key).value_or(defaultValue);
}

} // namespace qm

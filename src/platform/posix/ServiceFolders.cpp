#include "platform/posix/ServiceFolders.h"

#include "platform/Error.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qm {

namespace {

Account FromEntry(const passwd& entry) {
    Account account{entry.pw_name, entry.pw_uid, entry.pw_gid, {}};
    int count = 16;
    account.groups.resize(static_cast<std::size_t>(count));
    while (::getgrouplist(entry.pw_name, entry.pw_gid, account.groups.data(), &count) < 0)
        account.groups.resize(static_cast<std::size_t>(count));
    account.groups.resize(static_cast<std::size_t>(count));
    return account;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Normal(const std::string& path) {
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    if (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

bool Beneath(const std::string& path, const std::string& folder) {
    return path == folder || folder == "/" || path.starts_with(folder + "/");
}

// Each level of `path` below `existing`, by name.
std::vector<std::string> LevelsBelow(const std::string& path, const std::string& existing) {
    std::vector<std::string> names;
    std::size_t start = existing == "/" ? 1 : existing.size() + 1;
    while (start < path.size()) {
        auto slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        names.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return names;
}

} // namespace

std::optional<Account> FindAccount(const std::string& name) {
    if (const passwd* entry = ::getpwnam(name.c_str()))
        return FromEntry(*entry);
    return std::nullopt;
}

Account CurrentAccount() {
    if (const passwd* entry = ::getpwuid(::geteuid()))
        return FromEntry(*entry);
    return Account{std::to_string(::geteuid()), ::geteuid(), ::getegid(), {}};
}

ResolvedFolder ResolveFolder(const std::string& absolute) {
    std::string existing = absolute;
    while (!IsDirectory(existing)) {
        const auto slash = existing.rfind('/');
        existing = slash == std::string::npos || slash == 0 ? "/" : existing.substr(0, slash);
    }
    char real[PATH_MAX];
    if (::realpath(existing.c_str(), real) == nullptr)
        throw MachineError(errno, existing);
    const std::string rest =
        existing.size() < absolute.size() ? absolute.substr(existing.size()) : std::string();
    ResolvedFolder folder{Normal(std::string(real) + rest), real};
    // A ".." among the missing levels climbs out of the folder found: look again from there.
    if (!Beneath(folder.path, folder.existing))
        return ResolveFolder(folder.path);
    return folder;
}

std::optional<std::string> HiddenFromService(const std::string& path) {
    for (const char* own : {"/tmp", "/var/tmp", "/dev"}) {
        char real[PATH_MAX];
        const std::string resolved = ::realpath(own, real) ? real : own;
        if (Beneath(path, own) || Beneath(path, resolved))
            return std::string("the service has a ") + own + " of its own";
    }
    return std::nullopt;
}

std::vector<int> WriteAccess(const Account& account, const std::vector<std::string>& folders) {
    std::vector<int> results;
    if (account.uid == ::geteuid()) {
        for (const std::string& folder : folders)
            results.push_back(
                ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno);
        return results;
    }
    // Another user's rights are taken in a child, which only makes system calls.
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        throw MachineError(errno, "pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(account.groups.size(), account.groups.data()) != 0 ||
            ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0)
            ::_exit(1);
        for (const std::string& folder : folders) {
            const int result = ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
            if (::write(channel[1], &result, sizeof result) != sizeof result)
                ::_exit(1);
        }
        ::_exit(0);
    }
    const int forkError = errno;
    ::close(channel[1]);
    int result = 0;
    while (child > 0 && results.size() < folders.size()) {
        const ssize_t got = ::read(channel[0], &result, sizeof result);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != sizeof result)
            break;
        results.push_back(result);
    }
    ::close(channel[0]);
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (child < 0)
        throw MachineError(forkError, "fork");
    if (results.size() != folders.size())
        throw Error(errnum::PathFileAccessError, "Install Service",
                    "Cannot take the rights of the user " + account.name +
                        " to check the job's folders");
    return results;
}

std::vector<std::string> MakeFolders(const ResolvedFolder& folder, mode_t mode,
                                     const Account* owner) {
    std::vector<std::string> made;
    int parent = ::open(folder.existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        throw MachineError(errno, folder.existing);
    std::string level = folder.existing == "/" ? "" : folder.existing;
    try {
        for (const std::string& name : LevelsBelow(folder.path, folder.existing)) {
            level += "/" + name;
            const bool fresh = ::mkdirat(parent, name.c_str(), mode) == 0;
            if (!fresh && errno != EEXIST)
                throw MachineError(errno, level);
            if (fresh)
                made.push_back(level);
            const int next =
                ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0)
                throw MachineError(errno, level);
            ::close(parent);
            parent = next;
            if (fresh && owner != nullptr && ::fchown(parent, owner->uid, owner->gid) != 0)
                throw MachineError(errno, level);
        }
    } catch (...) {
        ::close(parent);
        RemoveEmptyFolders(made);
        throw;
    }
    ::close(parent);
    return made;
}

void RemoveEmptyFolders(const std::vector<std::string>& levels) {
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        ::rmdir(level->c_str());
}

} // namespace qm

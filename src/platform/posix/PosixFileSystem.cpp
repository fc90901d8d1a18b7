#include "platform/posix/PosixFileSystem.h"

#include "platform/Error.h"
#include "platform/PathMap.h"
#include "platform/Wildcard.h"
#include "platform/posix/Fd.h"
#include "platform/posix/FileCopy.h"
#include "platform/posix/FileLineReader.h"
#include "platform/posix/FileTextWriter.h"
#include "platform/posix/HostFolders.h"
#include "platform/posix/PosixConfinedMoves.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qm {

namespace {

// The folder part of a host path: "." for a bare name, "/" for a name at the root.
std::string HostFolder(std::string host) {
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    const auto slash = host.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return host.substr(0, slash);
}

bool IsFolder(const std::string& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The path as the caller wrote it, and for a relative one the absolute path it was resolved
// to: "idx (/tmp/idx)", so a person sees which folder was meant.
std::string Named(const std::string& path, const std::string& host) {
    if (host.empty() || host.front() == '/')
        return path;
    std::string absolute(4096, '\0');
    if (::getcwd(absolute.data(), absolute.size()) == nullptr)
        return path;
    absolute.resize(std::strlen(absolute.c_str()));
    return path + " (" + (absolute == "/" ? "" : absolute) + "/" + host + ")";
}

// The error for a failed call on `host` (the caller's `path`): a missing entry is told apart
// from a missing folder above it.
Error FailureFor(int errnoValue, const std::string& path, const std::string& host) {
    if (errnoValue == ENOENT && !IsFolder(HostFolder(host)))
        return PathError(errnum::PathNotFound, Named(path, host));
    return MachineError(errnoValue, Named(path, host));
}

// Maps the caller's path, treating an unmapped drive or share as "no such thing here".
bool TryHost(const PathMap& map, const std::string& path, std::string& host) {
    if (path.empty())
        return false;
    try {
        host = map.toHost(path);
        return true;
    } catch (const Error& error) {
        if (error.number() == errnum::PathNotFound)
            return false;
        throw;
    }
}

bool StatFollowing(const PathMap& map, const std::string& path, struct stat& st) {
    std::string host;
    return TryHost(map, path, host) && ::stat(host.c_str(), &st) == 0;
}

struct FolderCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Folder = std::unique_ptr<DIR, FolderCloser>;

// A regular file, or a link that leads to one.
bool IsRegularEntry(DIR* dir, const dirent& entry) {
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return entry.d_type == DT_REG;
    struct stat st {};
    return ::fstatat(::dirfd(dir), entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

// A move between file systems: the copy is complete and durable under a temporary name
// before it takes the target's name, and the source goes only after that.
void MoveAcross(const std::string& from, const std::string& hostFrom, const std::string& to,
                const std::string& hostTo) {
    Fd in(::open(hostFrom.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (in.get() < 0)
        throw FailureFor(errno, from, hostFrom);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        throw MachineError(errno, from);
    if (!S_ISREG(st.st_mode))
        throw MachineError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, from);

    const std::string targetFolder = HostFolder(hostTo);
    std::string temporary = targetFolder + "/.qm-move-XXXXXX";
    Fd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0)
        throw FailureFor(errno, to, hostTo);

    auto abandon = [&](int errnoValue, const std::string& named) {
        out.reset();
        ::unlink(temporary.c_str());
        return MachineError(errnoValue, named);
    };

    bool writing = false;
    if (const int err = CopyDurably(in.get(), out.get(), st, writing))
        throw abandon(err, writing ? to : from);
    if (::close(out.release()) != 0)
        throw abandon(errno, to);

    if (const int err = RenameNoReplaceAt(AT_FDCWD, temporary.c_str(), AT_FDCWD, hostTo.c_str())) {
        ::unlink(temporary.c_str());
        throw MachineError(err, to);
    }
    if (const int err = SyncFolder(AT_FDCWD, targetFolder)) {
        ::unlink(hostTo.c_str());
        throw MachineError(err, to);
    }
    if (::unlink(hostFrom.c_str()) != 0) {
        // The source must stay the one copy: take back the copy just made.
        const int err = errno;
        ::unlink(hostTo.c_str());
        SyncFolder(AT_FDCWD, targetFolder);
        throw MachineError(err, from);
    }
}

std::unique_ptr<TextWriter> OpenWriter(const PathMap& map, const std::string& path, int flags) {
    if (path.empty())
        throw PathError(errnum::PathNotFound, path);
    const std::string host = map.toHost(path);
    const int fd = ::open(host.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        throw FailureFor(errno, path, host);
    return std::make_unique<FileTextWriter>(fd, path);
}

} // namespace

PosixFileSystem::PosixFileSystem(const PathMap& map) : map_(map) {}

bool PosixFileSystem::fileExists(const std::string& path) {
    struct stat st {};
    return StatFollowing(map_, path, st) && S_ISREG(st.st_mode);
}

bool PosixFileSystem::folderExists(const std::string& path) {
    struct stat st {};
    return StatFollowing(map_, path, st) && S_ISDIR(st.st_mode);
}

ConfinedMoves::Kind PosixFileSystem::entryKind(const std::string& path) {
    using Kind = ConfinedMoves::Kind;
    std::string host;
    if (!TryHost(map_, path, host))
        return Kind::Unknown;
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Unknown;
    if (S_ISLNK(st.st_mode))
        return Kind::Link;
    return S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
}

bool PosixFileSystem::sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return StatFollowing(map_, a, first) && StatFollowing(map_, b, second) &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::optional<FileKey> PosixFileSystem::fileKey(const std::string& path) {
    struct stat st {};
    if (!StatFollowing(map_, path, st))
        return std::nullopt;
    return FileKey{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool PosixFileSystem::holdsContent(const std::string& path, std::string_view content) {
    if (path.empty())
        return false;
    std::string host;
    try {
        host = map_.toHost(path);
    } catch (const Error&) {
        return false;
    }
    Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) != content.size())
        return false;
    std::string held(content.size(), '\0');
    std::size_t done = 0;
    while (done < held.size()) {
        const ssize_t n = ::read(fd.get(), held.data() + done, held.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return held == content;
}

namespace {

// Opens a file to read, non-blocking so that a named pipe cannot hang the open.
int OpenToRead(const PathMap& map, const std::string& path) {
    if (path.empty())
        throw PathError(errnum::FileNotFound, path);
    const std::string host = map.toHost(path);
    const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw FailureFor(errno, path, host);
    return fd;
}

} // namespace

std::unique_ptr<LineReader> PosixFileSystem::openForReading(const std::string& path) {
    Fd fd(OpenToRead(map_, path));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw MachineError(errno, path);
    if (S_ISDIR(st.st_mode))
        throw MachineError(EISDIR, path);
    // O_NONBLOCK changes nothing for a regular file; a pipe or device is read blocking.
    if (!S_ISREG(st.st_mode)) {
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
            throw MachineError(errno, path);
    }
    return std::make_unique<FileLineReader>(fd.release(), path);
}

std::string PosixFileSystem::readStart(const std::string& path, std::size_t limit) {
    // Left non-blocking: a named pipe fails instead of hanging the caller.
    Fd fd(OpenToRead(map_, path));
    std::string bytes(limit, '\0');
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, limit - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw MachineError(errno, path);
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

std::unique_ptr<TextWriter> PosixFileSystem::createTextFile(const std::string& path) {
    return OpenWriter(map_, path, O_TRUNC);
}

std::unique_ptr<TextWriter> PosixFileSystem::openForAppend(const std::string& path) {
    return OpenWriter(map_, path, O_APPEND);
}

// The host paths of a move or rename from `from` to `to`; neither may be empty.
std::pair<std::string, std::string> PosixFileSystem::hostPair(const std::string& from,
                                                              const std::string& to) const {
    if (from.empty())
        throw PathError(errnum::FileNotFound, from);
    if (to.empty())
        throw PathError(errnum::PathNotFound, to);
    return {map_.toHost(from), map_.toHost(to)};
}

void PosixFileSystem::moveFile(const std::string& from, const std::string& to) {
    const auto [hostFrom, hostTo] = hostPair(from, to);

    struct stat st {};
    if (::lstat(hostFrom.c_str(), &st) != 0)
        throw FailureFor(errno, from, hostFrom);
    if (S_ISDIR(st.st_mode))
        throw MachineError(EISDIR, from);

    const int err = RenameNoReplaceAt(AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str());
    if (err == 0)
        return;
    if (err == EXDEV) {
        MoveAcross(from, hostFrom, to, hostTo);
        return;
    }
    if (err == ENOENT) {
        // The source was there a moment ago, so it is the target's folder that is missing
        // unless the source vanished in between.
        if (::lstat(hostFrom.c_str(), &st) != 0)
            throw FailureFor(ENOENT, from, hostFrom);
        throw PathError(errnum::PathNotFound, to);
    }
    if (err == EACCES || err == EPERM || err == EROFS) {
        const std::string targetFolder = HostFolder(hostTo);
        const bool targetWritable = ::access(targetFolder.c_str(), W_OK | X_OK) == 0;
        throw MachineError(err, targetWritable ? from : to);
    }
    throw MachineError(err, err == EEXIST || err == ENOTDIR ? to : from);
}

void PosixFileSystem::replaceFile(const std::string& from, const std::string& to) {
    const auto [hostFrom, hostTo] = hostPair(from, to);
    if (::rename(hostFrom.c_str(), hostTo.c_str()) != 0) {
        const int err = errno;
        struct stat st {};
        if (err == ENOENT && ::lstat(hostFrom.c_str(), &st) == 0)
            throw PathError(errnum::PathNotFound, to);
        throw FailureFor(err, err == EISDIR || err == ENOTEMPTY ? to : from,
                         err == EISDIR || err == ENOTEMPTY ? hostTo : hostFrom);
    }
    if (const int err = SyncFolder(AT_FDCWD, HostFolder(hostTo)))
        throw MachineError(err, to);
}

void PosixFileSystem::deleteFile(const std::string& path) {
    if (path.empty())
        throw PathError(errnum::FileNotFound, path);
    const std::string host = map_.toHost(path);
    if (::unlink(host.c_str()) != 0)
        throw FailureFor(errno, path, host);
}

void PosixFileSystem::createFolder(const std::string& path) {
    if (path.empty())
        throw PathError(errnum::PathNotFound, path);
    const std::string host = map_.toHost(path);
    if (::mkdir(host.c_str(), 0777) != 0) {
        const int err = errno;
        // mkdir's ENOENT is always about the folder above.
        throw err == ENOENT ? PathError(errnum::PathNotFound, Named(path, host))
                            : MachineError(err, Named(path, host));
    }
}

void PosixFileSystem::syncFolder(const std::string& path) {
    if (path.empty())
        throw PathError(errnum::PathNotFound, path);
    const std::string host = map_.toHost(path);
    if (const int err = SyncFolder(AT_FDCWD, host))
        throw err == ENOENT || err == ENOTDIR ? PathError(errnum::PathNotFound, path)
                                              : MachineError(err, path);
}

std::vector<std::string> PosixFileSystem::listFiles(const std::string& folder) {
    if (folder.empty())
        throw PathError(errnum::PathNotFound, folder);
    const std::string host = map_.toHost(folder);
    const Folder dir(::opendir(host.c_str()));
    if (!dir) {
        const int err = errno;
        throw err == ENOENT || err == ENOTDIR ? PathError(errnum::PathNotFound, Named(folder, host))
                                              : MachineError(err, Named(folder, host));
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsRegularEntry(dir.get(), *entry))
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    if (errno != 0)
        throw MachineError(errno, folder);

    std::sort(names.begin(), names.end());
    std::string prefix = folder;
    const char last = folder.back();
    if (last != '/' && last != '\\') {
        const bool slashes =
            folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos;
        prefix += slashes ? '/' : '\\';
    }
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& name : names)
        paths.push_back(prefix + name);
    return paths;
}

bool PosixFileSystem::matchesAny(const std::string& pattern) {
    const auto cut = pattern.find_last_of("\\/");
    if (cut == std::string::npos)
        return false;
    const std::string folder = cut == 0 ? pattern.substr(0, 1) : pattern.substr(0, cut);
    const std::string_view namePattern = std::string_view(pattern).substr(cut + 1);
    std::string host;
    if (!TryHost(map_, folder, host))
        return false;
    const Folder dir(::opendir(host.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (WildcardMatch(namePattern, entry->d_name) && IsRegularEntry(dir.get(), *entry))
            return true;
    }
    return false;
}

std::string PosixFileSystem::resolvedPath(const std::string& path) {
    if (path.empty())
        throw PathError(errnum::PathNotFound, path);
    std::string host = map_.toHost(path);
    if (host.empty() || host.front() != '/') {
        char* here = ::getcwd(nullptr, 0);
        if (here == nullptr)
            throw MachineError(errno, path);
        host = std::string(here) + "/" + host;
        std::free(here);
    }
    // The components still to walk, the next one last; a link's target is pushed in place of
    // the link.
    std::vector<std::string> pending;
    auto push = [&pending](std::string_view text) {
        std::size_t end = text.size();
        while (end > 0) {
            const std::size_t slash = text.rfind('/', end - 1);
            const std::size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
            if (end > begin)
                pending.emplace_back(text.substr(begin, end - begin));
            if (slash == std::string_view::npos)
                break;
            end = slash;
        }
    };
    push(host);
    std::vector<std::string> resolved;
    std::string walked;
    int links = 0;
    constexpr int kMaxLinks = 40; // as the system's own limit, so a loop ends
    while (!pending.empty()) {
        std::string part = std::move(pending.back());
        pending.pop_back();
        if (part == ".")
            continue;
        if (part == "..") {
            if (!resolved.empty())
                resolved.pop_back();
            continue;
        }
        walked.clear();
        for (const std::string& done : resolved)
            walked += "/" + done;
        walked += "/" + part;
        struct stat st {};
        if (::lstat(walked.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (++links > kMaxLinks)
                throw MachineError(ELOOP, path);
            std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 256,
                               '\0');
            const ssize_t n = ::readlink(walked.c_str(), target.data(), target.size());
            if (n < 0)
                throw MachineError(errno, path);
            target.resize(static_cast<std::size_t>(n));
            if (!target.empty() && target.front() == '/')
                resolved.clear();
            push(target);
            continue;
        }
        resolved.push_back(std::move(part));
    }
    std::string out;
    for (const std::string& done : resolved)
        out += "/" + done;
    return out.empty() ? "/" : out;
}

bool PosixFileSystem::canCreateIn(const std::string& folder) {
    std::string host;
    return TryHost(map_, folder, host) && IsFolder(host) &&
           ::access(host.c_str(), W_OK | X_OK) == 0;
}

void PosixFileSystem::checkReachable(const std::string& path) {
    if (!path.empty())
        map_.toHost(path);
}

std::chrono::system_clock::time_point PosixFileSystem::modificationTime(const std::string& path) {
    const std::string host = map_.toHost(path);
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0)
        throw FailureFor(errno, path, host);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(st.st_mtim.tv_sec) +
            std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
}

std::unique_ptr<ConfinedMoves> PosixFileSystem::openConfined(const std::string& imageFolder,
                                                             const std::string& bifFolder) {
    std::string imageHost;
    std::string bifHost;
    if (!TryHost(map_, imageFolder, imageHost))
        imageHost.clear();
    if (!TryHost(map_, bifFolder, bifHost))
        bifHost.clear();
    return OpenPosixConfinedMoves(imageHost, bifHost);
}

} // namespace qm
